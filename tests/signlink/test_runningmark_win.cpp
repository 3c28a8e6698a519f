// The marks by which the programs and the installer see each other, as the installer
// looks for them: by name, asking only for the right to wait.

#include "runningmark.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <string>

namespace {

// What the installer's check finds: 1 running, 0 not, and the error when it cannot open it.
DWORD openError(const wchar_t* name) {
    const HANDLE h = ::OpenMutexW(SYNCHRONIZE, FALSE, name);
    if (h) {
        ::CloseHandle(h);
        return 0;
    }
    return ::GetLastError();
}

std::wstring accessOf(HANDLE h) {
    DWORD size = 0;
    ::GetKernelObjectSecurity(h, DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (!::GetKernelObjectSecurity(h, DACL_SECURITY_INFORMATION, buffer.data(), size, &size))
        return {};
    wchar_t* text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            buffer.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return {};
    std::wstring result(text);
    ::LocalFree(text);
    return result;
}

} // namespace

TEST(RunningMark, IsHeldWhileTheProgramRunsUnlessTheInstallerWorks) {
    struct Row {
        bool installerWorks;
        bool startRefused;
        DWORD whileRunning; // the installer's OpenMutex: 0 found, else its error
    };
    const Row rows[] = {
        {false, false, 0},
        {true, true, ERROR_FILE_NOT_FOUND},
    };
    for (const Row& r : rows) {
        HANDLE installer = r.installerWorks
                               ? ::CreateMutexW(nullptr, FALSE, runningmark::kInstallerMark)
                               : nullptr;
        {
            const runningmark::ProgramMark mark;
            EXPECT_EQ(mark.installerAtWork(), r.startRefused);
            EXPECT_EQ(openError(runningmark::kProgramMark), r.whileRunning);
            // A second copy, as a second scheduled command, takes the same mark.
            const runningmark::ProgramMark second;
            EXPECT_EQ(second.installerAtWork(), r.startRefused);
        }
        // Gone with its last holder: the installer sees nothing running.
        EXPECT_EQ(openError(runningmark::kProgramMark), DWORD(ERROR_FILE_NOT_FOUND));
        if (installer)
            ::CloseHandle(installer);
    }
}

TEST(RunningMark, AnyAccountMayWaitOnIt) {
    const runningmark::ProgramMark mark;
    const HANDLE h = ::OpenMutexW(READ_CONTROL | SYNCHRONIZE, FALSE, runningmark::kProgramMark);
    ASSERT_NE(h, nullptr);
    const std::wstring access = accessOf(h);
    ::CloseHandle(h);
    // Everyone ("WD") with the right to wait (SYNCHRONIZE) and nothing more.
    EXPECT_NE(access.find(L"(A;;0x100000;;;WD)"), std::wstring::npos)
        << std::string(access.begin(), access.end());
}
