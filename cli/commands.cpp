#include "commands.h"

#include "brightness.h"
#include "discovery.h"
#include "journalcommand.h"
#include "journalops.h"
#include "jsonout.h"
#include "listserialports.h"
#include "portholder.h"
#include "portmap.h"
#include "pricewrite.h"
#include "readback.h"
#include "rowchange.h"
#include "tcomport.h"
#include "writecheck.h"
#include "writeresult.h"

#include <QCoreApplication>

#include <algorithm>
#include <vector>

namespace cli {

namespace {

using signlink::PanelReply;
using signlink::SignContents;

const QString kBadPanel = QStringLiteral("XX.XX");
const QString kNotUsedPrice = QStringLiteral("---");
// The window's program, as a port's holder is named.
const QString kWindowProgram = QStringLiteral("zemta-stela");

// The port component and the link as the window holds them, with the diagnostic log
// and the message pump wired to the console. Destroying it closes the port.
class Session {
public:
    explicit Session(Console& console) : console_(console), link_(port_) {
        signlink::configureSignPort(port_);
        // Both run often during every operation (the log at each poll), so a stop signal
        // ends the operation within one read delay.
        link_.setLogSink([this](const QString& line) {
            throwIfInterrupted();
            console_.log(line);
        });
        // The port's event watcher hands its events to this thread; let them through.
        link_.setMessagePump([] {
            throwIfInterrupted();
            QCoreApplication::processEvents();
        });
    }

    signlink::SignLink& link() { return link_; }
    TComPort& port() { return port_; }
    // The price journal of this run; none: nothing is recorded.
    journal::Journal* journal = nullptr;

