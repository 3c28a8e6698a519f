// The journal file on Windows: LockFileEx, FILE_APPEND_DATA, FlushFileBuffers; the
// shared file in %ProgramData%\ZEMTA\Stela.
#include "journalfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace journal {

namespace {

QString systemError(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message = n > 0 ? QString::fromWCharArray(text, static_cast<int>(n)).trimmed()
                            : QString();
    LocalFree(text);
    return QStringLiteral("%1 (win error code: %2)").arg(message).arg(code);
}

// A known folder from the environment, as Windows sets it for every session.
QString folderFromEnvironment(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return QDir::fromNativeSeparators(value.isEmpty() ? fallback : value);
}

// Windows' byte-range locks are mandatory: a lock on the records would make readers fail
// while a record is appended. Writers lock one byte far beyond any journal's end instead,
// which keeps them apart and leaves the records readable.
OVERLAPPED lockByte() {
    OVERLAPPED at{};
    at.OffsetHigh = 0x7FFFFFFF;
    return at;
}

class WinFile : public LockedFile {
public:
    explicit WinFile(HANDLE handle) : handle_(handle) {}
    ~WinFile() override {
        OVERLAPPED at = lockByte();
        UnlockFileEx(handle_, 0, 1, 0, &at);
        CloseHandle(handle_);
    }

    qint64 size() override {
        LARGE_INTEGER size{};
        return GetFileSizeEx(handle_, &size) ? size.QuadPart : -1;
    }

    QByteArray readAt(qint64 offset, qint64 length) override {
        QByteArray bytes(length, '\0');
        qint64 done = 0;
        while (done < length) {
            OVERLAPPED at{};
            const qint64 position = offset + done;
            at.Offset = static_cast<DWORD>(position & 0xFFFFFFFF);
            at.OffsetHigh = static_cast<DWORD>(position >> 32);
            DWORD n = 0;
            if (!ReadFile(handle_, bytes.data() + done, static_cast<DWORD>(length - done), &n, &at) ||
                n == 0)
                return {};
            done += n;
        }
        return bytes;
    }

    bool append(const QByteArray& bytes, QString& error) override {
        // Opened with FILE_APPEND_DATA only: the one write lands at the end, whole.
        DWORD n = 0;
        if (!WriteFile(handle_, bytes.constData(), static_cast<DWORD>(bytes.size()), &n, nullptr) ||
            n != static_cast<DWORD>(bytes.size())) {
            error = systemError(GetLastError());
            return false;
        }
        if (!FlushFileBuffers(handle_)) {
            error = systemError(GetLastError());
            return false;
        }
        return true;
    }

private:
    HANDLE handle_;
};

} // namespace

std::unique_ptr<LockedFile> LockedFile::open(const QString& path, QString& error) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
        return nullptr;
    }
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE handle =
        CreateFileW(name.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = systemError(GetLastError());
        return nullptr;
    }
    OVERLAPPED at = lockByte();
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
        error = systemError(GetLastError());
        CloseHandle(handle);
        return nullptr;
    }
    return std::make_unique<WinFile>(handle);
}

QString stationPath() {
    return folderFromEnvironment("ProgramData", QStringLiteral("C:/ProgramData")) +
           QStringLiteral("/ZEMTA/Stela/journal.jsonl");
}

QString userPath() {
    return folderFromEnvironment("LOCALAPPDATA", QDir::homePath() + QStringLiteral("/AppData/Local")) +
           QStringLiteral("/ZEMTA/Stela/journal.jsonl");
}

bool installedCopy() {
    // The installer puts its uninstaller beside the programs; the portable folder has none.
    return QFileInfo::exists(QCoreApplication::applicationDirPath() +
                             QStringLiteral("/uninstall.exe"));
}

QString loginName() {
    wchar_t name[257];
    DWORD length = 257;
    if (GetUserNameW(name, &length) && length > 1)
        return QString::fromWCharArray(name, static_cast<int>(length - 1));
    return qEnvironmentVariable("USERNAME");
}

} // namespace journal
