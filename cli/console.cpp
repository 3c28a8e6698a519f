#include "console.h"

namespace cli {

void Console::out(const QString& text) {
    endProgress();
    write(Stream::Out, text + QLatin1Char('\n'));
}

void Console::err(const QString& text) {
    const QString redraw = shown_;
    endProgress();
    write(Stream::Err, text + QLatin1Char('\n'));
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
    write(Stream::Err, QLatin1Char('\r') + shown_ + QStringLiteral("   "));
}

void Console::endProgress() {
    if (shown_.isEmpty())
        return;
    write(Stream::Err,
          QLatin1Char('\r') + QString(shown_.size() + 3, QLatin1Char(' ')) + QLatin1Char('\r'));
    shown_.clear();
}

} // namespace cli
