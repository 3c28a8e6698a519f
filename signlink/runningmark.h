#pragma once
// The marks by which the programs and the Windows installer see each other.
//
// While zemta-stela or zemta-sign runs it holds a mark, so that the installer and
// the uninstaller, which cannot replace files a running program has mapped, wait or
// refuse instead of leaving a half-replaced folder. While the installer works it holds
// a mark of its own, and neither program starts then. Each side takes its own mark
// before it looks for the other's, so one of them always sees the other.
//
// On Windows the marks are named mutexes in the global namespace, the program's one
// open to every account (an administrator elevated with his own credentials sees
// another user's running program). Elsewhere there is no installer and nothing to mark.

namespace runningmark {

// The names, as the installer (packaging/windows/zemta-stela.nsi) uses them.
inline constexpr const wchar_t* kProgramMark = L"Global\\ru.zemta.Stela";
inline constexpr const wchar_t* kInstallerMark = L"Global\\ru.zemta.Stela.Setup";

class ProgramMark {
public:
    // Takes the program's mark, then looks for the installer's.
    ProgramMark();
    ~ProgramMark();
    ProgramMark(const ProgramMark&) = delete;
    ProgramMark& operator=(const ProgramMark&) = delete;

    // True when the installer was at work as the program started: the program must not
    // go on (its mark is let go already).
    bool installerAtWork() const { return installerAtWork_; }

private:
    void* handle_ = nullptr;
    bool installerAtWork_ = false;
};

} // namespace runningmark
