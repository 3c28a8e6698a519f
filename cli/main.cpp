// zemta-sign: the sign operations from the command line, for scripts, schedules and
// remote sessions.
#include "commands.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    cli::Console console;
    return cli::run(QCoreApplication::arguments().mid(1), console);
}
