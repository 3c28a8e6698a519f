// The POSIX side of the console: UTF-8 bytes on the standard streams, a terminal on
// standard error for the progress line, and the signals that stop an operation.
#include "console.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace cli {

namespace {

volatile std::sig_atomic_t pendingSignal = 0;

extern "C" void noteSignal(int signal) {
    pendingSignal = signal;
}

} // namespace

Console::Console() : terminal_(::isatty(STDERR_FILENO) == 1) {}

Console::~Console() {
    endProgress();
}

void Console::write(Stream stream, const QString& text) {
    std::FILE* file = stream == Stream::Out ? stdout : stderr;
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
    std::fflush(file);
}

void installSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void throwIfInterrupted() {
    if (const int signal = pendingSignal)
        throw Interrupted{signal};
}

} // namespace cli
