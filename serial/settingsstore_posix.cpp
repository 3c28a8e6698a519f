// The registry store as a file (systems without a registry): TCustomComPort::StoreToRegistry.

#include "settingsstore.h"

#include "registryexport.h"
#include "tcustomcomport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

using settingsstore::SettingsKey;
using settingsstore::StoredValue;

namespace {

const QString kLocalMachine = QStringLiteral("HKEY_LOCAL_MACHINE");
const QString kCurrentUser = QStringLiteral("HKEY_CURRENT_USER");

[[noreturn]] void storeFailed() {
    throw EComPort(CError_StoreFailed);
}

// A line break would end a line of the export in the middle of a name or value, and a
// NUL byte would make the file one that the next save refuses.
bool breaksTheExport(const QString& s) {
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r')) || s.contains(QChar(0));
}

QByteArray directoryOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// The file that path names once symbolic links are followed (as many as the system
// follows in one path), so that a store kept elsewhere through a link stays a link and
// the file it points to is replaced. The file itself need not exist.
QByteArray followLinks(QByteArray path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0) {
            if (errno == ENOENT)
                return path;
            storeFailed();
        }
        if (!S_ISLNK(st.st_mode))
            return path;
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (n <= 0 || n >= target.size())
            storeFailed();
        target.truncate(n);
        path = target.startsWith('/') ? target : directoryOf(path) + '/' + target;
    }
    storeFailed(); // a loop of links
}

// Whether name is one of the temporary files earlier versions left beside the store
// when they were stopped while writing: <store>.XXXXXX (mkstemp's letters).
bool isOldTemporary(const QByteArray& name, const QByteArray& storeName) {
    if (name.size() != storeName.size() + 7 || !name.startsWith(storeName + '.'))
        return false;
    for (qsizetype i = storeName.size() + 1; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

void removeOldTemporaries(const QByteArray& target) {
    const QByteArray dir = directoryOf(target);
    const QByteArray storeName = target.mid(target.lastIndexOf('/') + 1);
    DIR* d = ::opendir(dir.constData());
    if (!d)
        return;
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        struct stat st {};
        if (isOldTemporary(name, storeName) &&
            ::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            ::unlinkat(::dirfd(d), e->d_name, 0);
    }
    ::closedir(d);
}

// The one temporary file of a store, <store>.tmp beside it, open and locked: a save
// stopped while writing (a crash, a full disk) leaves only this file behind, and the
// next save takes it over. The lock also keeps two saves at once from mixing their
// contents or losing one another's keys: the second reads the store after the first
// has replaced it. Removed again unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(const QByteArray& target) : name_(target + ".tmp") {
        // The file is locked by whoever holds its current inode; a save that renamed or
        // removed it meanwhile let go of the name, so the lock is taken on the file the
        // name holds when it is granted.
        for (int attempt = 0; attempt < 100; ++attempt) {
            fd_ = ::open(name_.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ < 0)
                storeFailed();
            int locked;
            do
                locked = ::flock(fd_, LOCK_EX);
            while (locked != 0 && errno == EINTR);
            struct stat held {}, named {};
            if (locked != 0 || ::fstat(fd_, &held) != 0 || !S_ISREG(held.st_mode))
                break;
            if (::lstat(name_.constData(), &named) == 0 && named.st_dev == held.st_dev &&
                named.st_ino == held.st_ino) {
                if (::ftruncate(fd_, 0) != 0)
                    break;
                return;
            }
            ::close(std::exchange(fd_, -1));
        }
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        storeFailed();
    }
    ~TempFile() {
        if (!committed_)
            ::unlink(name_.constData());
        if (fd_ >= 0)
            ::close(fd_);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_; }
    const char* name() const { return name_.constData(); }
    void committed() { committed_ = true; }

private:
    QByteArray name_;
    int fd_ = -1;
    bool committed_ = false;
};

// The store's bytes, empty when there is none yet.
QByteArray readExistingStore(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        storeFailed();
    }
    QByteArray bytes;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        bytes.append(buffer, n);
    }
    ::close(fd);
    if (!ok)
        storeFailed();
    return bytes;
}

void writeAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            storeFailed();
        }
        p += n;
        left -= n;
    }
}

// Sets the values in the store at path so that the file holds either the old or the
// new content, also after a crash: the new content is written to the temporary file
// beside the store (beside the file a link points to), flushed to disk and renamed
// over the old one.
void storeAtomically(const QString& path, const QString& key, const std::vector<StoredValue>& values) {
    const QByteArray target = followLinks(QFile::encodeName(path));
    TempFile tmp(target);
    removeOldTemporaries(target);

    const std::optional<QByteArray> data =
        settingsstore::setValuesInExport(readExistingStore(target), key, values);
    if (!data)
        storeFailed(); // no registry export: nobody's data is lost to a wrong path

    // The new file keeps the permissions of the one it replaces (a new store stays
    // private to the user).
    struct stat old {};
    const mode_t mode = ::stat(target.constData(), &old) == 0 ? old.st_mode & 07777 : 0600;
    if (::fchmod(tmp.fd(), mode) != 0)
        storeFailed();
    writeAll(tmp.fd(), *data);
    if (::fsync(tmp.fd()) != 0)
        storeFailed();
    if (::rename(tmp.name(), target.constData()) != 0)
        storeFailed();
    tmp.committed();

    // Make the rename itself durable. The new content is complete either way, so a
    // directory that cannot be synced is not a failure of the store.
    const int dirFd = ::open(directoryOf(target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    if (breaksTheExport(key))
        storeFailed();
    for (const StoredValue& v : values)
        if (breaksTheExport(v.text))
            storeFailed();

    const QString path = settingsstore::registryFilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        storeFailed();
    storeAtomically(path, key, values);
}
