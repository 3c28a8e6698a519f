// The registry store as a file (systems without a registry): TCustomComPort::StoreToRegistry.

#include "settingsstore.h"

#include "tcustomcomport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

using settingsstore::SettingsKey;
using settingsstore::StoredValue;

namespace {

const QString kHeader = QStringLiteral("Windows Registry Editor Version 5.00");
const QString kLocalMachine = QStringLiteral("HKEY_LOCAL_MACHINE");
const QString kCurrentUser = QStringLiteral("HKEY_CURRENT_USER");

[[noreturn]] void storeFailed() {
    throw EComPort(CError_StoreFailed);
}

bool hasLineBreak(const QString& s) {
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
}

// A string as a registry export writes it: in quotes, "\" and """ escaped.
QString quoted(const QString& s) {
    QString out = QStringLiteral("\"");
    for (QChar c : s) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out + QLatin1Char('"');
}

// One key of the store: its header line ("[...]") and the lines of its values.
struct Section {
    QString header;
    QStringList body;
};

// The store file split into keys. Lines between the file header and the first key
// (comments) are kept as they are.
struct RegistryFile {
    QString eol = QStringLiteral("\n");
    QStringList preamble;
    std::vector<Section> sections;
};

bool isSectionHeader(const QString& line) {
    return line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'));
}

void trimTrailingBlankLines(QStringList& lines) {
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
}

// Parses an existing store. A file that is not a registry export is refused rather
// than overwritten, so nobody's data is lost to a wrong path.
RegistryFile parseStore(const QByteArray& bytes) {
    RegistryFile file;
    if (bytes.contains("\r\n"))
        file.eol = QStringLiteral("\r\n");
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);

    qsizetype i = 0;
    while (i < lines.size() && lines[i].trimmed().isEmpty())
        ++i;
    if (i == lines.size())
        return file; // an empty file holds no keys
    if (lines[i].trimmed() != kHeader)
        storeFailed();
    for (++i; i < lines.size(); ++i) {
        if (isSectionHeader(lines[i]))
            file.sections.push_back({lines[i], {}});
        else if (file.sections.empty())
            file.preamble.append(lines[i]);
        else
            file.sections.back().body.append(lines[i]);
    }
    while (!file.preamble.isEmpty() && file.preamble.first().trimmed().isEmpty())
        file.preamble.removeFirst();
    trimTrailingBlankLines(file.preamble);
    for (Section& s : file.sections)
        trimTrailingBlankLines(s.body);
    return file;
}

QByteArray serialize(const RegistryFile& file) {
    QStringList lines{kHeader, QString()};
    if (!file.preamble.isEmpty())
        lines << file.preamble << QString();
    for (const Section& s : file.sections)
        lines << s.header << s.body << QString();
    return lines.join(file.eol).toUtf8() + file.eol.toUtf8();
}

// The name of the value a line sets, "Name"=..., as written (quotes and escapes
// included) and as meant. None for other lines: the default value (@=...), comments.
struct ValueName {
    QString written;
    QString name;
};

std::optional<ValueName> valueNameOf(const QString& line) {
    if (!line.startsWith(QLatin1Char('"')))
        return std::nullopt;
    QString name;
    for (qsizetype i = 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            name += line[++i];
        } else if (c == QLatin1Char('"')) {
            if (!line.mid(i + 1).trimmed().startsWith(QLatin1Char('=')))
                return std::nullopt;
            return ValueName{line.left(i + 1), name};
        } else {
            name += c;
        }
    }
    return std::nullopt;
}

