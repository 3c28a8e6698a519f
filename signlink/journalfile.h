#pragma once
// The journal file as the operating system holds it: where it lives, and an exclusive
// lock under which a record is appended with one write and flushed to disk
// (journalfile_posix.cpp: flock, fsync; journalfile_win.cpp: LockFileEx,
// FlushFileBuffers).

#include <QByteArray>
#include <QString>

#include <memory>

namespace journal {

// The journal's file: $ZEMTA_JOURNAL when set; otherwise the station's shared file when
// the program is installed (Linux: /var/lib/zemta/journal.jsonl; Windows:
// %ProgramData%\ZEMTA\Stela\journal.jsonl), else the user's own (Linux:
// ${XDG_STATE_HOME:-~/.local/state}/zemta/journal.jsonl; Windows:
// %LOCALAPPDATA%\ZEMTA\Stela\journal.jsonl).
QString defaultPath();
// Why defaultPath() chose what it chose, in one line for `zemta-sign journal --path`.
QString defaultPathReason();

// The station's shared journal and the user's own, whatever is installed.
QString stationPath();
QString userPath();
// Whether the running program is an installed copy (Linux: it runs from /usr/bin;
// Windows: its folder holds the installer's uninstaller).
bool installedCopy();

// The login name of the user running the program.
QString loginName();

// One open journal file, locked exclusively from open to destruction.
class LockedFile {
public:
    // Opens (creating the file and its folder when missing) and locks; false with the
    // system's error text when that fails.
    static std::unique_ptr<LockedFile> open(const QString& path, QString& error);
    virtual ~LockedFile() = default;

    virtual qint64 size() = 0;
    // Reads up to `length` bytes at `offset`; empty on failure.
    virtual QByteArray readAt(qint64 offset, qint64 length) = 0;
    // Appends the bytes at the end with one write and flushes them to disk.
    virtual bool append(const QByteArray& bytes, QString& error) = 0;
};

} // namespace journal
