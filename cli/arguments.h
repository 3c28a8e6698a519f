#pragma once
// The command line of zemta-sign: which command, with what. It is checked completely
// before anything touches a port, so a usage error never sends a byte.

#include "rowchange.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace cli {

enum class Command { Ports, Find, Read, Write, Verify, Brightness, Effect };

// Everything the command line asked for.
struct Invocation {
    std::optional<Command> command;
    bool help = false;
    bool version = false;
    bool verbose = false;
    QString port; // --port; empty: search for the sign first

    bool json = false;             // read, write, verify
    bool dryRun = false;           // write
    signlink::RowChanges changes;  // write; verify: the prices expected
    std::optional<int> level;      // brightness: 0..9; none: automatic
    int interval = 0;              // effect: 0..9
    std::array<bool, 4> effects{}; // effect: "Эф.1".."Эф.4"
};

// A command line that cannot be run; nothing has been sent.
struct UsageError {
    std::optional<Command> command; // the command it concerns, if known
    QString message;

    // One line: "zemta-sign write: ROW must be 1..10, not '11' (see zemta-sign write --help)".
    QString line() const;
};

// Parses the arguments after the program name. Throws UsageError.
Invocation parseArguments(const QStringList& args);

QString commandName(Command command);
// The tool's --help text, and a command's.
QString toolHelp();
QString commandHelp(Command command);

} // namespace cli