// Sets the component's values in the lines of its key, as writing them into a
// registry key does: a value the key holds is replaced where it stands (registry value
// names are compared without regard to case, and keep their spelling), a value it
// lacks is added after the others in the order written, and every other value stays.
// A later duplicate of one of them would override ours on import, so it goes.
void setValues(QStringList& body, const std::vector<StoredValue>& values) {
    // A value's data may go on over lines that end in "\" (binary data).
    std::vector<QStringList> entries;
    bool continued = false;
    for (const QString& line : body) {
        if (continued)
            entries.back().append(line);
        else
            entries.push_back({line});
        const QString& first = entries.back().first();
        continued = (first.startsWith(QLatin1Char('"')) || first.startsWith(QLatin1Char('@'))) &&
                    line.endsWith(QLatin1Char('\\'));
    }

    std::vector<bool> written(values.size(), false);
    QStringList out;
    for (const QStringList& entry : entries) {
        const std::optional<ValueName> name = valueNameOf(entry.first());
        std::size_t k = 0;
        while (name && k < values.size() &&
               values[k].name.compare(name->name, Qt::CaseInsensitive) != 0)
            ++k;
        if (!name || k == values.size()) {
            out << entry;
            continue;
        }
        if (!written[k])
            out << name->written + QLatin1Char('=') + quoted(values[k].text);
        written[k] = true;
    }
    for (std::size_t k = 0; k < values.size(); ++k)
        if (!written[k])
            out << quoted(values[k].name) + QLatin1Char('=') + quoted(values[k].text);
    body = out;
}

// Sets the values in the key's section (registry key names are compared without regard
// to case, and an existing key keeps its spelling; a key given twice is one key), or
// appends the key when the file does not hold it yet.
void storeValues(RegistryFile& file, const QString& key, const std::vector<StoredValue>& values) {
    const QString wanted = QLatin1Char('[') + key + QLatin1Char(']');
    Section* found = nullptr;
    for (auto it = file.sections.begin(); it != file.sections.end();) {
        if (it->header.compare(wanted, Qt::CaseInsensitive) != 0) {
            ++it;
        } else if (!found) {
            found = &*it;
            ++it;
        } else {
            found->body << it->body;
            it = file.sections.erase(it);
        }
    }
    if (!found) {
        file.sections.push_back({wanted, {}});
        found = &file.sections.back();
    }
    setValues(found->body, values);
}

QByteArray readExistingStore(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    QFile f(path);
    if (!info.isFile() || !f.open(QIODevice::ReadOnly))
        storeFailed();
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        storeFailed();
    return bytes;
}

// A temporary file next to the target; removed again unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(const QByteArray& target) : name_(target + ".XXXXXX") {
        fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
        if (fd_ < 0)
            storeFailed();
    }
    ~TempFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!committed_)
            ::unlink(name_.constData());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_; }
    const char* name() const { return name_.constData(); }
    void closeChecked() {
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0)
            storeFailed();
    }
    void committed() { committed_ = true; }

private:
    QByteArray name_;
    int fd_ = -1;
    bool committed_ = false;
};

// Replaces the file at path by data so that the path holds either the old or the
// new content, also after a crash: write a temporary file in the same directory,
// flush it to disk and rename it over the old one.
void replaceFileAtomically(const QString& path, const QByteArray& data) {
    const QByteArray target = QFile::encodeName(path);
    TempFile tmp(target);

    // The new file keeps the permissions of the one it replaces (a new store stays
    // private to the user).
    struct stat old {};
    if (::stat(target.constData(), &old) == 0 && ::fchmod(tmp.fd(), old.st_mode & 07777) != 0)
        storeFailed();

    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(tmp.fd(), p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            storeFailed();
        }
        p += n;
        left -= n;
    }
    if (::fsync(tmp.fd()) != 0)
        storeFailed();
    tmp.closeChecked();
    if (::rename(tmp.name(), target.constData()) != 0)
        storeFailed();
    tmp.committed();

    // Make the rename itself durable. The new content is complete either way, so a
    // directory that cannot be synced is not a failure of the store.
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

} // namespace

namespace settingsstore {

QString registryFilePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/zemta/registry.reg");
}

} // namespace settingsstore

void TCustomComPort::StoreToRegistry(const QString& location) {
    const std::optional<SettingsKey> where = settingsstore::settingsKey(location, objectName());
    if (!where)
        storeFailed();
    const QString key = (where->localMachine ? kLocalMachine : kCurrentUser) +
                        QLatin1Char('\\') + where->subkey;
    const std::vector<StoredValue> values = settingsstore::basicValues(*this);
    // A line break would end a line of the export in the middle of a name or value.
    if (hasLineBreak(key))
        storeFailed();
    for (const StoredValue& v : values)
        if (hasLineBreak(v.text))
            storeFailed();

    const QString path = settingsstore::registryFilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        storeFailed();
    RegistryFile file = parseStore(readExistingStore(path));
    storeValues(file, key, values);
    replaceFileAtomically(path, serialize(file));
}
