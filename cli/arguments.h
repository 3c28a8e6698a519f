#pragma once
// The command line of zemta-sign: which command, with what. It is checked completely
// before anything touches a port, so a usage error never sends a byte.

#include "rowchange.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

namespace cli {

enum class Command { Ports, Find, Read, Write, Verify, Brightness, Effect, Journal };

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

    QString journalFile; // --journal FILE: the price journal to write and read
    struct JournalQuery {
        QDateTime since, until, at; // invalid: not given; until is exclusive
        QString csv;                // --csv FILE
        bool check = false;
        bool path = false;
    } journal;                      // journal (--json is `json`)
};

// A command line that cannot be run; nothing has been sent.
struct UsageError {
    std::optional<Command> command; // the command it concerns, if known
    QString message;

    // One line: "zemta-sign write: ROW must be 1..10, not '11' (see zemta-sign write --help)".
    QString line() const;
};

// Takes one option of the journal command; `value` gives its value. Throws UsageError.
void takeJournalOption(const QString& name, const std::function<QString()>& value,
                       bool inlineValue, Invocation& result);

// Parses the arguments after the program name. Throws UsageError.
Invocation parseArguments(const QStringList& args);

QString commandName(Command command);
// The tool's --help text, and a command's.
QString toolHelp();
QString commandHelp(Command command);

} // namespace cli
