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
  write [--port P] ROW=PRICE... [--unused ROW...] [--dry-run] [--json]
                              change the rows named, keep all others as they are
  verify [--port P] ROW=PRICE... [--unused ROW...] [--json]
                              check that both halves of each row named show that
  brightness [--port P] auto|0..9
                              automatic brightness or a fixed level
  effect [--port P] --interval 0..9 [--effects 1,2,3,4]
                              switch the running-light effects
  journal [--since T] [--until T] [--json | --csv FILE | --at T | --check | --path]
                              the price journal: what the sign showed and when

Without --port a command first searches COM1..COM255 for the sign, as the
window does at start-up. A port is COM1..COM255 or a device path such as
/dev/serial/by-id/....

Options:
  -v, --verbose  write the diagnostic log to standard error as it happens
  -h, --help     this text; zemta-sign COMMAND --help tells about a command
      --version  print the version
      --journal FILE
                 the price journal to write (and to read) instead of
                 $ZEMTA_JOURNAL or the default; see zemta-sign journal --help

Exit status:
  0  done, and the sign confirmed it
  1  the sign did not answer, or did not take what was sent
  2  usage error; nothing was sent to the sign
  3  the port could not be used (the serial port's error on standard error;
     a port held by the window zemta-stela is named with its process id);
     on Windows also while the installer or the uninstaller works

With --json a command prints one JSON object on standard output, in ASCII
(other characters as \uXXXX escapes); its fields are listed in the command's
--help. Fields may be added in later versions, never renamed or removed.
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
            rows 10..1; HALF is a panel's state:
              price       its three price characters, e.g. "469" or "---"
              grade       "80" "92" "95" "98" "ДТ" by the grade code, else null
              snowflake   bit 0 of the flag byte ("Снежинка")
              euro        bit 1 of the flag byte ("Евро")
              ok          the panel gave a good reply
              grade_code  the grade code byte as it came, e.g. "3"
              flags       the whole flag byte as a number, e.g. 50
            For a panel without a good reply ok is false, snowflake and euro are
            false and the other fields null.
)";

const char* const kWrite =
    R"(Usage: zemta-sign write [--port P] ROW=PRICE... [--unused ROW...] [--dry-run] [--json]

Changes only the rows named. It reads the whole sign first and plans all ten
rows from what the panels hold: the rows named get the new price in both
halves (each half keeps its grade and flags), rows after --unused are marked
not used ("---"), every other panel keeps exactly what it holds. Only the
panels that do not show their planned price, grade and flags yet are sent a
frame; when none is, nothing is sent and it prints "без изменений". Otherwise
it reads all 20 panels back and checks that every panel written holds what was
sent. It prints each row changed ("ряд 3: 459 -> 469").

If any panel gives no good reply to the first read, nothing is written and the
panels are named: a script gets all or nothing. (The window writes the other
panels then and leaves an unread one as it is, unless its row was changed.)
Exit status 1 then, and when any panel did not take the write or its grade or
flags changed; each such panel is named on standard error.

  ROW=PRICE     ROW is 1 (bottom) .. 10 (top); PRICE is exactly three digits
  --unused ROW  mark rows not used; takes one or more ROWs
  --port P      use port P (COM1..COM255 or a device path) instead of searching
  --dry-run     read the sign and print what would change, one line per panel
                ("ряд 3, первая половина: 459 -> 469"); send nothing. Exit
                status 0, or 1 when a panel cannot be read
  --json        print one JSON object instead of the lines:
    port      the port used
    dry_run   true with --dry-run
    changed   a frame was sent (with --dry-run: would be sent)
    rows      rows 10..1: {"row": 3, "first": PANEL, "second": PANEL}
    problems  the lines about single panels that standard error gives
    held_by   {"program": "zemta-stela", "pid": 1234} when the window holds the
              port (exit status 3), else null
  PANEL is {"before": HALF, "planned": HALF, "after": HALF, "verdict": WORD}:
    before    the panel's state in the read the write was planned from
    planned   what its frame carries (price, grade, flags as the frame has
              them; flags of row 1 on the base 0); null when no frame is sent
    after     its state in the read-back after the write; null in a dry run,
              when nothing was sent, or without a good reply
  HALF is as in "zemta-sign read --help", or null. WORD is one of:
    unchanged    no frame needed: the panel already shows the plan
    written      a frame was sent and the read-back confirms it
    not_taken    a frame was sent and the panel shows something else, did not
                 acknowledge it, or its grade or flags changed
    no_reply     no good reply from the panel (before or after the write)
    left_out     not written: the write was refused for an unread panel
    would_write  with --dry-run only: a frame would be sent
  On exit status 2 nothing is printed; on 3 the object has no rows.

