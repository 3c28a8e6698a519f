// The journal file as the operating system holds it (flock or LockFileEx, one write,
// flushed), without a sign: built for Windows too, where the tests run under Wine.
#include "journal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace journal;

namespace {

struct FileCase {
    const char* name;
    QByteArray before;  // what the file holds before (nothing: no file)
    bool folder;        // the journal's path is a folder: nothing can be appended
    int writers;        // each a thread with a journal and a file handle of its own
    int each;           // records per writer
    int records;        // records read back
    std::vector<int> torn;
    int toldFailures;   // failures told to the handlers, all writers together
};

void PrintTo(const FileCase& test, std::ostream* os) {
    *os << test.name;
}

const FileCase kFileCases[] = {
    {"four writers at once keep their lines whole and the chain unbroken", {}, false, 4, 50, 200, {}, 0},
    {"a torn last line is closed first and counted", "{\"time\":\"2026-12-09T08:0", false, 1, 3, 3, {1}, 0},
    {"a folder in the journal's place is told once per writer", {}, true, 2, 3, 0, {}, 2},
};

class JournalFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(JournalFile, AppendsAsExpected) {
    const FileCase& test = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    if (test.folder) {
        ASSERT_TRUE(QDir().mkpath(path));
    }
    if (!test.before.isEmpty()) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(test.before);
    }
    std::vector<int> told(test.writers, 0);
    std::vector<std::thread> writers;
    for (int w = 0; w < test.writers; ++w)
        writers.emplace_back([&, w] {
            Journal journal(path, Context{"test", "1", "host", QStringLiteral("писатель %1").arg(w)});
            journal.setFailureHandler([&, w](const QString&, const QString&) { ++told[w]; });
            for (int i = 0; i < test.each; ++i)
                journal.command(kEffect, QStringLiteral("COM%1").arg(w + 1), "q\x05", true,
                                QStringLiteral("Эффекты включены"));
        });
    for (std::thread& writer : writers)
        writer.join();

    int toldFailures = 0;
    for (const int n : told)
        toldFailures += n;
    EXPECT_EQ(toldFailures, test.toldFailures);
    if (test.folder)
        return;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    const JournalContents contents = parseJournal(data);
    EXPECT_EQ(int(contents.records.size()), test.records);
    EXPECT_EQ(contents.tornLines, test.torn);
    EXPECT_EQ(checkChain(data).firstBroken, 0);
    for (const Record& record : contents.records)
        EXPECT_EQ(record.text("answer"), QStringLiteral("Эффекты включены"));
}

INSTANTIATE_TEST_SUITE_P(Journal, JournalFile, ::testing::ValuesIn(kFileCases),
                         [](const ::testing::TestParamInfo<FileCase>& info) {
                             return "case" + std::to_string(info.index);
                         });

} // namespace