    // Opens the named port, or searches for the sign as the window does at start-up.
    // False, with the window's message on standard error, when no port answers.
    bool connect(const QString& name) {
        if (!name.isEmpty()) {
            port_.SetPort(name);
            port_.Open();
            return true;
        }
        const signlink::PortSearch search = signlink::searchPorts(link_);
        const QString& found = search.found;
        if (found.isEmpty()) {
            console_.err(signlink::kNotFoundMessage);
            // Ports that exist but refused us for lack of rights: say how to get them.
            if (const QString hint = signlink::serialAccessHint(search); !hint.isEmpty())
                console_.err(hint);
            return false;
        }
        port_.SetPort(found);
        port_.Open();
        console_.log(signlink::kFoundMessage + found);
        return true;
    }

private:
    Console& console_;
    TComPort port_;
    signlink::SignLink link_;
};

// Shows a read-back's progress; the results are taken from what it returns.
class ReadProgress : public signlink::ReadBackView {
public:
    ReadProgress(Console& console, QString phase) : console_(console), phase_(std::move(phase)) {}
    void showPanel(const signlink::ReadBackStep&, const PanelReply&) override {}
    // Position n (1..20) while panel n is read, 0 at the end.
    void setProgress(int position) override { console_.progress(phase_, position); }

private:
    Console& console_;
    QString phase_;
};

SignContents readSign(Session& session, Console& console, const QString& phase) {
    ReadProgress progress(console, phase);
    SignContents contents = signlink::readBackSign(session.link(), progress);
    console.endProgress();
    return contents;
}

// --- read ------------------------------------------------------------------------------

QString priceText(const PanelReply& reply) {
    return reply.good() ? signlink::signText(reply.price()) : kBadPanel;
}

QString gradeText(const PanelReply& reply) {
    const int index = reply.gradeIndex();
    return index < 0 ? QStringLiteral("-") : signlink::kGradeNames.at(index);
}

QString flagsText(const PanelReply& reply) {
    QStringList flags;
    if (reply.snowflake())
        flags << QStringLiteral("Снежинка");
    if (reply.euro())
        flags << QStringLiteral("Евро");
    return flags.isEmpty() ? QStringLiteral("-") : flags.join(QStringLiteral(", "));
}

// A row's grade or flags: the first half's, then the second half's after " / " where the
// two differ; a panel without a good reply has none to show.
QString rowAttribute(const PanelReply& first, const PanelReply& second,
                     QString (*text)(const PanelReply&)) {
    QStringList parts;
    if (first.good())
        parts << text(first);
    if (second.good() && (!first.good() || text(second) != text(first)))
        parts << text(second);
    return parts.join(QStringLiteral(" / "));
}

QString table(const SignContents& sign) {
    std::vector<QStringList> lines{{QStringLiteral("Ряд"), QStringLiteral("Первая половина"),
                                    QStringLiteral("Вторая половина"), QStringLiteral("Сорт"),
                                    QStringLiteral("Флаги")}};
    for (int row = 10; row >= 1; --row) {
        const PanelReply& first = sign.panel(row, false);
        const PanelReply& second = sign.panel(row, true);
        lines.push_back({QString::number(row).rightJustified(3), priceText(first),
                         priceText(second), rowAttribute(first, second, gradeText),
                         rowAttribute(first, second, flagsText)});
    }
    std::vector<qsizetype> widths(lines.front().size(), 0);
    for (const QStringList& cells : lines)
        for (qsizetype c = 0; c < cells.size(); ++c)
            widths[c] = std::max(widths[c], cells[c].size());
    QStringList text;
    for (const QStringList& cells : lines) {
        QString line;
        for (qsizetype c = 0; c < cells.size(); ++c)
            line += cells[c].leftJustified(widths[c] + 2);
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        text << line;
    }
    return text.join(QLatin1Char('\n'));
}

int readCommand(const Invocation& call, Session& session, Console& console) {
    const SignContents sign = readSign(session, console, QStringLiteral("Чтение"));
    journal::recordRead(session.journal, session.link(), sign);
    console.out(call.json ? asciiJson(readJson(session.port().Port(), sign)) : table(sign));
    const int unanswered = 20 - sign.goodPanels();
    if (unanswered == 0)
        return kDone;
    console.err(QStringLiteral("Панелей без ответа: %1 из 20").arg(unanswered));
    return kNotConfirmed;
}

// --- write -----------------------------------------------------------------------------

// What a row held before the write: one price, or the two halves' where they differed.
QString heldPrices(const SignContents& sign, int row) {
    const QString first = priceText(sign.panel(row, false));
    const QString second = priceText(sign.panel(row, true));
    return first == second ? first : first + QLatin1Char('/') + second;
}

// "ряд 3, первая половина: 459 -> 469" for each panel a write would send a frame.
QStringList planLines(const signlink::WriteOutcome& outcome) {
    QStringList lines;
    for (int row = 10; row >= 1; --row)
        for (const bool second : {false, true}) {
            const signlink::PanelOutcome& panel = outcome.panel(row, second);
            if (panel.verdict != signlink::PanelVerdict::WouldWrite)
                continue;
            const QString was = priceText(PanelReply{panel.before.value_or(QByteArray())});
            const QString next = signlink::signText(panel.planned->mid(2, 3));
            QString line = QStringLiteral("ряд %1, %2: %3 -> %4")
                               .arg(QString::number(row),
                                    second ? QStringLiteral("вторая половина")
                                           : QStringLiteral("первая половина"),
                                    was, next);
            if (was == next)
                line += QStringLiteral(" (сорт или флаги)");
            lines << line;
        }
    return lines;
}

const QString kNoChange = QStringLiteral("без изменений");

// The outcome on standard output: the JSON object, or `text` (kNoChange when empty).
void printOutcome(const Invocation& call, Console& console, const signlink::WriteOutcome& outcome,
                  const QStringList& text) {
    if (call.json)
        console.out(asciiJson(writeJson(outcome, std::nullopt)));
    else if (!outcome.changed)
        console.out(kNoChange);
    else if (!text.isEmpty())
        console.out(text.join(QLatin1Char('\n')));
}

// A dry run: the plan of a write, sent nowhere.
int dryRunCommand(const Invocation& call, Session& session, Console& console) {
    signlink::ChangedRows rows(call.changes);
    const SignContents reported = readSign(session, console, QStringLiteral("Чтение"));
    journal::recordRead(session.journal, session.link(), reported);
    // The write sends nothing unless every panel answered: nor would this plan.
    const bool refused = reported.goodPanels() < 20;
    const signlink::WriteOutcome outcome = signlink::dryRunOutcome(
        session.port().Port(), reported, signlink::planFrames(reported, rows), refused);
    if (refused) {
        if (call.json)
            console.out(asciiJson(writeJson(outcome, std::nullopt)));
        console.err(signlink::describeUnreadPanels(reported));
        return kNotConfirmed;
    }
    printOutcome(call, console, outcome, planLines(outcome));
    return kDone;
}

int writeCommand(const Invocation& call, Session& session, Console& console) {
    if (call.dryRun)
        return dryRunCommand(call, session, console);
    const signlink::RowChanges& changes = call.changes;
    signlink::ChangedRows rows(
        changes, [&](int position) { console.progress(QStringLiteral("Запись"), position); });
    // A script wants all or nothing: a panel that cannot be read stops the whole write.
    // Only the panels that do not show their planned frame yet are sent one.
    const signlink::PlannedWrite write = journal::writeAfterReading(
        session.journal, session.link(), rows, nullptr,
        [&] { return readSign(session, console, QStringLiteral("Чтение")); },
        signlink::UnreadPanels::Refuse, signlink::PlannedFrameSending::OnlyDiffering);
    const SignContents& before = write.reported;
    const QString port = session.port().Port();
    const signlink::PlannedFrames plan = signlink::planFrames(before, rows);
    if (!write.sent) {
        journal::recordOutcome(session.journal, signlink::writeOutcome(port, write, plan, nullptr, {}));
        if (call.json)
            console.out(asciiJson(
                writeJson(signlink::writeOutcome(port, write, plan, nullptr, {}), std::nullopt)));
        console.err(signlink::describeUnreadPanels(before));
        return kNotConfirmed;
    }
    console.endProgress();
    const bool sentAny =
        std::any_of(write.sent->begin(), write.sent->end(), [](const signlink::SentFrame& f) {
            return !f.frame.isEmpty() && !f.unchanged;
        });
    if (!sentAny) {
        journal::recordOutcome(session.journal, signlink::writeOutcome(port, write, plan, nullptr, {}));
        printOutcome(call, console, signlink::writeOutcome(port, write, plan, nullptr, {}), {});
        return kDone;
    }
    // Every panel is read back, not only those written: a script's only evidence.
    const SignContents after = readSign(session, console, QStringLiteral("Проверка"));
    const std::vector<signlink::PanelMismatch> notTaken =
        signlink::checkWrittenSign(*write.sent, before, after);
    const signlink::WriteOutcome outcome =
        signlink::writeOutcome(port, write, plan, &after, notTaken);
    journal::recordOutcome(session.journal, outcome);

    QStringList lines;
    for (int row = 10; row >= 1; --row) {
        const auto price = changes.prices.find(row);
        if (price == changes.prices.end() && changes.notUsed.count(row) == 0)
            continue;
        const auto verdict = [&](bool second) { return outcome.panel(row, second).verdict; };
        using signlink::PanelVerdict;
        const bool written =
            verdict(false) == PanelVerdict::Written || verdict(true) == PanelVerdict::Written;
        const bool taken = std::none_of(notTaken.begin(), notTaken.end(),
                                        [row](const auto& panel) { return panel.row == row; });
        if (written && taken)
            lines << QStringLiteral("ряд %1: %2 -> %3")
                         .arg(QString::number(row), heldPrices(before, row),
                              price != changes.prices.end() ? QString::fromLatin1(price->second)
                                                            : kNotUsedPrice);
    }
    printOutcome(call, console, outcome, lines);
    if (notTaken.empty())
        return kDone;
    console.err(signlink::describeMismatches(notTaken));
    return kNotConfirmed;
}

// --- verify ------------------------------------------------------------------------------

inline const QString kNotAsExpected = QStringLiteral("Стела показывает не те цены:");

int verifyCommand(const Invocation& call, Session& session, Console& console) {
    const SignContents sign = readSign(session, console, QStringLiteral("Чтение"));
    journal::recordRead(session.journal, session.link(), sign);
    QStringList problems, confirmed;
    for (int row = 10; row >= 1; --row) {
        if (call.changes.prices.count(row) == 0 && call.changes.notUsed.count(row) == 0)
            continue;
        const QString expected = expectedPrice(call.changes, row);
        bool rowShows = true;
        for (const bool second : {false, true}) {
            const PanelReply& reply = sign.panel(row, second);
            const QString where =
                QStringLiteral("ряд %1, %2: ")
                    .arg(QString::number(row), second ? QStringLiteral("вторая половина")
                                                      : QStringLiteral("первая половина"));
            if (!reply.good()) {
                problems << where + QStringLiteral("нет ответа");
                rowShows = false;
            } else if (signlink::signText(reply.price()) != expected) {
                problems << where + QStringLiteral("ожидается ") + expected +
                                QStringLiteral(", на стеле ") + signlink::signText(reply.price());
                rowShows = false;
            }
        }
        if (rowShows)
            confirmed << QStringLiteral("ряд %1: %2").arg(QString::number(row), expected);
    }
    if (call.json)
        console.out(asciiJson(verifyJson(session.port().Port(), sign, call.changes, problems)));
    else if (!confirmed.isEmpty())
        console.out(confirmed.join(QLatin1Char('\n')));
    if (problems.isEmpty())
        return kDone;
    console.err(kNotAsExpected + QLatin1Char('\n') + problems.join(QLatin1Char('\n')));
    return kNotConfirmed;
}

// --- brightness, effect, find, ports ------------------------------------------------------

// The sign's answer in the window's words: on standard output when confirmed.
int tell(Console& console, const QString& answer, bool confirmed) {
    if (confirmed) {
        console.out(answer);
        return kDone;
    }
    console.err(answer);
    return kNotConfirmed;
}

int brightnessCommand(const Invocation& call, Session& session, Console& console) {
    const QString answer =
        call.level ? journal::setManualBrightness(session.journal, session.link(), *call.level)
                   : journal::setAutomaticBrightness(session.journal, session.link());
    return tell(console, answer, answer != signlink::kBrightnessNotSet);
}

int effectCommand(const Invocation& call, Session& session, Console& console) {
    const std::uint8_t effect = signlink::effectByte(
        call.interval, call.effects[0], call.effects[1], call.effects[2], call.effects[3]);
    const QString answer = journal::setEffect(session.journal, session.link(), effect);
    return tell(console, answer, answer != signlink::kEffectsNotOn);
}

int portsCommand(Console& console) {
    QStringList ports;
    try {
        ListSerialPorts(ports);
    } catch (const EComPort& e) {
        if (!serialports::noSerialPorts(e)) {
            console.err(QStringLiteral("zemta-sign: ") + QString::fromUtf8(e.what()));
            return kPortUnusable;
        }
    }
    // No port at all: the system's list is missing or empty.
    if (ports.isEmpty()) {
        console.err(QStringLiteral("zemta-sign: no serial ports"));
        return kNotConfirmed;
    }
    for (const QString& name : ports)
        console.out(name + QLatin1Char('\t') + QString::fromStdString(portmap::devicePath(name)));
    return kDone;
}

// A command that talks to the sign, on an open port.
int signCommand(const Invocation& call, Console& console) {
    Session session(console);
    const std::unique_ptr<journal::Journal> journal = openJournal(call, console);
    session.journal = journal.get();
    bool opened = false;
    try {
        if (!session.connect(call.port)) {
            recordUnopened(session.journal, call, {}, signlink::kNotFoundMessage);
            return kNotConfirmed;
        }
        opened = true;
        switch (*call.command) {
        case Command::Find:
            console.out(session.port().Port());
            return kDone;
        case Command::Read:
            return readCommand(call, session, console);
        case Command::Write:
            return writeCommand(call, session, console);
        case Command::Verify:
            return verifyCommand(call, session, console);
        case Command::Brightness:
            return brightnessCommand(call, session, console);
        case Command::Effect:
            return effectCommand(call, session, console);
        case Command::Ports:
        case Command::Journal:
            break;
        }
        return kDone;
    } catch (const EComPort& e) {
        console.endProgress();
        const QString port = session.port().Port();
        // A port our own window holds is named, with what to do about it.
        std::optional<portholder::Holder> holder;
        if (e.ErrorCode() == CError_OpenFailed && !call.port.isEmpty())
            holder = portholder::holderOf(call.port);
        if (holder && holder->program != kWindowProgram)
            holder.reset();
        const QString message =
            holder ? port + QStringLiteral(": порт занят окном zemta-stela (pid %1): закройте "
                                           "окно или запишите цены в нём")
                                .arg(holder->pid)
                   : QStringLiteral("zemta-sign: ") + port + QStringLiteral(": ") +
                         QString::fromUtf8(e.what());
        if (opened)
            journal::recordFailure(session.journal, QString::fromUtf8(e.what()));
        else
            recordUnopened(session.journal, call, port, QString::fromUtf8(e.what()));
        if (call.json)
            console.out(
                asciiJson(portFailureJson(port, message, holder, *call.command == Command::Write,
                                          *call.command == Command::Verify)));
        console.err(message);
        return kPortUnusable;
    }
}

} // namespace

int run(const QStringList& args, Console& console) {
    Invocation call;
    try {
        call = parseArguments(args);
    } catch (const UsageError& error) {
        console.err(error.line());
        return kUsageError;
    }
    if (call.help) {
        console.out((call.command ? commandHelp(*call.command) : toolHelp()).chopped(1));
        return kDone;
    }
    if (call.version) {
        console.out(QStringLiteral("zemta-sign " ZEMTA_SIGN_VERSION));
        return kDone;
    }
    console.setVerbose(call.verbose);
    if (*call.command == Command::Ports)
        return portsCommand(console);
    if (*call.command == Command::Journal)
        return journalCommand(call, console);

    installSignalHandlers();
    try {
        return signCommand(call, console);
    } catch (const Interrupted& interrupted) {
        // The session has closed the port by now.
        console.endProgress();
        console.err(QStringLiteral("zemta-sign: interrupted"));
        return 128 + interrupted.signal;
    } catch (const std::exception& e) {
        console.err(QStringLiteral("zemta-sign: ") + QString::fromUtf8(e.what()));
        return kNotConfirmed;
    }
}

} // namespace cli
