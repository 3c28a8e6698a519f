// The price journal, case by case: what a write, a read, a crash, two writers at once, a
// torn line, an edited line and an unwritable file leave in it, and what the journal
// answers about a moment. Writes run against a simulated sign on a pseudo-terminal.
#include "filebytes.h"
#include "journal.h"
#include "journalops.h"
#include "ptyfixture.h"
#include "rowchange.h"
#include "tcustomcomport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <map>

void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

using namespace journal;

namespace {

// What a test run leaves for the table's checks.
struct Scene {
    QString path;
    std::unique_ptr<Journal> journal;
    std::vector<QString> failures; // what the failure handler was told
    std::map<QString, QDateTime> marks;
    std::unique_ptr<PtyPorts> ports;
    std::unique_ptr<TCustomComPort> port;
    std::unique_ptr<signlink::SignLink> link;
    signsim::SignSimulator* sign = nullptr;
    std::optional<signlink::WriteOutcome> outcome;

    QByteArray data() const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // A moment between two records (their times have milliseconds).
    void mark(const QString& name) {
        QThread::msleep(5);
        marks[name] = QDateTime::currentDateTime();
        QThread::msleep(5);
    }

    // A sign on COM3, open.
    void connect(signsim::SimOptions options = {}) {
        ports = std::make_unique<PtyPorts>();
        sign = &ports->addSign(3, std::move(options));
        port = std::make_unique<TCustomComPort>();
        signlink::configureSignPort(*port);
        port->SetPort("COM3");
        port->Open();
        link = std::make_unique<signlink::SignLink>(*port);
        link->setReadDelay(20);
    }
    signlink::SignContents read() {
        struct Quiet : signlink::ReadBackView {
            void showPanel(const signlink::ReadBackStep&, const signlink::PanelReply&) override {}
            void setProgress(int) override {}
        } quiet;
        return signlink::readBackSign(*link, quiet);
    }
    // The write as zemta-sign runs it: read, write what differs, read back, judge.
    void write(const signlink::RowChanges& changes, signlink::RowRequests* requests = nullptr) {
        signlink::ChangedRows rows(changes);
        outcome = recordedWrite(
            journal.get(), *link, requests ? *requests : rows, nullptr, [&] { return read(); },
            signlink::UnreadPanels::Refuse, signlink::PlannedFrameSending::OnlyDiffering,
            [&](const signlink::PlannedWrite& write) {
                const signlink::SignContents after = read();
                const auto notTaken = signlink::checkWrite(*write.sent, after);
                return signlink::writeOutcome("COM3", write, {}, &after, notTaken);
            });
    }
};

signlink::RowChanges price(int row, const char* digits) {
    signlink::RowChanges changes;
    changes.prices[row] = digits;
    return changes;
}

// A read of a sign holding `panels` (address -> content), every other panel "000".
signlink::SignContents sign(const std::map<char, signsim::PanelContent>& panels) {
    signlink::SignContents contents;
    for (int row = 1; row <= 10; ++row)
        for (const bool second : {false, true}) {
            const char address = signlink::panelAddress(row, second);
            const auto it = panels.find(address);
            const std::string reply =
                signsim::panelReply(address, it == panels.end() ? signsim::PanelContent{} : it->second);
            contents.panel(row, second) = {QByteArray::fromStdString(reply)};
        }
    return contents;
}

// The operator's requests of a write that a kill ends at row 5: nothing is caught on the
// way out, as when zemta-sign is stopped by a signal.
struct KilledAtRow5 : signlink::ChangedRows {
    struct Killed {};
    using ChangedRows::ChangedRows;
    signlink::RowRequest requestFor(int row) override {
        if (row == 5)
            throw Killed{};
        return ChangedRows::requestFor(row);
    }
};

QString verdictOf(const Record& record, int row, bool second) {
    const PanelCells* verdicts = record.cells("verdict");
    const auto& cell = verdicts ? verdicts->at(panelIndex(row, second)) : std::nullopt;
    return cell ? QString::fromStdString(*cell) : QString();
}

struct Case {
    const char* name;
    std::function<void(Scene&)> act;
    std::vector<QString> events;     // the records in the file, in order
    std::vector<int> tornLines;      // lines no record can be read from
    int firstBroken = 0;             // the chain check's first broken line
    std::vector<QString> interrupted;// started writes without a result: how many
    std::function<void(Scene&, const JournalContents&)> more;
};

const Case kCases[] = {
    {"a confirmed write: started with every panel before, then per panel sent, after, verdict",
     [](Scene& s) {
         signsim::SimOptions options;
         options.panels['2'] = options.panels['B'] = {"459", '3', 2};
         s.connect(options);
         s.write(price(3, "469"));
     },
     {kObserved, kWriteStarted, kWrite}, {}, 0, {},
     [](Scene& s, const JournalContents& c) {
         const Record& started = c.records.at(1);
         const Record& result = c.records.at(2);
         EXPECT_EQ(started.text("id"), result.text("id"));
         EXPECT_FALSE(started.text("id").isEmpty());
         EXPECT_EQ(statedBy(started).at(panelIndex(3, true)), QByteArray("459932"));
         EXPECT_EQ(statedBy(result).at(panelIndex(3, true)), QByteArray("469932"));
         EXPECT_EQ(verdictOf(result, 3, false), "written");
         EXPECT_EQ(verdictOf(result, 3, true), "written");
         EXPECT_EQ(verdictOf(result, 4, false), "unchanged");
         // The frame as sent, 0x00 flag bytes and all, in hex.
         const auto& frame = result.cells("sent")->at(panelIndex(3, true));
         ASSERT_TRUE(frame);
         EXPECT_EQ(QByteArray::fromHex(QByteArray::fromStdString(*frame)),
                   QByteArray("WB469932E") + signsim::checksumChars("WB469932E").c_str());
         EXPECT_EQ(Describer(c)(result), "записано: ряд 3: 469");
         EXPECT_EQ(s.sign->panel('B').price, "469");
     }},
    {"a write a panel did not take: not_taken, with what it shows instead",
     [](Scene& s) {
         s.connect();
         signsim::SimFaults faults;
         faults.panels = {'B'};
         faults.storedPrice = "999";
         s.sign->setFaults(faults);
         s.write(price(3, "469"));
     },
     {kObserved, kWriteStarted, kWrite}, {}, 0, {},
     [](Scene&, const JournalContents& c) {
         const Record& result = c.records.at(2);
         EXPECT_EQ(verdictOf(result, 3, false), "written");
         EXPECT_EQ(verdictOf(result, 3, true), "not_taken");
         EXPECT_EQ(priceOf(*statedBy(result).at(panelIndex(3, true))), "999");
         EXPECT_EQ(Describer(c)(result),
                   "записано: ряд 3, первая половина: 469; не подтверждено: ряд 3, вторая "
                   "половина: не приняла, на стеле 999");
     }},
    {"an interrupted write: a started record without a result",
     [](Scene& s) {
         s.connect();
         const signlink::RowChanges changes = price(7, "512");
         KilledAtRow5 killed(changes);
         EXPECT_THROW(s.write(changes, &killed), KilledAtRow5::Killed);
     },
     {kObserved, kWriteStarted}, {}, 0, {QStringLiteral("1")},
     [](Scene&, const JournalContents& c) {
         EXPECT_EQ(Describer(c)(c.records.at(1)), "запись начата и прервана: результата нет");
     }},
    {"a port failure in the middle of a write closes it with the error",
     [](Scene& s) {
         s.connect();
         signsim::SimFaults faults;
         faults.hangUpAfterCommands = 25; // the read, then a few frames
         s.sign->setFaults(faults);
         EXPECT_ANY_THROW(s.write(price(7, "512")));
     },
     {kObserved, kWriteStarted, kWrite}, {}, 0, {},
     [](Scene&, const JournalContents& c) {
         EXPECT_EQ(c.records.at(2).text("id"), c.records.at(1).text("id"));
         EXPECT_FALSE(c.records.at(2).text("error").isEmpty());
     }},
    {"an observed change, and reads with nothing new (an unread panel is no change)",
     [](Scene& s) {
         s.journal->observe("COM3", sign({{'2', {"459", '3', 2}}}));
         s.journal->observe("COM3", sign({{'2', {"459", '3', 2}}}));
         signlink::SignContents unread = sign({{'2', {"459", '3', 2}}});
         unread.panel(3, false) = {QByteArray(16, ' ')};
         s.journal->observe("COM3", unread);
         // Bits other than "Снежинка" and "Евро" show nothing on the sign.
         s.journal->observe("COM3", sign({{'2', {"459", '3', 2 | 0x40}}}));
         s.journal->observe("COM3", sign({{'2', {"459", '3', 2}}, {'I', {"512", '1', 0}}}));
     },
     {kObserved, kObserved}, {}, 0, {},
     [](Scene&, const JournalContents& c) {
         const SignStates shows = statedBy(c.records.at(1));
         for (int i = 0; i < 20; ++i)
             EXPECT_EQ(bool(shows.at(i)), i == panelIndex(10, true)) << i;
         EXPECT_EQ(Describer(c)(c.records.at(1)),
                   "на стеле замечено: ряд 10, вторая половина: 512");
     }},
    {"two writers at once, in processes of their own: no line mixed, the chain whole",
     [](Scene& s) {
         std::vector<std::unique_ptr<QProcess>> writers;
         for (int i = 0; i < 4; ++i) {
             writers.push_back(std::make_unique<QProcess>());
             writers.back()->start(QStringLiteral(JOURNAL_WRITER_EXE),
                                   {s.path, QStringLiteral("150"), QStringLiteral("P%1").arg(i)});
         }
         for (auto& writer : writers) {
             ASSERT_TRUE(writer->waitForFinished(60000));
             EXPECT_EQ(writer->exitCode(), 0);
         }
     },
     std::vector<QString>(600, kBrightness), {}, 0, {},
     [](Scene&, const JournalContents& c) {
         std::map<QString, int> perWriter;
         for (const Record& record : c.records)
             ++perWriter[record.text("port")];
         EXPECT_EQ(perWriter, (std::map<QString, int>{{"P0", 150}, {"P1", 150}, {"P2", 150}, {"P3", 150}}));
     }},
    {"a deleted first line breaks the chain at the new first line",
     [](Scene& s) {
         for (const char* answer : {"a", "b", "c"})
             s.journal->command(kBrightness, "COM3", "LA", true, answer);
         const QByteArray data = s.data();
         putFileBytes(s.path, data.mid(data.indexOf('\n') + 1));
     },
     std::vector<QString>(2, kBrightness), {}, 1, {}, {}},
    {"an unwritable journal stops no write and is told once, with its path",
     [](Scene& s) {
         s.path = QDir(s.path).absolutePath() + QStringLiteral("/journal.jsonl"); // a folder
         ASSERT_TRUE(QDir().mkpath(s.path));
         s.journal = std::make_unique<Journal>(s.path, Context{"t", "1", "h", "u"});
         s.journal->setFailureHandler([&s](const QString& path, const QString& error) {
             s.failures.push_back(path + QStringLiteral(": ") + error);
         });
         s.connect();
         s.write(price(3, "469"));
         EXPECT_EQ(s.sign->panel('2').price, "469");
         EXPECT_EQ(s.sign->panel('B').price, "469");
         ASSERT_TRUE(s.outcome);
         EXPECT_EQ(s.outcome->panel(3, true).verdict, signlink::PanelVerdict::Written);
         ASSERT_EQ(s.failures.size(), 1u);
         EXPECT_TRUE(s.failures.front().startsWith(s.path + QStringLiteral(": ")));
         EXPECT_FALSE(s.journal->healthy());
     },
     {}, {}, 0, {}, {}},
    {"--at: each panel from the latest record before the moment that states it",
     [](Scene& s) {
         s.mark("before everything");
         s.journal->observe("COM3", sign({{'2', {"459", '3', 2}}, {'B', {"459", '3', 2}}}));
         s.mark("after the first read");
         signsim::SimOptions options;
         options.panels['2'] = options.panels['B'] = {"459", '3', 2};
         s.connect(options);
         s.write(price(3, "469"));
         s.mark("after the write");
         s.journal->command(kBrightness, "COM3", "LA", true, "x"); // states no panel
         signlink::SignContents keypad = s.read();
         keypad.panel(3, true) = {QByteArray::fromStdString(signsim::panelReply('B', {"479", '3', 2}))};
         keypad.panel(5, false) = {QByteArray(16, ' ')}; // unread: states nothing
         s.journal->observe("COM3", keypad);
         s.mark("after the keypad");
     },
     {kObserved, kWriteStarted, kWrite, kBrightness, kObserved}, {}, 0, {},
     [](Scene& s, const JournalContents& c) {
         const auto at = [&](const char* mark, int row, bool second) {
             const PanelAt panel = panelsAt(c, s.marks.at(mark)).at(panelIndex(row, second));
             return panel.state ? priceOf(*panel.state) + ' ' + panel.event : QStringLiteral("none");
         };
         EXPECT_EQ(at("before everything", 3, false), "none");
         EXPECT_EQ(at("after the first read", 3, true), "459 observed");
         EXPECT_EQ(at("after the write", 3, true), "469 write");
         EXPECT_EQ(at("after the keypad", 3, true), "479 observed");
         EXPECT_EQ(at("after the keypad", 3, false), "469 write");
         EXPECT_EQ(at("after the keypad", 5, false), "000 write");
         EXPECT_EQ(panelsAt(c, s.marks.at("after the keypad")).at(panelIndex(3, false)).since,
                   c.records.at(2).time);
     }},
};

void PrintTo(const Case& test, std::ostream* os) {
    *os << test.name;
}

class JournalCases : public ::testing::TestWithParam<Case> {};

TEST_P(JournalCases, LeaveTheirRecords) {
    const Case& test = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Scene scene;
    scene.path = dir.filePath(QStringLiteral("journal.jsonl"));
    scene.journal = std::make_unique<Journal>(scene.path, Context{"test", "1", "host", "user"});
    scene.journal->setFailureHandler([&](const QString& path, const QString& error) {
        scene.failures.push_back(path + QStringLiteral(": ") + error);
    });
    test.act(scene);
    if (::testing::Test::HasFatalFailure())
        return;

    const QByteArray data = scene.data();
    const JournalContents contents = parseJournal(data);
    std::vector<QString> events;
    for (const Record& record : contents.records)
        events.push_back(record.event);
    EXPECT_EQ(events, test.events);
    EXPECT_EQ(contents.tornLines, test.tornLines);
    EXPECT_EQ(checkChain(data).firstBroken, test.firstBroken);
    EXPECT_EQ(interruptedWrites(contents).size(), test.interrupted.size());
    if (!test.events.empty()) {
        EXPECT_TRUE(scene.failures.empty()) << scene.failures.front().toStdString();
    }
    // Every line is ASCII, whatever the texts.
    for (const char c : data)
        EXPECT_TRUE(static_cast<unsigned char>(c) < 0x80) << test.name;
    if (test.more)
        test.more(scene, contents);
}

INSTANTIATE_TEST_SUITE_P(Journal, JournalCases, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return "case" + std::to_string(info.index);
                         });

