#pragma once
// Standard output and standard error of zemta-sign: results on standard output,
// messages and the diagnostic log on standard error, and on a terminal a one-line
// progress display on standard error that everything else clears first.

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
    void writeProgress();
    bool terminal_;
    bool verbose_ = false;
    QString shown_; // the progress line on screen, empty when none
};

// Stops an operation when SIGINT, SIGTERM or SIGHUP arrived, so that the port is
// closed (and given back) before the process ends.
struct Interrupted {
    int signal;
};

// Installs the handlers for those signals; SIGPIPE is ignored, so that a closed pipe
// on an output never ends the process in the middle of a write to the sign.
void installSignalHandlers();
// Throws Interrupted when one of those signals has arrived.
void throwIfInterrupted();

} // namespace cli
