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

void write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

Console::Console() : terminal_(::isatty(STDERR_FILENO) == 1) {}

Console::~Console() {
    endProgress();
}

void Console::out(const QString& text) {
    endProgress();
    write(stdout, text + QLatin1Char('\n'));
}

void Console::err(const QString& text) {
    const QString redraw = shown_;
    endProgress();
    write(stderr, text + QLatin1Char('\n'));
    if (!redraw.isEmpty()) {
        shown_ = redraw;
        writeProgress();
    }
}

void Console::log(const QString& line) {
    if (verbose_)
        err(line);
}

void Console::progress(const QString& phase, int panel) {
    if (!terminal_ || panel < 1)
        return;
    shown_ = phase + QStringLiteral(": панель %1 из 20").arg(panel);
    writeProgress();
}

void Console::writeProgress() {
    // Over the previous line, padded so that nothing of a longer one stays visible.
    write(stderr, QLatin1Char('\r') + shown_ + QStringLiteral("   "));
}

void Console::endProgress() {
    if (shown_.isEmpty())
        return;
    write(stderr,
          QLatin1Char('\r') + QString(shown_.size() + 3, QLatin1Char(' ')) + QLatin1Char('\r'));
    shown_.clear();
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