TEST(JournalLine, IsARecordOnlyWhenItIsWholeJsonWithTimeAndEvent) {
    struct Line {
        QByteArray text;
        bool record;
        QString answer; // its "answer" field
    };
    const QByteArray head = R"({"time":"2026-12-09T08:00:00.000+03:00","event":"effect",)";
    const Line lines[] = {
        {head + R"("answer":"\u042d\u0444\u0444\u0435\u043a\u0442\u044b \"1\" \\ \/ \ud83d\ude00"})", true,
         QStringLiteral("Эффекты \"1\" \\ / 😀")},
        {head + R"("n":-1.5e+3,"ok":true,"x":null,"deep":{"a":[1,{"b":[]}]},"answer":"a"} )", true, "a"},
        {head + R"("answer":"a")", false, {}},                 // cut short
        {head + R"("answer":"a"}}")", false, {}},              // something after it
        {head + R"("answer":"\x"})", false, {}},               // no such escape
        {head + R"("answer":"\ud83d"})", false, {}},           // half a surrogate pair
        {head + "\"answer\":\"a\tb\"}", false, {}},             // a raw control character
        {head + R"("n":01,"answer":"a"})", false, {}},         // a leading zero
        {R"({"time":"yesterday","event":"effect"})", false, {}}, // no time
        {R"({"time":"2026-12-09T08:00:00+03:00","answer":"a"})", false, {}}, // no event
        {R"({"time":"2026-12-09T08:00:00+03:00","event":"effect"})", true, {}}, // no milliseconds
    };
    for (const Line& line : lines) {
        const std::optional<Record> record = parseRecord(line.text, 1);
        EXPECT_EQ(record.has_value(), line.record) << line.text.toStdString();
        if (record) {
            EXPECT_EQ(record->text("answer"), line.answer) << line.text.toStdString();
        }
    }
}

