// The window's records in the price journal: what "Прочитать", "Записать" and "Ручная"
// leave there, and the one box for a journal that cannot be written.
#include "windowtesting.h"

#include "filebytes.h"
#include "journal.h"
#include "ptyfixture.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

std::vector<QString> eventsOf(const journal::JournalContents& contents) {
    std::vector<QString> events;
    for (const journal::Record& record : contents.records)
        events.push_back(record.event);
    return events;
}

TEST(WindowJournal, RecordsReadsThatFindSomethingNewWritesAndBrightness) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    ScopedEnv journalAt("ZEMTA_JOURNAL", path);
    PtyPorts ports;
    signsim::SimOptions options;
    options.panels['2'] = options.panels['B'] = {"459", '3', 2};
    auto& sign = ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form);

    click(form, "Button7"); // something new: everything, the first time
    click(form, "Button7"); // nothing new
    retype(form, kRows[2].entry, "469");
    click(form, "Button8");
    retype(form, "MaskEdit7", "7");
    click(form, "Button6");
    ASSERT_EQ(sign.panel('B').price, "469");

    const journal::JournalContents contents = journal::parseJournal(fileBytes(path));
    EXPECT_EQ(eventsOf(contents),
              (std::vector<QString>{journal::kObserved, journal::kWriteStarted, journal::kWrite,
                                    journal::kBrightness}));
    for (const journal::Record& record : contents.records) {
        EXPECT_EQ(record.text("program"), "zemta-stela");
        EXPECT_EQ(record.text("port"), "COM3");
        EXPECT_FALSE(record.text("user").isEmpty());
    }
    const journal::Record& result = contents.records.at(2);
    EXPECT_EQ(journal::Describer(contents)(result), "записано: ряд 3: 469");
    // The window sends every panel: the others go back as they were.
    const auto& verdict = result.cells("verdict")->at(journal::panelIndex(1, false));
    EXPECT_EQ(verdict.value_or(""), "written");
    EXPECT_EQ(journal::Describer(contents)(contents.records.at(3)), "яркость ручная: 7 — подтверждено");
    EXPECT_EQ(journal::checkChain(contents.data).firstBroken, 0);
    EXPECT_TRUE(messages.errors().empty());
}

TEST(WindowJournal, AJournalThatCannotBeWrittenIsToldOnceAndStopsNothing) {
    QTemporaryDir dir;
    const QString path = dir.path(); // a folder: no file can be appended to
    ScopedEnv journalAt("ZEMTA_JOURNAL", path);
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form);
    messages.shown.clear();

    retype(form, kRows[2].entry, "469");
    click(form, "Button8");
    click(form, "Button5");
    retype(form, kRows[2].entry, "479");
    click(form, "Button8");

    EXPECT_EQ(sign.panel('2').price, "479");
    const std::vector<QString> errors = messages.errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors.front().contains(path)) << errors.front().toStdString();
    EXPECT_EQ(messages.results(),
              std::vector<QString>{QStringLiteral("Установлена автоматическая яркость.")});
}

} // namespace
