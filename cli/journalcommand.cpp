// zemta-sign journal: the price journal as a table, as stored, as a CSV file for
// Excel, the sign at a moment, and the check of its hash chain.
#include "journalcommand.h"

#include "brightness.h"
#include "commands.h"
#include "journalcsv.h"
#include "journalfile.h"
#include "journalops.h"

#include <QDir>
#include <QSaveFile>

#include <algorithm>
#include <vector>

namespace cli {

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

[[noreturn]] void usage(const QString& message) {
    throw UsageError{Command::Journal, message};
}

QString quoted(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// "2026-12-09", "2026-12-09 08:00", "2026-12-09 08:00:30" (or with "T"), local time.
// A date alone is its midnight; with `endOfDay`, the midnight after it.
QDateTime parseMoment(const QString& option, const QString& text, bool endOfDay) {
    QString t = text.trimmed();
    t.replace(QLatin1Char('T'), QLatin1Char(' '));
    if (const QDate date = QDate::fromString(t, QStringLiteral("yyyy-MM-dd")); date.isValid())
        return QDateTime(endOfDay ? date.addDays(1) : date, QTime(0, 0));
    for (const QString& format : {QStringLiteral("yyyy-MM-dd HH:mm"), QStringLiteral("yyyy-MM-dd HH:mm:ss")})
        if (const QDateTime moment = QDateTime::fromString(t, format); moment.isValid())
            return moment;
    usage(option + QStringLiteral(" takes a date (2026-12-09) or a date and time "
                                  "(\"2026-12-09 08:00\"), not ") +
          quoted(text));
}

QString shownTime(const QDateTime& time) {
    return time.toLocalTime().toString(kTimeFormat);
}

QString field(const journal::Record& record, const char* name) {
    return record.text(name);
}

// Columns padded to their widest cell, trailing blanks cut.
QString columns(const std::vector<QStringList>& lines) {
    std::vector<qsizetype> widths;
    for (const QStringList& cells : lines)
        for (qsizetype c = 0; c < cells.size(); ++c) {
            if (static_cast<qsizetype>(widths.size()) <= c)
                widths.push_back(0);
            widths[c] = std::max(widths[c], cells[c].size());
        }
    QStringList text;
    for (const QStringList& cells : lines) {
        QString line;
        for (qsizetype c = 0; c < cells.size(); ++c)
            line += c + 1 < cells.size() ? cells[c].leftJustified(widths[c] + 2) : cells[c];
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        text << line;
    }
    return text.join(QLatin1Char('\n'));
}

// The records the query asks for, in file order.
std::vector<const journal::Record*> selected(const journal::JournalContents& contents,
                                             const Invocation::JournalQuery& query) {
    std::vector<const journal::Record*> records;
    for (const journal::Record& record : contents.records)
        if ((!query.since.isValid() || record.time >= query.since) &&
            (!query.until.isValid() || record.time < query.until))
            records.push_back(&record);
    return records;
}

int writeCsv(const QString& path, const std::vector<const journal::Record*>& records,
             const journal::Describer& describe, Console& console) {
    const QByteArray out = journal::csvBytes(records, describe);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit()) {
        console.err(QStringLiteral("zemta-sign journal: %1: %2")
                        .arg(QDir::toNativeSeparators(path), file.errorString()));
        return kNotConfirmed;
    }
    return kDone;
}

QString panelAtText(const journal::PanelAt& panel) {
    if (!panel.state)
        return QStringLiteral("нет записи");
    return journal::priceOf(*panel.state) + QStringLiteral(" (запись ") + shownTime(panel.since) +
           QLatin1Char(')');
}

QString atTable(const journal::JournalContents& contents, const QDateTime& moment) {
    const std::array<journal::PanelAt, 20> panels = journal::panelsAt(contents, moment);
    std::vector<QStringList> lines{
        {QStringLiteral("Ряд"), QStringLiteral("Первая половина"), QStringLiteral("Вторая половина")}};
    for (int row = 10; row >= 1; --row)
        lines.push_back({QString::number(row).rightJustified(3),
                         panelAtText(panels.at(journal::panelIndex(row, false))),
                         panelAtText(panels.at(journal::panelIndex(row, true)))});
    return QStringLiteral("На стеле в ") + moment.toString(kTimeFormat) + QStringLiteral(":\n") +
           columns(lines);
}

QString tornNote(const std::vector<int>& torn) {
    QStringList numbers;
    for (const int line : torn)
        numbers << QString::number(line);
    return QStringLiteral("пропущено оборванных строк: %1 (строки %2)")
        .arg(torn.size())
        .arg(numbers.join(QStringLiteral(", ")));
}

int checkCommand(const QString& path, Console& console) {
    QFile file(path);
    if (file.exists() && !file.open(QIODevice::ReadOnly)) {
        console.err(QStringLiteral("zemta-sign journal: %1: %2")
                        .arg(QDir::toNativeSeparators(path), file.errorString()));
        return kNotConfirmed;
    }
    const journal::ChainCheck check = journal::checkChain(file.isOpen() ? file.readAll() : QByteArray());
    if (check.firstBroken != 0) {
        console.err(QStringLiteral("цепочка нарушена в строке %1: строка перед ней изменена или "
                                   "удалена, или изменена она сама")
                        .arg(check.firstBroken));
        return kNotConfirmed;
    }
    QString text = QStringLiteral("цепочка цела: строк %1").arg(check.lines);
    if (check.torn > 0)
        text += QStringLiteral(", из них оборванных %1").arg(check.torn);
    console.out(text);
    return kDone;
}

} // namespace

