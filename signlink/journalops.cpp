// Sign operations with their journal records.
#include "journalops.h"

#include "brightness.h"

#include <exception>

namespace journal {

namespace {

QString portOf(signlink::SignLink& link) {
    return link.port().Port();
}

QString errorText(const std::exception& e) {
    return QString::fromUtf8(e.what());
}

// The operator's requests, with the "started" record written when the write asks for
// the first row, right before its first frame.
class StartRecording : public signlink::RowRequests {
public:
    StartRecording(signlink::RowRequests& requests, std::function<void()> started)
        : requests_(requests), started_(std::move(started)) {}

    signlink::RowRequest requestFor(int row) override {
        if (started_) {
            const auto started = std::move(started_);
            started_ = nullptr;
            started();
        }
        return requests_.requestFor(row);
    }
    void setProgress(int position) override { requests_.setProgress(position); }

private:
    signlink::RowRequests& requests_;
    std::function<void()> started_;
};

// Runs a brightness or effect command and records it.
QString recordedCommand(Journal* journal, signlink::SignLink& link, const QString& event,
                        const QByteArray& frame, const QString& refused,
                        const std::function<QString()>& command) {
    if (journal == nullptr)
        return command();
    QString answer;
    try {
        answer = command();
    } catch (const std::exception& e) {
        journal->commandFailed(event, portOf(link), frame, errorText(e));
        throw;
    }
    journal->command(event, portOf(link), frame, answer != refused, answer);
    return answer;
}

} // namespace

void recordRead(Journal* journal, signlink::SignLink& link,
                const signlink::SignContents& read) {
    if (journal != nullptr)
        journal->observe(portOf(link), read);
}

WriteResults resultsOf(const signlink::WriteOutcome& outcome) {
    WriteResults results;
    for (const signlink::PanelOutcome& panel : outcome.panels) {
        PanelResult& result = results.at(panelIndex(panel.row, panel.secondHalf));
        result.sent = panel.planned;
        result.after = panel.after;
        result.verdict = signlink::verdictWord(panel.verdict);
    }
    return results;
}

signlink::PlannedWrite writeAfterReading(Journal* journal, signlink::SignLink& link,
                                         signlink::RowRequests& requests,
                                         const signlink::SignContents* latest,
                                         const std::function<signlink::SignContents()>& readFirst,
                                         signlink::UnreadPanels unread,
                                         signlink::PlannedFrameSending sending) {
    if (journal == nullptr)
        return signlink::writeAfterReading(link, requests, latest, readFirst, unread, sending);
    const QString port = portOf(link);
    journal->openWrite(port);
    // What the write is planned from: the latest read-back, or the read it runs first.
    const signlink::SignContents* reported = latest;
    signlink::SignContents readBefore;
    const auto observedRead = [&] {
        readBefore = readFirst();
        reported = &readBefore;
        journal->observe(port, readBefore);
        return readBefore;
    };
    StartRecording recording(requests, [&] { journal->writeStarted(port, *reported); });
    try {
        return signlink::writeAfterReading(link, recording, latest, observedRead, unread, sending);
    } catch (const std::exception& e) {
        journal->closeWrite(errorText(e));
        throw;
    }
}

void recordOutcome(Journal* journal, const signlink::WriteOutcome& outcome) {
    if (journal != nullptr)
        journal->closeWrite(resultsOf(outcome));
}

void recordFailure(Journal* journal, const QString& error) {
    if (journal != nullptr)
        journal->closeWrite(error);
}

signlink::WriteOutcome recordedWrite(
    Journal* journal, signlink::SignLink& link, signlink::RowRequests& requests,
    const signlink::SignContents* latest,
    const std::function<signlink::SignContents()>& readFirst, signlink::UnreadPanels unread,
    signlink::PlannedFrameSending sending,
    const std::function<signlink::WriteOutcome(const signlink::PlannedWrite&)>& check) {
    const signlink::PlannedWrite write =
        writeAfterReading(journal, link, requests, latest, readFirst, unread, sending);
    try {
        const signlink::WriteOutcome outcome = check(write);
        recordOutcome(journal, outcome);
        return outcome;
    } catch (const std::exception& e) {
        recordFailure(journal, errorText(e));
        throw;
    }
}

QByteArray brightnessFrame(std::optional<int> level) {
    return level ? QByteArray("LM") + char('0' + *level) : QByteArray("LA");
}

QByteArray effectFrame(std::uint8_t effect) {
    return QByteArray("q") + static_cast<char>(effect);
}

QString setAutomaticBrightness(Journal* journal, signlink::SignLink& link) {
    return recordedCommand(journal, link, kBrightness, brightnessFrame(std::nullopt),
                           signlink::kBrightnessNotSet,
                           [&] { return signlink::setAutomaticBrightness(link); });
}

QString setManualBrightness(Journal* journal, signlink::SignLink& link, int level) {
    return recordedCommand(journal, link, kBrightness, brightnessFrame(level),
                           signlink::kBrightnessNotSet,
                           [&] { return signlink::setManualBrightness(link, level); });
}

QString setEffect(Journal* journal, signlink::SignLink& link, std::uint8_t effect) {
    return recordedCommand(journal, link, kEffect, effectFrame(effect), signlink::kEffectsNotOn,
                           [&] { return signlink::setEffect(link, effect); });
}

} // namespace journal