A row named twice, or both with a price and after --unused, is a usage error.
)";

const char* const kVerify =
    R"(Usage: zemta-sign verify [--port P] ROW=PRICE... [--unused ROW...] [--json]

Reads the sign and checks that both halves of every row named show exactly
that price ("---" for a row after --unused); grade and flags are not looked
at. Prints each row that does ("ряд 3: 469"). Exit status 1 when any half
differs or gives no good reply; each such panel is named on standard error.
Nothing is sent but read commands.

  ROW=PRICE     ROW is 1 (bottom) .. 10 (top); PRICE is exactly three digits
  --unused ROW  rows expected not used ("---"); takes one or more ROWs
  --port P      use port P (COM1..COM255 or a device path) instead of searching
  --json        print one JSON object:
    port      the port used
    ok        every row named shows its price in both halves
    rows      the rows named, 10..1: {"row": 3, "expected": "469",
              "first": HALF, "second": HALF, "ok": true}, HALF as in
              "zemta-sign read --help"
    problems  the lines about single panels that standard error gives
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

const char* const kJournal =
    R"(Usage: zemta-sign journal [--since T] [--until T] [--json | --csv FILE | --at T | --check | --path]

Every price write (not a dry run), brightness and effect command of the window
and of zemta-sign is recorded in the price journal, attempts that could not
reach the sign included; a write makes two records, "started" before its first
frame and its result after the check (a "started" without a result was
interrupted). A read that finds a panel showing something other than the
journal last recorded for it adds an "observed" record. The journal is one file
for every account of the station: /var/lib/zemta/journal.jsonl (Windows:
%ProgramData%\ZEMTA\Stela\journal.jsonl); a copy that is not installed uses
the user's own (${XDG_STATE_HOME:-~/.local/state}/zemta/journal.jsonl,
%LOCALAPPDATA%\ZEMTA\Stela\journal.jsonl). $ZEMTA_JOURNAL or --journal FILE
names another. A journal that cannot be written is told on standard error and
stops nothing.

Without options: the records, oldest first, as a table.

  --since T     only records from T on; T is a date (2026-12-09) or a date and
                time ("2026-12-09 08:00"), local time
  --until T     only records before T (a date alone: to the end of that day)
  --json        the records as stored, one JSON object a line (JSON Lines)
  --csv FILE    write the records to FILE for Excel: UTF-8 with BOM, ';',
                CRLF
  --at T        what each panel showed at T: from the latest record before T
                that states it, with that record's time
  --check       verify the hash chain (each record holds the SHA-256 of the
                line before it); exit status 1 names the first broken line
  --path        print the journal's file (why that one on standard error)

Lines cut short by a write that never ended are skipped and counted on
standard error. Exit status 1 when the journal cannot be read or its chain is
broken.
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
    case Command::Verify:
        return QString::fromUtf8(kVerify);
    case Command::Brightness:
        return QString::fromUtf8(kBrightness);
    case Command::Effect:
        return QString::fromUtf8(kEffect);
    case Command::Journal:
        return QString::fromUtf8(kJournal);
    }
    return {};
}

} // namespace cli
