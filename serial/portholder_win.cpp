// Port holder on Windows: a named shared-memory record per port, made by the program
// that opens the port and gone with it (the system removes it with the last handle).
#include "portholder.h"

#include "portmap.h"

#include <windows.h>

#include <cwchar>

namespace portholder {

namespace {

struct Record {
    DWORD pid;
    wchar_t program[MAX_PATH]; // the holder's executable path, as it published it
};

// The record's names for a device path ("\\.\COM3" -> "...COM3"): the session's own
// namespace, and the global one, where a program of another session (a scheduled task)
// would see it; making a global record needs a right that not every account has.
std::wstring recordName(const std::string& devicePath, bool global) {
    std::string key = devicePath.rfind("\\\\.\\", 0) == 0 ? devicePath.substr(4) : devicePath;
    for (char& c : key) {
        if (c == '\\')
            c = '_';
        else if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return std::wstring(global ? L"Global\\" : L"Local\\") + L"zemta-stela.port." +
           std::wstring(key.begin(), key.end());
}

// "C:\...\zemta-stela.exe" -> "zemta-stela".
QString programName(const wchar_t* path) {
    QString name = QString::fromWCharArray(path);
    name = name.mid(name.lastIndexOf(QLatin1Char('\\')) + 1);
    if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        name.chop(4);
    return name;
}

// The executable of a running process, or empty when it cannot be asked.
QString runningProgram(DWORD pid) {
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr)
        return {};
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    const bool named = ::QueryFullProcessImageNameW(process, 0, path, &size) != 0;
    ::CloseHandle(process);
    return named ? programName(path) : QString();
}

} // namespace

std::optional<Holder> holderOf(const QString& port) {
    return holderOfDevice(portmap::devicePath(port));
}

std::optional<Holder> holderOfDevice(const std::string& path) {
    if (path.empty())
        return std::nullopt;
    for (const bool global : {true, false}) {
        const HANDLE mapping =
            ::OpenFileMappingW(FILE_MAP_READ, FALSE, recordName(path, global).c_str());
        if (mapping == nullptr)
            continue;
        std::optional<Holder> holder;
        if (const auto* record = static_cast<const Record*>(
                ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(Record)))) {
            Record copy = *record;
            ::UnmapViewOfFile(record);
            copy.program[MAX_PATH - 1] = L'\0';
            if (copy.pid != 0 && copy.pid != ::GetCurrentProcessId()) {
                // What the system says the process runs, over what it wrote of itself.
                QString program = runningProgram(copy.pid);
                if (program.isEmpty())
                    program = programName(copy.program);
                holder = Holder{program, std::int64_t(copy.pid)};
            }
        }
        ::CloseHandle(mapping);
        if (holder)
            return holder;
    }
    return std::nullopt;
}

struct HolderRecord::Impl {
    HANDLE mapping = nullptr;
};

HolderRecord::HolderRecord(const std::string& devicePath) : d(std::make_unique<Impl>()) {
    for (const bool global : {true, false}) {
        d->mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          sizeof(Record), recordName(devicePath, global).c_str());
        if (d->mapping != nullptr)
            break;
    }
    if (d->mapping == nullptr)
        return; // the port works all the same; only a refusal elsewhere cannot name us
    if (auto* record = static_cast<Record*>(
            ::MapViewOfFile(d->mapping, FILE_MAP_WRITE, 0, 0, sizeof(Record)))) {
        record->pid = ::GetCurrentProcessId();
        const DWORD n = ::GetModuleFileNameW(nullptr, record->program, MAX_PATH);
        record->program[n < MAX_PATH ? n : MAX_PATH - 1] = L'\0';
        ::UnmapViewOfFile(record);
    }
}

HolderRecord::~HolderRecord() {
    if (d->mapping != nullptr)
        ::CloseHandle(d->mapping);
}

} // namespace portholder
