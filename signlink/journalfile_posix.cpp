// The journal file on Linux: flock, O_APPEND, fsync; the shared file in /var/lib/zemta.
#include "journalfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace journal {

namespace {

const QString kStationPath = QStringLiteral("/var/lib/zemta/journal.jsonl");

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

class PosixFile : public LockedFile {
public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override {
        // Closing releases the lock.
        ::close(fd_);
    }

    qint64 size() override {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? static_cast<qint64>(st.st_size) : -1;
    }

    QByteArray readAt(qint64 offset, qint64 length) override {
        QByteArray bytes(length, '\0');
        qint64 done = 0;
        while (done < length) {
            const ssize_t n = ::pread(fd_, bytes.data() + done, static_cast<size_t>(length - done),
                                      static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return {};
            done += n;
        }
        return bytes;
    }

    bool append(const QByteArray& bytes, QString& error) override {
        // O_APPEND: the one write lands at the end, whole.
        ssize_t n;
        do
            n = ::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size()));
        while (n < 0 && errno == EINTR);
        if (n != bytes.size()) {
            error = n < 0 ? systemError(errno) : QStringLiteral("short write");
            return false;
        }
        if (::fsync(fd_) != 0) {
            error = systemError(errno);
            return false;
        }
        return true;
    }

private:
    int fd_;
};

} // namespace

std::unique_ptr<LockedFile> LockedFile::open(const QString& path, QString& error) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(folder);
        return nullptr;
    }
    const QByteArray name = QFile::encodeName(path);
    // Readable and writable for the group: every operator of the station appends to it
    // (the station's folder is setgid dialout).
    const int fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0664);
    if (fd < 0) {
        error = systemError(errno);
        return nullptr;
    }
    // In the station's folder (setgid: its files belong to the operators' group) the file
    // stays writable for the group whatever the creator's umask took away.
    struct stat dir {};
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &dir) == 0 && (dir.st_mode & S_ISGID) &&
        ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 0060) != 0060)
        ::fchmod(fd, (st.st_mode & 07777) | 0060);
    int locked;
    do
        locked = ::flock(fd, LOCK_EX);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        error = systemError(errno);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
}

QString stationPath() {
    return kStationPath;
}

QString userPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/zemta/journal.jsonl");
}

bool installedCopy() {
    return QCoreApplication::applicationDirPath() == QLatin1String("/usr/bin");
}

QString loginName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    if (const char* user = std::getenv("USER"); user && *user)
        return QString::fromLocal8Bit(user);
    return QString::number(::geteuid());
}

} // namespace journal