void takeJournalOption(const QString& name, const std::function<QString()>& value,
                       bool inlineValue, Invocation& result) {
    Invocation::JournalQuery& query = result.journal;
    const auto flag = [&](bool& target) {
        if (inlineValue)
            usage(name + QStringLiteral(" takes no value"));
        target = true;
    };
    const auto moment = [&](QDateTime& target, bool endOfDay) {
        if (target.isValid())
            usage(name + QStringLiteral(" given twice"));
        target = parseMoment(name, value(), endOfDay);
    };
    if (name == QLatin1String("--json"))
        flag(result.json);
    else if (name == QLatin1String("--check"))
        flag(query.check);
    else if (name == QLatin1String("--path"))
        flag(query.path);
    else if (name == QLatin1String("--since"))
        moment(query.since, false);
    else if (name == QLatin1String("--until"))
        moment(query.until, true);
    else if (name == QLatin1String("--at"))
        moment(query.at, false);
    else if (name == QLatin1String("--csv")) {
        if (!query.csv.isEmpty())
            usage(QStringLiteral("--csv given twice"));
        query.csv = value();
        if (query.csv.isEmpty())
            usage(QStringLiteral("--csv needs a file"));
    } else
        usage(QStringLiteral("unknown option ") + quoted(name));
    const int modes = int(result.json) + int(query.check) + int(query.path) +
                      int(query.at.isValid()) + int(!query.csv.isEmpty());
    if (modes > 1)
        usage(QStringLiteral("--json, --csv, --at, --check and --path go one at a time"));
}

std::unique_ptr<journal::Journal> openJournal(const Invocation& call, Console& console) {
    auto journal = std::make_unique<journal::Journal>(
        call.journalFile.isEmpty() ? journal::defaultPath() : call.journalFile,
        journal::currentContext(QStringLiteral("zemta-sign"), QStringLiteral(ZEMTA_SIGN_VERSION)));
    journal->setFailureHandler([&console](const QString& path, const QString& error) {
        console.err(QStringLiteral("zemta-sign: журнал цен %1 не записан: %2")
                        .arg(QDir::toNativeSeparators(path), error));
    });
    return journal;
}

void recordUnopened(journal::Journal* journal, const Invocation& call, const QString& port,
                    const QString& error) {
    if (journal == nullptr || !call.command)
        return;
    switch (*call.command) {
    case Command::Write:
        if (!call.dryRun)
            journal->writeFailed(port, {}, error);
        break;
    case Command::Brightness:
        journal->commandFailed(journal::kBrightness, port, journal::brightnessFrame(call.level), error);
        break;
    case Command::Effect:
        journal->commandFailed(
            journal::kEffect, port,
            journal::effectFrame(signlink::effectByte(call.interval, call.effects[0], call.effects[1],
                                                      call.effects[2], call.effects[3])),
            error);
        break;
    default:
        break;
    }
}

int journalCommand(const Invocation& call, Console& console) {
    const Invocation::JournalQuery& query = call.journal;
    const QString path = call.journalFile.isEmpty() ? journal::defaultPath() : call.journalFile;
    if (query.path) {
        console.out(QDir::toNativeSeparators(path));
        console.err(call.journalFile.isEmpty() ? journal::defaultPathReason()
                                               : QStringLiteral("named by --journal"));
        return kDone;
    }
    if (query.check)
        return checkCommand(path, console);

    journal::JournalContents contents;
    QString error;
    if (!journal::readJournal(path, contents, error)) {
        console.err(QStringLiteral("zemta-sign journal: %1: %2")
                        .arg(QDir::toNativeSeparators(path), error));
        return kNotConfirmed;
    }
    if (!contents.tornLines.empty())
        console.err(tornNote(contents.tornLines));
    if (query.at.isValid()) {
        console.out(atTable(contents, query.at));
        return kDone;
    }
    const std::vector<const journal::Record*> records = selected(contents, query);
    const journal::Describer describe(contents);
    if (!query.csv.isEmpty())
        return writeCsv(query.csv, records, describe, console);
    if (call.json) {
        QStringList lines;
        for (const journal::Record* record : records)
            lines << QString::fromLatin1(journal::rawLine(contents, *record));
        if (!lines.isEmpty())
            console.out(lines.join(QLatin1Char('\n')));
        return kDone;
    }
    if (records.empty()) {
        console.err(QStringLiteral("записей нет: ") + QDir::toNativeSeparators(path));
        return kDone;
    }
    std::vector<QStringList> lines{{QStringLiteral("Время"), QStringLiteral("Программа"),
                                    QStringLiteral("Пользователь"), QStringLiteral("Порт"),
                                    QStringLiteral("Что было")}};
    for (const journal::Record* record : records)
        lines.push_back({shownTime(record->time), field(*record, "program"),
                         field(*record, "user") + QLatin1Char('@') + field(*record, "host"),
                         field(*record, "port"),
                         describe(*record)});
    console.out(columns(lines));
    return kDone;
}

} // namespace cli
