// Reading one line of the price journal: a strict JSON parser that validates the whole
// line and keeps only what the journal's readers use (the top-level fields and the
// panel maps), many times faster than building a JSON document of every record.
#include "journal.h"

#include <cstring>

namespace journal {

namespace {

constexpr int kMaxDepth = 32;

bool isMap(std::string_view key) {
    return key == "before" || key == "after" || key == "shows" || key == "sent" ||
           key == "verdict";
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

class LineParser {
public:
    explicit LineParser(QByteArrayView line) : p_(line.data()), end_(line.data() + line.size()) {}

    bool record(Record& record) {
        record.fields.reserve(16);
        if (!take('{'))
            return false;
        if (!take('}')) {
            do {
                std::string key;
                space();
                if (!string(&key, false) || !take(':'))
                    return false;
                space();
                if (p_ < end_ && *p_ == '{' && isMap(key)) {
                    PanelCells cells;
                    if (!panelMap(cells))
                        return false;
                    record.maps.emplace_back(std::move(key), std::move(cells));
                } else if (p_ < end_ && (*p_ == '{' || *p_ == '[')) {
                    if (!skip(0))
                        return false;
                } else {
                    std::optional<std::string> scalar;
                    if (!this->scalar(&scalar))
                        return false;
                    record.fields.emplace_back(
                        std::move(key),
                        scalar ? std::optional(QString::fromUtf8(scalar->data(), qsizetype(scalar->size())))
                               : std::nullopt);
                }
            } while (take(','));
            if (!take('}'))
                return false;
        }
        space();
        return p_ == end_;
    }

private:
    void space() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n'))
            ++p_;
    }
    bool take(char c) {
        space();
        if (p_ < end_ && *p_ == c) {
            ++p_;
            return true;
        }
        return false;
    }

    bool hex4(char32_t& value) {
        if (end_ - p_ < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *p_++;
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= char32_t(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= char32_t(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= char32_t(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    // A string at p_; into `out` when given: as UTF-8, or with `bytes` every escape up to
    // \u00FF as that one byte (the journal writes a panel's bytes so).
    bool string(std::string* out, bool bytes) {
        if (p_ >= end_ || *p_ != '"')
            return false;
        ++p_;
        for (;;) {
            const char* run = p_;
            while (p_ < end_ && *p_ != '"' && *p_ != '\\' && static_cast<unsigned char>(*p_) >= 0x20)
                ++p_;
            if (out)
                out->append(run, size_t(p_ - run));
            if (p_ >= end_ || static_cast<unsigned char>(*p_) < 0x20)
                return false;
            if (*p_++ == '"')
                return true;
            if (p_ >= end_)
                return false;
            char32_t c = 0;
            switch (*p_++) {
            case '"': c = '"'; break;
            case '\\': c = '\\'; break;
            case '/': c = '/'; break;
            case 'b': c = '\b'; break;
            case 'f': c = '\f'; break;
            case 'n': c = '\n'; break;
            case 'r': c = '\r'; break;
            case 't': c = '\t'; break;
            case 'u': {
                if (!hex4(c))
                    return false;
                if (c >= 0xD800 && c < 0xDC00) {
                    char32_t low = 0;
                    if (end_ - p_ < 6 || p_[0] != '\\' || p_[1] != 'u')
                        return false;
                    p_ += 2;
                    if (!hex4(low) || low < 0xDC00 || low >= 0xE000)
                        return false;
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                } else if (c >= 0xDC00 && c < 0xE000) {
                    return false;
                }
                break;
            }
            default:
                return false;
            }
            if (out) {
                if (bytes && c <= 0xFF)
                    *out += static_cast<char>(c);
                else
                    appendUtf8(*out, c);
            }
        }
    }

    bool digits() {
        const char* start = p_;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9')
            ++p_;
        return p_ > start;
    }

    // A string, number, true, false or null; `out` gets its text, none for null.
    bool scalar(std::optional<std::string>* out) {
        if (p_ >= end_)
            return false;
        if (*p_ == '"') {
            std::string text;
            if (!string(out ? &text : nullptr, false))
                return false;
            if (out)
                *out = std::move(text);
            return true;
        }
        for (const char* word : {"true", "false", "null"}) {
            const size_t n = std::strlen(word);
            if (size_t(end_ - p_) >= n && std::memcmp(p_, word, n) == 0) {
                p_ += n;
                if (out) {
                    if (word[0] == 'n')
                        out->reset();
                    else
                        *out = word;
                }
                return true;
            }
        }
        const char* start = p_;
        if (*p_ == '-')
            ++p_;
        if (p_ < end_ && *p_ == '0')
            ++p_;
        else if (!digits())
            return false;
        if (p_ < end_ && *p_ == '.' && (++p_, !digits()))
            return false;
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-'))
                ++p_;
            if (!digits())
                return false;
        }
        if (out)
            *out = std::string(start, size_t(p_ - start));
        return true;
    }

    // Any value at p_, checked and passed over.
    bool skip(int depth) {
        space();
        if (p_ >= end_)
            return false;
        if (*p_ != '{' && *p_ != '[')
            return scalar(nullptr);
        if (depth >= kMaxDepth)
            return false;
        const char close = *p_ == '{' ? '}' : ']';
        const bool object = *p_++ == '{';
        if (take(close))
            return true;
        do {
            space();
            if (object && (!string(nullptr, false) || !take(':')))
                return false;
            if (!skip(depth + 1))
                return false;
        } while (take(','));
        return take(close);
    }

    // {"1": [first, second], ...}: each half a string (its bytes) or null.
    bool panelMap(PanelCells& cells) {
        ++p_; // '{'
        if (take('}'))
            return true;
        do {
            std::string key;
            space();
            if (!string(&key, false) || !take(':') || !take('['))
                return false;
            const int row = key.size() <= 2 ? std::atoi(key.c_str()) : 0;
            const bool named = row >= 1 && row <= 10 && std::to_string(row) == key;
            int half = 0;
            if (!take(']')) {
                do {
                    space();
                    if (p_ < end_ && *p_ == '"') {
                        std::string bytes;
                        if (!string(&bytes, true))
                            return false;
                        if (named && half < 2)
                            cells.at(panelIndex(row, half == 1)) = std::move(bytes);
                    } else if (!skip(1)) {
                        return false;
                    }
                    ++half;
                } while (take(','));
                if (!take(']'))
                    return false;
            }
        } while (take(','));
        return take('}');
    }

    const char* p_;
    const char* end_;
};

int number(const QString& text, qsizetype at, qsizetype width) {
    int n = 0;
    for (qsizetype i = at; i < at + width; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

// "2026-12-10T13:45:15.817+03:00" as the journal writes it, else any ISO 8601 time.
QDateTime parseTime(const QString& text) {
    if (text.size() == 29 && text.at(4) == u'-' && text.at(10) == u'T' && text.at(19) == u'.' &&
        (text.at(23) == u'+' || text.at(23) == u'-') && text.at(26) == u':') {
        const QDate date(number(text, 0, 4), number(text, 5, 2), number(text, 8, 2));
        const QTime time(number(text, 11, 2), number(text, 14, 2), number(text, 17, 2),
                         number(text, 20, 3));
        const int hours = number(text, 24, 2), minutes = number(text, 27, 2);
        if (date.isValid() && time.isValid() && hours >= 0 && minutes >= 0) {
            const int offset = (hours * 60 + minutes) * 60 * (text.at(23) == u'-' ? -1 : 1);
            return QDateTime(date, time, Qt::OffsetFromUTC, offset);
        }
    }
    return QDateTime::fromString(text, Qt::ISODateWithMs);
}

} // namespace

const std::optional<QString>* Record::field(std::string_view name) const {
    for (const auto& [key, value] : fields)
        if (key == name)
            return &value;
    return nullptr;
}

QString Record::text(std::string_view name) const {
    const std::optional<QString>* value = field(name);
    return value && *value ? **value : QString();
}

bool Record::has(std::string_view name) const {
    const std::optional<QString>* value = field(name);
    return value && *value;
}

const PanelCells* Record::cells(std::string_view name) const {
    for (const auto& [key, value] : maps)
        if (key == name)
            return &value;
    return nullptr;
}

std::optional<Record> parseRecord(QByteArrayView line, int number) {
    Record record;
    if (!LineParser(line).record(record))
        return std::nullopt;
    record.line = number;
    record.event = record.text("event");
    record.time = parseTime(record.text("time"));
    if (record.event.isEmpty() || !record.time.isValid())
        return std::nullopt;
    return record;
}

} // namespace journal
