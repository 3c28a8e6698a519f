// zemta-sign: the sign operations from the command line, for scripts, schedules and
// remote sessions.
#include "commands.h"
#include "runningmark.h"
#include "sessionend.h"

#include <QCoreApplication>

#include <cstdlib>

int main(int argc, char** argv) {
    // First of all: the installer must see the tool while its files are in use.
    const runningmark::ProgramMark mark;
    QCoreApplication app(argc, argv);
    // The watch outlives the console, whose end tells an ending session that the port
    // is closed.
    const sessionend::Watch sessionWatch(L"Идёт запись цен на стелу", {});
    cli::Console console;
    if (mark.installerAtWork()) {
        console.err(QStringLiteral("zemta-sign: the program is being installed or removed; "
                                   "run it again when the installer has finished"));
        return cli::kPortUnusable;
    }
    try {
        return cli::run(QCoreApplication::arguments().mid(1), console);
    } catch (const sessionend::Ending&) {
        // The operation stopped between two frames and its port is closed: as a hang-up.
        console.endProgress();
        console.err(QStringLiteral("zemta-sign: the session is ending"));
        // Ended here and now (the code page is given back on the way): once the session's
        // end is let go on, the system ends the process, and this status with it.
        std::exit(128 + 1);
    }
}