TEST(JournalLine, KeepsThePanelBytesAsWritten) {
    const QByteArray line = R"({"time":"2026-12-09T08:00:00.000+03:00","event":"observed",)"
                            R"("shows":{"1":["\u0001\u00c09\u0000\u00ff3",null],"10":[null,"469932"],"11":["x","y"]}})";
    const std::optional<Record> record = parseRecord(line, 1);
    ASSERT_TRUE(record);
    const SignStates states = statedBy(*record);
    EXPECT_EQ(states.at(panelIndex(1, false)), QByteArray("\x01\xC0" "9\0\xFF" "3", 6));
    EXPECT_FALSE(states.at(panelIndex(1, true)));
    EXPECT_EQ(states.at(panelIndex(10, true)), QByteArray("469932"));
}

TEST(JournalLine, EveryCutOfARecordIsNoRecord) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    Journal journal(path, Context{"zemta-stela", "1", "АЗС-12", "оператор"});
    journal.observe("COM3", sign({{'2', {"4\x01" "9", '3', 2}}, {'0', {"---", '0', 0}}}));
    const QByteArray line = fileBytes(path).chopped(1);
    ASSERT_TRUE(parseRecord(line, 1));
    for (qsizetype cut = 0; cut < line.size(); ++cut)
        EXPECT_FALSE(parseRecord(line.left(cut), 1)) << cut;
}

} // namespace
