// Setting values in a registry export, byte for byte outside the key being set.

#include "registryexport.h"

#include <cstddef>
#include <utility>

namespace settingsstore {
namespace {

using Lines = std::vector<QByteArray>; // each with its line break, the last one maybe without

// The file split into lines, each keeping its own line break.
Lines splitLines(const QByteArray& bytes) {
    Lines lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype nl = bytes.indexOf('\n', start);
        const qsizetype end = nl < 0 ? bytes.size() : nl + 1;
        lines.push_back(bytes.mid(start, end - start));
        start = end;
    }
    return lines;
}

// A line without its line break.
QByteArray content(const QByteArray& line) {
    QByteArray c = line;
    if (c.endsWith('\n'))
        c.chop(1);
    if (c.endsWith('\r'))
        c.chop(1);
    return c;
}

bool isBlank(const QByteArray& line) {
    return content(line).trimmed().isEmpty();
}

bool isSectionHeader(const QByteArray& line) {
    const QByteArray c = content(line);
    return c.startsWith('[') && c.endsWith(']');
}

// The line with a line break, so that something may follow it.
QByteArray terminated(QByteArray line, const QByteArray& eol) {
    if (!line.endsWith('\n'))
        line += eol;
    return line;
}

QString keyName(const QByteArray& header, qsizetype skip) {
    const QByteArray c = content(header);
    return QString::fromUtf8(c.mid(skip, c.size() - skip - 1));
}

bool isCopyOf(const QByteArray& line, const QString& key) {
    return isSectionHeader(line) && !content(line).startsWith("[-") &&
           keyName(line, 1).compare(key, Qt::CaseInsensitive) == 0;
}

// "[-name]" deleting the key or one of its parents.
bool deletes(const QByteArray& line, const QString& key) {
    if (!isSectionHeader(line) || !content(line).startsWith("[-"))
        return false;
    const QString name = keyName(line, 2);
    return !name.isEmpty() && (name.compare(key, Qt::CaseInsensitive) == 0 ||
                               key.startsWith(name + QLatin1Char('\\'), Qt::CaseInsensitive));
}

// A string as a registry export writes it: in quotes, "\" and """ escaped.
QByteArray quoted(const QString& s) {
    QString out = QStringLiteral("\"");
    for (QChar c : s) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out += QLatin1Char('\\');
        out += c;
    }
    return (out + QLatin1Char('"')).toUtf8();
}

// The name of the value a line sets, "Name"=..., as written (quotes and escapes
// included) and as meant. None for other lines: the default value (@=...), comments.
struct ValueName {
    QByteArray written;
    QString name;
};

std::optional<ValueName> valueNameOf(const QByteArray& line) {
    if (!line.startsWith('"'))
        return std::nullopt;
    QByteArray name;
    for (qsizetype i = 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            name += line[++i];
        } else if (c == '"') {
            if (!line.mid(i + 1).trimmed().startsWith('='))
                return std::nullopt;
            return ValueName{line.left(i + 1), QString::fromUtf8(name)};
        } else {
            name += c;
        }
    }
    return std::nullopt;
}

// The lines of a key's values (the values of each copy of the key, its trailing blank
// lines left out) with the component's values set; every line returned ends in a line
// break.
Lines setValues(const std::vector<Lines>& copies, const std::vector<StoredValue>& values,
                const QByteArray& eol) {
    // A value's data may go on over lines that end in "\" (binary data), up to the end
    // of its copy of the key.
    struct Entry {
        Lines lines;
        bool open = false; // its last line ends in "\": whatever follows would continue it
    };
    std::vector<Entry> entries;
    for (const Lines& copy : copies) {
        bool continued = false;
        for (const QByteArray& line : copy) {
            if (!continued)
                entries.push_back({});
            entries.back().lines.push_back(line);
            const QByteArray& first = entries.back().lines.front();
            continued = (first.startsWith('"') || first.startsWith('@')) && content(line).endsWith('\\');
            entries.back().open = continued;
        }
    }

    std::vector<bool> written(values.size(), false);
    std::vector<Entry> out;
    for (const Entry& entry : entries) {
        const std::optional<ValueName> name = valueNameOf(content(entry.lines.front()));
        std::size_t k = 0;
        while (name && k < values.size() &&
               values[k].name.compare(name->name, Qt::CaseInsensitive) != 0)
            ++k;
        if (!name || k == values.size()) {
            out.push_back(entry);
            continue;
        }
        // A later duplicate would override ours on import, so it goes.
        if (!written[k]) {
            const QByteArray& last = entry.lines.back();
            const QByteArray lineBreak = last.endsWith("\r\n") ? QByteArray("\r\n")
                                         : last.endsWith('\n') ? QByteArray("\n")
                                                               : eol;
            out.push_back({{name->written + '=' + quoted(values[k].text) + lineBreak}});
        }
        written[k] = true;
    }
    for (std::size_t k = 0; k < values.size(); ++k)
        if (!written[k])
            out.push_back({{quoted(values[k].name) + '=' + quoted(values[k].text) + eol}});

    Lines lines;
    for (std::size_t i = 0; i < out.size(); ++i) {
        for (const QByteArray& line : out[i].lines)
            lines.push_back(terminated(line, eol));
        // Data left open at the end of its key ended there; a blank line keeps it from
        // taking in what now follows.
        if (out[i].open && i + 1 < out.size())
            lines.push_back(eol);
    }
    return lines;
}

