#pragma once
// zemta-sign and the price journal: the journal every command that changes the sign
// writes, and the command `journal` that reads it.

#include "arguments.h"
#include "console.h"
#include "journal.h"

#include <memory>

namespace cli {

// The journal of this run: --journal FILE, else $ZEMTA_JOURNAL, else the default place.
// An append that fails is told on standard error, once; the command goes on.
std::unique_ptr<journal::Journal> openJournal(const Invocation& call, Console& console);

// A write, brightness or effect command that never reached the sign (no port could be
// opened, or no sign was found) is recorded as an attempt with the error.
void recordUnopened(journal::Journal* journal, const Invocation& call, const QString& port,
                    const QString& error);

// `zemta-sign journal`: exit 0, 1 (unreadable journal, broken chain), 2 (usage).
int journalCommand(const Invocation& call, Console& console);

} // namespace cli
