#include "runningmark.h"

#include <windows.h>

#include <sddl.h>

namespace runningmark {

namespace {

// Full access for the system and the administrators, and the right to wait on it (all
// that opening it by name asks for) for everyone: another account's installer, and
// another account's copy of the program, open it too.
constexpr const wchar_t* kMarkAccess = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100000;;;WD)";

// Whether a mark exists. Only "no such object" means it does not: a mark that cannot
// be opened for another reason (another account's, without the right) exists all the same.
bool exists(const wchar_t* name) {
    const HANDLE h = ::OpenMutexW(SYNCHRONIZE, FALSE, name);
    if (h) {
        ::CloseHandle(h);
        return true;
    }
    return ::GetLastError() != ERROR_FILE_NOT_FOUND;
}

} // namespace

ProgramMark::ProgramMark() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kMarkAccess, SDDL_REVISION_1,
                                                               &descriptor, nullptr))
        attributes.lpSecurityDescriptor = descriptor;
    // Only the right to wait is asked for, so a second copy (of any account) opens the
    // mark that the first one made. Windows drops the mark when its last holder ends.
    handle_ = ::CreateMutexExW(&attributes, kProgramMark, 0, SYNCHRONIZE);
    if (descriptor)
        ::LocalFree(descriptor);
    if (exists(kInstallerMark)) {
        installerAtWork_ = true;
        if (handle_)
            ::CloseHandle(HANDLE(handle_));
        handle_ = nullptr;
    }
}

ProgramMark::~ProgramMark() {
    if (handle_)
        ::CloseHandle(HANDLE(handle_));
}

} // namespace runningmark