QByteArray newKey(const QString& key, const std::vector<StoredValue>& values, const QByteArray& eol) {
    QByteArray out = '[' + key.toUtf8() + ']' + eol;
    for (const QByteArray& line : setValues({}, values, eol))
        out += line;
    return out + eol;
}

} // namespace

std::optional<QByteArray> setValuesInExport(const QByteArray& existing, const QString& key,
                                            const std::vector<StoredValue>& values) {
    const QByteArray header(kExportHeader);
    // Another encoding than ASCII-compatible 8-bit ones (UTF-16 above all), or line
    // breaks that are not line feeds: lines cannot be told apart safely.
    if (existing.contains('\0'))
        return std::nullopt;
    for (qsizetype i = existing.indexOf('\r'); i >= 0; i = existing.indexOf('\r', i + 1))
        if (i + 1 == existing.size() || existing[i + 1] != '\n')
            return std::nullopt;
    const QByteArray eol = existing.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");

    Lines lines = splitLines(existing);
    const QByteArray bom("\xEF\xBB\xBF");
    std::size_t h = 0;
    const auto headerText = [&](std::size_t i) {
        const QByteArray c = content(lines[i]);
        return (i == 0 && c.startsWith(bom) ? c.mid(bom.size()) : c).trimmed();
    };
    while (h < lines.size() && headerText(h).isEmpty())
        ++h;
    if (h == lines.size()) // nothing but blanks: a new store
        return header + eol + eol + newKey(key, values, eol);
    if (headerText(h) != header)
        return std::nullopt;

    // The copies of the key that an import leaves standing: those after the last line
    // deleting it.
    std::size_t from = h + 1;
    for (std::size_t i = h + 1; i < lines.size(); ++i)
        if (deletes(lines[i], key))
            from = i + 1;
    std::vector<std::size_t> copies;
    for (std::size_t i = from; i < lines.size(); ++i)
        if (isCopyOf(lines[i], key))
            copies.push_back(i);

    if (copies.empty()) {
        QByteArray out = existing;
        if (!out.endsWith('\n'))
            out += eol;
        if (!isBlank(lines.back()))
            out += eol;
        return out + newKey(key, values, eol);
    }

    // Each copy: its header, the lines of its values, its trailing blank lines.
    struct Copy {
        std::size_t header, valuesEnd, end;
    };
    std::vector<Copy> spans;
    for (std::size_t start : copies) {
        std::size_t end = start + 1;
        while (end < lines.size() && !isSectionHeader(lines[end]))
            ++end;
        std::size_t valuesEnd = end;
        while (valuesEnd > start + 1 && isBlank(lines[valuesEnd - 1]))
            --valuesEnd;
        // A blank line that ends data going on over lines belongs to the data.
        if (valuesEnd < end && valuesEnd > start + 1 && content(lines[valuesEnd - 1]).endsWith('\\'))
            ++valuesEnd;
        spans.push_back({start, valuesEnd, end});
    }
    std::vector<Lines> body;
    for (const Copy& c : spans)
        body.emplace_back(lines.begin() + std::ptrdiff_t(c.header + 1),
                          lines.begin() + std::ptrdiff_t(c.valuesEnd));

    QByteArray out;
    const Copy& first = spans.front();
    for (std::size_t i = 0; i < first.header; ++i)
        out += lines[i];
    out += terminated(lines[first.header], eol);
    for (const QByteArray& line : setValues(body, values, eol))
        out += line;
    std::size_t next = 1; // the next later copy, which is left out
    for (std::size_t i = first.valuesEnd; i < lines.size(); ++i) {
        if (next < spans.size() && i == spans[next].header) {
            i = spans[next++].end - 1;
            continue;
        }
        out += lines[i];
    }
    return out;
}

} // namespace settingsstore
