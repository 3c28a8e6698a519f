// The --help texts of zemta-sign and of each command.
#include "arguments.h"

namespace cli {

namespace {

const char* const kTool = R"(Usage: zemta-sign [-v] COMMAND [OPTIONS]

Reads and sets the prices on the LED price sign over its serial line, with the
same sign operations as the window zemta-stela: for scripts, schedules and
remote sessions.

Commands:
  ports                       list the serial ports: name and device path
  find                        search COM1..COM255 for the sign, print its port
  read [--port P] [--json]    read all 20 panels and print what they hold
  write [--port P] ROW=PRICE... [--unused ROW...]
                              change the rows named, keep all others as they are
  brightness [--port P] auto|0..9
                              automatic brightness or a fixed level
  effect [--port P] --interval 0..9 [--effects 1,2,3,4]
                              switch the running-light effects

Without --port a command first searches COM1..COM255 for the sign, as the
window does at start-up. A port is COM1..COM255 or a device path such as
/dev/serial/by-id/....

Options:
  -v, --verbose  write the diagnostic log to standard error as it happens
  -h, --help     this text; zemta-sign COMMAND --help tells about a command
      --version  print the version

Exit status:
  0  done, and the sign confirmed it
  1  the sign did not answer, or did not take what was sent
  2  usage error; nothing was sent to the sign
  3  the port could not be used (the serial port's error on standard error);
     on Windows also while the installer or the uninstaller works
)";

const char* const kPorts = R"(Usage: zemta-sign ports

Lists the serial ports of this computer that the window's port setup dialog
lists, one a line: the port name, a tab, and the device it stands for.
Exit status 1 when the computer has no serial port.
)";

const char* const kFind = R"(Usage: zemta-sign find

Searches COM1..COM255 for the sign as the window does at start-up: sends the
read command of panel 0 on every port that opens and takes the last port whose
reply begins "T0". Prints that port; exit status 1 when no port answers. Ports
that another program holds are skipped.
)";

const char* const kRead = R"(Usage: zemta-sign read [--port P] [--json]

Reads all 20 panels of the sign (each row in the first and the second half),
each panel up to seven times until its checksum matches, and prints a table
from row 10 (top) to row 1: the price in each half, the grade and the flags.
A panel without a good reply shows XX.XX. Exit status 1 when any panel gave
no good reply.

  --port P  use port P (COM1..COM255 or a device path) instead of searching
  --json    print one JSON object instead of the table:
            {"port": "COM3", "rows": [{"row": 10, "first": HALF, "second": HALF}, ...]}
            rows 10..1; HALF is {"price": "469", "grade": "95", "snowflake": false,
            "euro": true, "ok": true}; grade is one of "80" "92" "95" "98" "ДТ" or
            null; for a panel without a good reply ok is false and price and grade
            are null.
)";

const char* const kWrite = R"(Usage: zemta-sign write [--port P] ROW=PRICE... [--unused ROW...]

Changes only the rows named. It reads the whole sign first and builds all ten
rows from what the panels hold: the rows named get the new price in both
halves (each half keeps its grade and flags), rows after --unused are marked
not used ("---"), every other panel is written back exactly as it was read.
Then it writes all 20 panels, reads the sign back, and checks that every panel
holds what was sent. It prints each row changed ("ряд 3: 459 -> 469").

If any panel gives no good reply to the first read, nothing is written and the
panels are named: a script gets all or nothing. (The window writes the other
panels then and leaves an unread one as it is, unless its row was changed.)
Exit status 1 then, and when any panel did not take the write; each such panel
is named on standard error.

  ROW=PRICE     ROW is 1 (bottom) .. 10 (top); PRICE is exactly three digits
  --unused ROW  mark rows not used; takes one or more ROWs
  --port P      use port P (COM1..COM255 or a device path) instead of searching

A row named twice, or both with a price and after --unused, is a usage error.
)";

const char* const kBrightness = R"(Usage: zemta-sign brightness [--port P] auto|0..9

Switches the sign to automatic brightness ("LA") or to a fixed level 0..9
("LM" and the digit), and prints the sign's answer in the window's words.
Exit status 1 when the sign did not confirm.

  --port P  use port P (COM1..COM255 or a device path) instead of searching
)";

const char* const kEffect =
    R"(Usage: zemta-sign effect [--port P] --interval 0..9 [--effects 1,2,3,4]

Switches the running-light effects: which of the four effects run and the
interval in seconds between two runs (0 switches the effects off). Prints the
sign's answer in the window's words; exit status 1 when the sign did not
confirm.

  --interval N   seconds between two runs, 0..9
  --effects LIST the effects that run, e.g. 1,3; none when not given
  --port P       use port P (COM1..COM255 or a device path) instead of searching
)";

} // namespace

QString toolHelp() {
    return QString::fromUtf8(kTool);
}

QString commandHelp(Command command) {
    switch (command) {
    case Command::Ports:
        return QString::fromUtf8(kPorts);
    case Command::Find:
        return QString::fromUtf8(kFind);
    case Command::Read:
        return QString::fromUtf8(kRead);
    case Command::Write:
        return QString::fromUtf8(kWrite);
    case Command::Brightness:
        return QString::fromUtf8(kBrightness);
    case Command::Effect:
        return QString::fromUtf8(kEffect);
    }
    return {};
}

} // namespace cli
