#pragma once
// Standard output and standard error of zemta-sign: results on standard output,
// messages and the diagnostic log on standard error, and on a terminal a one-line
// progress display on standard error that everything else clears first. All text is
// UTF-8; how it reaches the system's streams and how an operation is stopped differ by
// platform (console_posix.cpp, console_win.cpp).

#include <QString>

namespace cli {

class Console {
public:
    Console();
    ~Console(); // clears a progress line still shown
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // One line on standard output.
    void out(const QString& text);
    // One or more lines on standard error.
    void err(const QString& text);
    // A line of the diagnostic log: on standard error with --verbose, else nowhere.
    void log(const QString& line);
    void setVerbose(bool verbose) { verbose_ = verbose; }

    // "Чтение: панель 5 из 20", redrawn in place; only when standard error is a terminal.
    void progress(const QString& phase, int panel);
    void endProgress();

private:
    enum class Stream { Out, Err };
    static void write(Stream stream, const QString& text);
    void writeProgress();
    bool terminal_;
    bool verbose_ = false;
    QString shown_; // the progress line on screen, empty when none
};

// Stops an operation when the user or the system asked the program to end, so that the
// port is closed (and given back) before the process ends; the exit code is then 128 +
// signal. POSIX: SIGINT, SIGTERM or SIGHUP. Windows: Ctrl+C and Ctrl+Break count as
// SIGINT (2), closing the console as SIGHUP (1); a second Ctrl+C or Ctrl+Break ends the
// program at once. Logging off and shutting down reach the program's window instead
// (sessionend.h), which stops the operation the same way.
struct Interrupted {
    int signal;
};

// Installs the handlers for those requests (on Windows the console object has done so
// already, to give the console's code page back on every way out); on POSIX systems
// SIGPIPE is ignored, so that a closed pipe on an output never ends the process in the
// middle of a write to the sign.
void installSignalHandlers();
// Throws Interrupted when one of those requests has arrived.
void throwIfInterrupted();

} // namespace cli
