#pragma once
// The sign operations that change the sign, with their journal records, as the window
// and zemta-sign both run them. Every function takes the journal as a pointer: none
// means nothing is recorded. A failure of the port is recorded and propagates.

#include "journal.h"
#include "writeplan.h"
#include "writeresult.h"

#include <cstdint>
#include <functional>

namespace journal {

// A read of the sign (a read-back, `zemta-sign read` or `verify`): an "observed" record
// when it found anything new.
void recordRead(Journal* journal, signlink::SignLink& link,
                const signlink::SignContents& read);

// The price write with the read before it (signlink::writeAfterReading), recorded: the
// read before (when one runs) is an observation, and "write_started", with what every
// panel showed, goes out right before the first frame. The write stays open in the
// journal until recordOutcome or recordFailure closes it; one that neither closes (a
// kill, a power cut) reads as interrupted. A port failure here closes it with the error
// and propagates.
signlink::PlannedWrite writeAfterReading(Journal* journal, signlink::SignLink& link,
                                         signlink::RowRequests& requests,
                                         const signlink::SignContents* latest,
                                         const std::function<signlink::SignContents()>& readFirst,
                                         signlink::UnreadPanels unread,
                                         signlink::PlannedFrameSending sending);
// The result record after the check: per panel what was sent, what it showed after, and
// the verdict. For a write that sent nothing, the verdicts alone.
void recordOutcome(Journal* journal, const signlink::WriteOutcome& outcome);
// Closes a write still open with the error that ended it; nothing when none is open.
void recordFailure(Journal* journal, const QString& error);

// The whole write, from the read before it to `check` (the read-back after it and the
// verdicts), recorded; a failure of any kind that propagates from it is recorded first.
signlink::WriteOutcome recordedWrite(
    Journal* journal, signlink::SignLink& link, signlink::RowRequests& requests,
    const signlink::SignContents* latest,
    const std::function<signlink::SignContents()>& readFirst, signlink::UnreadPanels unread,
    signlink::PlannedFrameSending sending,
    const std::function<signlink::WriteOutcome(const signlink::PlannedWrite&)>& check);

// The per-panel part of a result record.
WriteResults resultsOf(const signlink::WriteOutcome& outcome);

// The brightness and effect commands with their records; each returns the message to
// show, as the plain commands do.
QString setAutomaticBrightness(Journal* journal, signlink::SignLink& link);
QString setManualBrightness(Journal* journal, signlink::SignLink& link, int level);
QString setEffect(Journal* journal, signlink::SignLink& link, std::uint8_t effect);

// The frames of those commands, as the records name them.
QByteArray brightnessFrame(std::optional<int> level);
QByteArray effectFrame(std::uint8_t effect);

} // namespace journal
