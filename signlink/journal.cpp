// The price journal: records, the hash chain, the locked append and the reader.
#include "journal.h"

#include "journalfile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QSysInfo>

#include <algorithm>
#include <cstdlib>

namespace journal {

namespace {

// Content bytes of a reply: price x3, the third again, grade code, flag byte.
constexpr int kStateFrom = 2;
constexpr int kStateLength = 6;
// Where the tail of the file is read from, backwards, in pieces of this size.
constexpr qint64 kTailPiece = 64 * 1024;

QByteArray hexOrNull(const std::optional<QByteArray>& bytes) {
    return bytes ? '"' + bytes->toHex() + '"' : QByteArrayLiteral("null");
}

// Bytes as a JSON string: printable ASCII as it is, every other byte as \u00XX.
QByteArray bytesOrNull(const std::optional<QByteArray>& bytes) {
    if (!bytes)
        return QByteArrayLiteral("null");
    QByteArray out = "\"";
    for (const char c : *bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '"' || u == '\\')
            out += '\\' + QByteArray(1, c);
        else if (u < 0x20 || u >= 0x7F)
            out += "\\u00" + QByteArray::number(u, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out + '"';
}

// {"1": [first, second], ..., "10": [...]} for the rows where `include` holds.
template <typename Cell>
QByteArray rowMap(const Cell& cell, const std::function<bool(int row)>& include = {}) {
    QByteArray out = "{";
    for (int row = 1; row <= 10; ++row) {
        if (include && !include(row))
            continue;
        if (out.size() > 1)
            out += ',';
        out += '"' + QByteArray::number(row) + "\":[" + cell(row, false) + ',' + cell(row, true) +
               ']';
    }
    return out + '}';
}

QByteArray nowText() {
    const QDateTime now = QDateTime::currentDateTime();
    // The local time with its numeric offset, "+00:00" for UTC too (never "Z").
    const int offset = now.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return (now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? u'-' : u'+') +
            QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0')))
        .toLatin1();
}

QByteArray newId() {
    const quint64 random = QRandomGenerator::system()->generate64();
    return QByteArray::number(random, 16).rightJustified(16, '0');
}

// The last line of the file (without its newline) and whether the file ends in one.
QByteArray lastLine(LockedFile& file, qint64 size, bool& endsInNewline) {
    endsInNewline = true;
    if (size <= 0)
        return {};
    QByteArray tail;
    qint64 pos = size;
    while (pos > 0) {
        const qint64 from = std::max<qint64>(0, pos - 4096);
        tail.prepend(file.readAt(from, pos - from));
        pos = from;
        const qsizetype end = tail.endsWith('\n') ? tail.size() - 1 : tail.size();
        const qsizetype start = tail.lastIndexOf('\n', end - 1);
        if (start >= 0 || pos == 0) {
            endsInNewline = tail.endsWith('\n');
            return tail.mid(start + 1, end - start - 1);
        }
    }
    return {};
}

// The latest state of every panel, from the records at the end of the file backwards
// until every panel asked for is known or the file's start is reached. A panel that never
// answers is not asked for, or every read would go through the whole file.
SignStates latestStates(LockedFile& file, qint64 size, const std::array<bool, 20>& wanted) {
    SignStates latest;
    const int needed = int(std::count(wanted.begin(), wanted.end(), true));
    int known = 0;
    std::array<bool, 20> found{};
    auto take = [&](const QByteArray& line) {
        if (line.isEmpty())
            return;
        const std::optional<Record> record = parseRecord(line, 0);
        if (!record)
            return;
        const SignStates stated = statedBy(*record);
        for (int i = 0; i < 20; ++i)
            if (stated.at(i) && wanted.at(i) && !found.at(i)) {
                found.at(i) = true;
                latest.at(i) = stated.at(i);
                ++known;
            }
    };
    QByteArray carry;
    qint64 pos = size;
    while (pos > 0 && known < needed) {
        const qint64 from = std::max<qint64>(0, pos - kTailPiece);
        QByteArray piece = file.readAt(from, pos - from);
        if (piece.isEmpty())
            break;
        piece += carry;
        pos = from;
        qsizetype end = piece.size();
        for (;;) {
            const qsizetype start = piece.lastIndexOf('\n', end - 1);
            if (start < 0)
                break;
            take(piece.mid(start + 1, end - start - 1));
            if (known == needed)
                return latest;
            end = start;
        }
        carry = piece.left(end);
    }
    if (pos == 0 && known < needed)
        take(carry);
    return latest;
}

QString halfName(bool secondHalf) {
    return secondHalf ? QStringLiteral("вторая половина") : QStringLiteral("первая половина");
}

// The cells of a panel map: (row, second half, bytes) for each panel it names.
template <typename F> void forEachCell(const Record& record, std::string_view map, F f) {
    const PanelCells* cells = record.cells(map);
    if (cells == nullptr)
        return;
    for (int row = 1; row <= 10; ++row)
        for (const bool second : {false, true})
            if (const auto& cell = cells->at(panelIndex(row, second)))
                f(row, second, QByteArray::fromStdString(*cell));
}

// "ряд 3: 469", "ряд 3: 469 / 459", "ряд 3, вторая половина: 459" for the panels stated.
QStringList rowPrices(const std::array<std::optional<QString>, 20>& prices) {
    QStringList parts;
    for (int row = 10; row >= 1; --row) {
        const auto& first = prices.at(panelIndex(row, false));
        const auto& second = prices.at(panelIndex(row, true));
        const QString name = QStringLiteral("ряд %1").arg(row);
        if (first && second)
            parts << name + QStringLiteral(": ") +
                         (*first == *second ? *first : *first + QStringLiteral(" / ") + *second);
        else if (first || second)
            parts << name + QStringLiteral(", ") + halfName(bool(second)) + QStringLiteral(": ") +
                         (first ? *first : *second);
    }
    return parts;
}

QString describeWrite(const Record& record, const SignStates* before) {
    if (record.has("error"))
        return QStringLiteral("запись не выполнена: ") + record.text("error");
    std::array<std::optional<QString>, 20> written;
    std::array<QString, 20> verdicts;
    std::array<std::optional<QByteArray>, 20> sent;
    std::array<std::optional<QByteArray>, 20> after;
    forEachCell(record, "verdict", [&](int row, bool second, const QByteArray& v) {
        verdicts.at(panelIndex(row, second)) = QString::fromLatin1(v);
    });
    forEachCell(record, "sent", [&](int row, bool second, const QByteArray& v) {
        sent.at(panelIndex(row, second)) = QByteArray::fromHex(v);
    });
    forEachCell(record, "after", [&](int row, bool second, const QByteArray& v) {
        after.at(panelIndex(row, second)) = v;
    });
    QStringList problems;
    for (int row = 10; row >= 1; --row)
        for (const bool second : {false, true}) {
            const int i = panelIndex(row, second);
            const QString& verdict = verdicts.at(i);
            const QString panel = QStringLiteral("ряд %1, ").arg(row) + halfName(second);
            const bool shownBefore = before != nullptr && sent.at(i) && before->at(i) &&
                                     sameShowing(sent.at(i)->mid(2, 6), *before->at(i));
            if (verdict == QLatin1String("written") && sent.at(i) && !shownBefore)
                written.at(i) = signlink::signText(sent.at(i)->mid(2, 3));
            else if (verdict == QLatin1String("not_taken"))
                problems << panel + QStringLiteral(": не приняла") +
                                (after.at(i) ? QStringLiteral(", на стеле ") + priceOf(*after.at(i))
                                             : QString());
            else if (verdict == QLatin1String("no_reply"))
                problems << panel + QStringLiteral(": нет ответа");
            else if (verdict == QLatin1String("left_out"))
                problems << panel + QStringLiteral(": не записана");
        }
    const QStringList changed = rowPrices(written);
    // Refused before its first frame (a panel unread, or none answered).
    if (!record.has("id"))
        return QStringLiteral("запись не выполнена: ") + problems.join(QStringLiteral("; "));
    QString text = changed.isEmpty() ? QStringLiteral("запись: без изменений")
                                     : QStringLiteral("записано: ") + changed.join(QStringLiteral("; "));
    if (!problems.isEmpty())
        text += QStringLiteral("; не подтверждено: ") + problems.join(QStringLiteral("; "));
    return text;
}

QString describeCommand(const Record& record) {
    const QByteArray sent = QByteArray::fromHex(record.text("sent").toLatin1());
    QString what;
    if (record.event == kBrightness)
        what = sent == "LA" ? QStringLiteral("яркость автоматическая")
                            : QStringLiteral("яркость ручная: ") + QString::fromLatin1(sent.mid(2));
    else
        what = QStringLiteral("эффекты: ") +
               QString::number(sent.size() > 1 ? static_cast<unsigned char>(sent.at(1)) : 0);
    if (record.has("error"))
        return what + QStringLiteral(" — не выполнено: ") + record.text("error");
    return what + (record.text("confirmed") == QLatin1String("true")
                       ? QStringLiteral(" — подтверждено")
                       : QStringLiteral(" — не подтверждено"));
}

} // namespace

Context currentContext(const QString& program, const QString& version) {
    return {program, version, QSysInfo::machineHostName(), loginName()};
}

QString defaultPath() {
    const QString named = qEnvironmentVariable("ZEMTA_JOURNAL");
    if (!named.isEmpty())
        return named;
    return installedCopy() ? stationPath() : userPath();
}

QString defaultPathReason() {
    if (!qEnvironmentVariable("ZEMTA_JOURNAL").isEmpty())
        return QStringLiteral("named by ZEMTA_JOURNAL");
    return installedCopy() ? QStringLiteral("the station's journal, for every account")
                           : QStringLiteral("this copy is not installed: the user's own journal");
}

PanelState stateOf(const signlink::PanelReply& reply) {
    if (!reply.good() || reply.bytes.size() < kStateFrom + kStateLength)
        return std::nullopt;
    return reply.bytes.mid(kStateFrom, kStateLength);
}

SignStates statesOf(const signlink::SignContents& contents) {
    SignStates states;
    for (int row = 1; row <= 10; ++row)
        for (const bool second : {false, true})
            states.at(panelIndex(row, second)) = stateOf(contents.panel(row, second));
    return states;
}

bool sameShowing(const QByteArray& a, const QByteArray& b) {
    if (a.size() != kStateLength || b.size() != kStateLength)
        return a == b;
    return a.left(3) == b.left(3) && a.at(4) == b.at(4) && (a.at(5) & 3) == (b.at(5) & 3);
}

// --- writing -----------------------------------------------------------------------------

Journal::Journal(QString path, Context context)
    : path_(std::move(path)), context_(std::move(context)) {}

void Journal::fail(const QString& error) {
    failed_ = true;
    if (told_ || !onFailure_)
        return;
    told_ = true;
    onFailure_(path_, error);
}

bool Journal::append(const QString& event, const QString& port, const Body& body,
                     const std::array<bool, 20>& latestOf) {
    QString error;
    const std::unique_ptr<LockedFile> file = LockedFile::open(path_, error);
    if (!file) {
        fail(error);
        return false;
    }
    const qint64 size = file->size();
    if (size < 0) {
        fail(QStringLiteral("cannot read the file's size"));
        return false;
    }
    const std::optional<QByteArray> fields = body(latestStates(*file, size, latestOf));
    if (!fields)
        return false;
    bool endsInNewline = true;
    const QByteArray previous = lastLine(*file, size, endsInNewline);

    QByteArray line;
    // A line cut short by a write that never ended is closed first: the record starts on
    // a line of its own.
    if (!endsInNewline)
        line += '\n';
    line += "{\"time\":\"" + nowText() + "\",\"host\":" + asciiJsonString(context_.host) +
            ",\"user\":" + asciiJsonString(context_.user) +
            ",\"program\":" + asciiJsonString(context_.program) +
            ",\"version\":" + asciiJsonString(context_.version) +
            ",\"port\":" + asciiJsonString(port) + ",\"event\":" + asciiJsonString(event) + ',' +
            *fields + ",\"prev\":" + (size > 0 ? '"' + lineHash(previous) + '"' : "null") + "}\n";
    if (!file->append(line, error)) {
        fail(error);
        return false;
    }
    return true;
}

bool Journal::observe(const QString& port, const signlink::SignContents& read) {
    const SignStates now = statesOf(read);
    std::array<bool, 20> stated{};
    for (int i = 0; i < 20; ++i)
        stated.at(i) = now.at(i).has_value();
    return append(
        kObserved, port,
        [&](const SignStates& latest) -> std::optional<QByteArray> {
            std::array<bool, 20> changed{};
            bool any = false;
            for (int i = 0; i < 20; ++i) {
                changed.at(i) = now.at(i) && (!latest.at(i) || !sameShowing(*now.at(i), *latest.at(i)));
                any = any || changed.at(i);
            }
            if (!any)
                return std::nullopt;
            const auto cell = [&](int row, bool second) {
                const int i = panelIndex(row, second);
                return bytesOrNull(changed.at(i) ? now.at(i) : std::nullopt);
            };
            return "\"shows\":" + rowMap(cell, [&](int row) {
                       return changed.at(panelIndex(row, false)) || changed.at(panelIndex(row, true));
                   });
        },
        stated);
}

void Journal::openWrite(const QString& port) {
    open_ = OpenWrite{port, {}};
}

void Journal::closeWrite(const WriteResults& results) {
    if (!open_)
        return;
    const OpenWrite write = *open_;
    open_.reset();
    writeResult(write.port, write.id, results);
}

void Journal::closeWrite(const QString& error) {
    if (!open_)
        return;
    const OpenWrite write = *open_;
    open_.reset();
    writeFailed(write.port, write.id, error);
}

QString Journal::writeStarted(const QString& port, const signlink::SignContents& before) {
    const QByteArray id = newId();
    if (open_)
        open_->id = QString::fromLatin1(id);
    const SignStates states = statesOf(before);
    append(kWriteStarted, port, [&](const SignStates&) -> std::optional<QByteArray> {
        return "\"id\":\"" + id + "\",\"before\":" + rowMap([&](int row, bool second) {
                   return bytesOrNull(states.at(panelIndex(row, second)));
               });
    });
    return QString::fromLatin1(id);
}

void Journal::writeResult(const QString& port, const QString& id, const WriteResults& results) {
    append(kWrite, port, [&](const SignStates&) -> std::optional<QByteArray> {
        const auto at = [&](int row, bool second) -> const PanelResult& {
            return results.at(panelIndex(row, second));
        };
        const QByteArray sent = rowMap([&](int row, bool second) { return hexOrNull(at(row, second).sent); },
                                       [&](int row) { return at(row, false).sent || at(row, true).sent; });
        const QByteArray after = rowMap([&](int row, bool second) {
            const PanelResult& panel = at(row, second);
            return bytesOrNull(panel.after ? stateOf({*panel.after}) : std::nullopt);
        });
        const QByteArray verdict =
            rowMap([&](int row, bool second) { return asciiJsonString(at(row, second).verdict); });
        return "\"id\":" + (id.isEmpty() ? QByteArrayLiteral("null") : asciiJsonString(id)) +
               ",\"sent\":" + sent + ",\"after\":" + after +
               ",\"verdict\":" + verdict;
    });
}

void Journal::writeFailed(const QString& port, const QString& id, const QString& error) {
    append(kWrite, port, [&](const SignStates&) -> std::optional<QByteArray> {
        return "\"id\":" + (id.isEmpty() ? QByteArrayLiteral("null") : asciiJsonString(id)) +
               ",\"error\":" + asciiJsonString(error);
    });
}

void Journal::command(const QString& event, const QString& port, const QByteArray& sent,
                      bool confirmed, const QString& answer) {
    append(event, port, [&](const SignStates&) -> std::optional<QByteArray> {
        return "\"sent\":\"" + sent.toHex() + "\",\"confirmed\":" +
               (confirmed ? "true" : "false") +
               ",\"answer\":" + asciiJsonString(answer);
    });
}

void Journal::commandFailed(const QString& event, const QString& port, const QByteArray& sent,
                            const QString& error) {
    append(event, port, [&](const SignStates&) -> std::optional<QByteArray> {
        return "\"sent\":\"" + sent.toHex() + "\",\"error\":" + asciiJsonString(error);
    });
}

// --- reading -----------------------------------------------------------------------------

JournalContents parseJournal(const QByteArray& data) {
    JournalContents contents;
    contents.data = data;
    qsizetype pos = 0;
    int number = 0;
    while (pos < data.size()) {
        qsizetype end = data.indexOf('\n', pos);
        const bool complete = end >= 0;
        if (!complete)
            end = data.size();
        ++number;
        const QByteArrayView line(data.constData() + pos, end - pos);
        pos = end + 1;
        // A last line without its newline was cut short, even when it parses.
        std::optional<Record> record = complete ? parseRecord(line, number) : std::nullopt;
        if (record) {
            record->offset = end - line.size();
            record->length = line.size();
            contents.records.push_back(std::move(*record));
        }
        else
            contents.tornLines.push_back(number);
    }
    contents.lines = number;
    return contents;
}

bool readJournal(const QString& path, JournalContents& contents, QString& error) {
    QFile file(path);
    if (!file.exists()) {
        contents = {};
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    contents = parseJournal(file.readAll());
    return true;
}

QByteArray lineHash(QByteArrayView line) {
    return QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex();
}

ChainCheck checkChain(const QByteArray& data) {
    ChainCheck check;
    qsizetype pos = 0;
    QByteArray previousHash;
    while (pos < data.size()) {
        qsizetype end = data.indexOf('\n', pos);
        const bool complete = end >= 0;
        if (!complete)
            end = data.size();
        const QByteArrayView line(data.constData() + pos, end - pos);
        pos = end + 1;
        ++check.lines;
        const std::optional<Record> record = complete ? parseRecord(line, check.lines) : std::nullopt;
        if (!record) {
            ++check.torn;
        } else if (check.firstBroken == 0) {
            const std::optional<QString>* prev = record->field("prev");
            const bool holds = prev != nullptr && (check.lines == 1 ? !*prev
                                                                    : *prev && (*prev)->toLatin1() == previousHash);
            if (!holds)
                check.firstBroken = check.lines;
        }
        previousHash = lineHash(line);
    }
    return check;
}

SignStates statedBy(const Record& record) {
    SignStates states;
    std::string_view map;
    if (record.event == kObserved)
        map = "shows";
    else if (record.event == kWriteStarted)
        map = "before";
    else if (record.event == kWrite)
        map = "after";
    else
        return states;
    forEachCell(record, map, [&](int row, bool second, const QByteArray& state) {
        if (state.size() == kStateLength)
            states.at(panelIndex(row, second)) = state;
    });
    return states;
}

std::array<PanelAt, 20> panelsAt(const JournalContents& contents, const QDateTime& moment) {
    std::array<PanelAt, 20> panels;
    for (const Record& record : contents.records) {
        if (record.time > moment)
            continue;
        const SignStates stated = statedBy(record);
        for (int i = 0; i < 20; ++i)
            if (stated.at(i))
                panels.at(i) = {stated.at(i), record.time, record.event};
    }
    return panels;
}

std::vector<QString> interruptedWrites(const JournalContents& contents) {
    QSet<QString> finished;
    for (const Record& record : contents.records)
        if (record.event == kWrite)
            finished.insert(record.text("id"));
    std::vector<QString> interrupted;
    for (const Record& record : contents.records)
        if (record.event == kWriteStarted) {
            const QString id = record.text("id");
            if (!finished.contains(id))
                interrupted.push_back(id);
        }
    return interrupted;
}

// --- text --------------------------------------------------------------------------------

QByteArray asciiJsonString(const QString& text) {
    QByteArray out = "\"";
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            out += '\\';
            out += static_cast<char>(u);
        } else if (u < 0x20 || u >= 0x7F) {
            out += "\\u" + QByteArray::number(u, 16).rightJustified(4, '0');
        } else {
            out += static_cast<char>(u);
        }
    }
    return out + '"';
}

QString priceOf(const QByteArray& state) {
    return signlink::signText(state.left(3));
}

QString describe(const Record& record, bool interrupted, const SignStates* before) {
    if (record.event == kObserved) {
        std::array<std::optional<QString>, 20> prices;
        forEachCell(record, "shows", [&](int row, bool second, const QByteArray& state) {
            prices.at(panelIndex(row, second)) = priceOf(state);
        });
        return QStringLiteral("на стеле замечено: ") + rowPrices(prices).join(QStringLiteral("; "));
    }
    if (record.event == kWriteStarted)
        return interrupted ? QStringLiteral("запись начата и прервана: результата нет")
                           : QStringLiteral("запись начата");
    if (record.event == kWrite)
        return describeWrite(record, before);
    if (record.event == kBrightness || record.event == kEffect)
        return describeCommand(record);
    return record.event;
}

} // namespace journal

namespace journal {

Describer::Describer(const JournalContents& contents) {
    for (const Record& record : contents.records) {
        const QString id = record.text("id");
        if (record.event == kWriteStarted)
            started_[id] = statedBy(record);
        else if (record.event == kWrite)
            finished_.insert(id);
    }
}

QString Describer::operator()(const Record& record) const {
    const QString id = record.text("id");
    const auto before = id.isEmpty() ? started_.end() : started_.find(id);
    return describe(record, record.event == kWriteStarted && !finished_.count(id),
                    before == started_.end() ? nullptr : &before->second);
}

} // namespace journal
