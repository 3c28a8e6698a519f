// zemta-sign end to end: the built tool against simulated signs on pseudo-terminals
// named COMn in a temporary port directory (ZEMTA_COM_DIR, inherited by the tool).
#include "ptyfixture.h"
#include "signcases.h"
#include "tcustomcomport.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using signsim::PanelContent;

struct Result {
    int exitCode = -1;
    QString out, err;
};

QProcess* start(QProcess& tool, const QStringList& args) {
    tool.start(QStringLiteral(ZEMTA_SIGN_EXE), args);
    EXPECT_TRUE(tool.waitForStarted());
    return &tool;
}

Result finish(QProcess& tool) {
    EXPECT_TRUE(tool.waitForFinished(60000));
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
            QString::fromUtf8(tool.readAllStandardOutput()),
            QString::fromUtf8(tool.readAllStandardError())};
}

Result run(const QStringList& args) {
    QProcess tool;
    return finish(*start(tool, args));
}

// Every panel with contents of its own: prices by address, grades and flags varied, the
// two halves of a row different, row 1's first half without a price.
signsim::SimOptions variedSign() {
    signsim::SimOptions options;
    int k = 0;
    for (char address : signsim::kPanelAddresses) {
        options.panels[address] = {std::to_string(300 + 11 * k), char('1' + k % 5),
                                   std::uint8_t(k % 4)};
        ++k;
    }
    options.panels['0'] = {"---", '0', 0};
    return options;
}

// The JSON object a --json run printed, parsed; a parse failure fails the test.
QJsonObject parsed(const Result& result) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(result.out.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << result.out.toStdString();
    EXPECT_TRUE(std::all_of(result.out.begin(), result.out.end(),
                            [](QChar c) { return c.unicode() < 0x80; }))
        << "not ASCII: " << result.out.toStdString();
    return document.object();
}

// One half of a row of a write's or verify's JSON: rows run 10..1.
QJsonObject halfOf(const QJsonObject& object, int row, bool second) {
    return object["rows"].toArray()[10 - row].toObject()[second ? "second" : "first"].toObject();
}

// The panel addresses the write frames since command `from` went to, in order.
std::string framesSince(const signsim::SignSimulator& sign, std::size_t from) {
    std::string addresses;
    const auto commands = sign.received();
    for (std::size_t i = from; i < commands.size(); ++i)
        if (commands[i].bytes.front() == 'W' &&
            (addresses.empty() || addresses.back() != commands[i].bytes[1]))
            addresses += commands[i].bytes[1];
    return addresses;
}

std::size_t readsSince(const signsim::SignSimulator& sign, std::size_t from) {
    const auto commands = sign.received();
    return std::size_t(std::count_if(commands.begin() + std::ptrdiff_t(from), commands.end(),
                                     [](const auto& c) { return c.bytes.front() == 'R'; }));
}

TEST(ZemtaSign, ReadPrintsTheTableAndJsonAndExitsOneForAPanelWithoutAnswer) {
    PtyPorts ports;
    signsim::SimOptions options;
    options.panels['2'] = options.panels['B'] = {"459", '3', 2}; // row 3: 95, "Евро"
    options.panels['9'] = {"123", '5', 3};                       // row 10, first: ДТ, both
    options.panels['0'] = {"---", '0', 0};                       // row 1, first: no grade
    auto& sign = ports.addSign(3, options);

    const Result table = run({"read", "--port", "COM3"});
    EXPECT_EQ(table.exitCode, 0);
    EXPECT_EQ(table.err, "");
    EXPECT_EQ(table.out, "Ряд  Первая половина  Вторая половина  Сорт     Флаги\n"
                         " 10  123              000              ДТ / 80  Снежинка, Евро / -\n"
                         "  9  000              000              80       -\n"
                         "  8  000              000              80       -\n"
                         "  7  000              000              80       -\n"
                         "  6  000              000              80       -\n"
                         "  5  000              000              80       -\n"
                         "  4  000              000              80       -\n"
                         "  3  459              459              95       Евро\n"
                         "  2  000              000              80       -\n"
                         "  1  ---              000              - / 80   -\n");

    signsim::SimFaults faults;
    faults.panels = {'E'}; // row 6, second half
    faults.silent = true;
    sign.setFaults(faults);
    const Result json = run({"read", "--json"}); // searches first
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(json.err, "Панелей без ответа: 1 из 20\n");
    QJsonParseError error{};
    const QJsonObject object = QJsonDocument::fromJson(json.out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out.toStdString();
    EXPECT_EQ(object["port"].toString(), "COM3");
    const QJsonArray rows = object["rows"].toArray();
    ASSERT_EQ(rows.size(), 10);
    const QJsonObject top = rows[0].toObject();
    EXPECT_EQ(top["row"].toInt(), 10);
    EXPECT_EQ(top["first"].toObject(), QJsonObject({{"price", "123"},
                                                    {"grade", "ДТ"},
                                                    {"snowflake", true},
                                                    {"euro", true},
                                                    {"ok", true},
                                                    {"grade_code", "5"},
                                                    {"flags", 0x33}}));
    EXPECT_EQ(rows[4].toObject()["second"].toObject(),
              QJsonObject({{"price", QJsonValue::Null},
                           {"grade", QJsonValue::Null},
                           {"snowflake", false},
                           {"euro", false},
                           {"ok", false},
                           {"grade_code", QJsonValue::Null},
                           {"flags", QJsonValue::Null}}));
    EXPECT_EQ(rows[9].toObject()["first"].toObject(), QJsonObject({{"price", "---"},
                                                                   {"grade", QJsonValue::Null},
                                                                   {"snowflake", false},
                                                                   {"euro", false},
                                                                   {"ok", true},
                                                                   {"grade_code", "0"},
                                                                   {"flags", 0x30}}));
}

TEST(ZemtaSign, WriteChangesOnlyTheRowsNamedAndKeepsEveryGradeAndFlag) {
    PtyPorts ports;
    auto& sign = ports.addSign(3, variedSign());
    std::map<char, PanelContent> before;
    for (char address : signsim::kPanelAddresses)
        before[address] = sign.panel(address);

    const Result write = run({"write", "--port", "COM3", "3=469", "7=512", "--unused", "9"});
    EXPECT_EQ(write.exitCode, 0) << write.err.toStdString();
    EXPECT_EQ(write.err, "");
    // Row n's halves are panels n-1 (first) and 10+n-1 (second): 300 + 11 k.
    EXPECT_EQ(write.out, "ряд 9: 388/498 -> ---\n"
                         "ряд 7: 366/476 -> 512\n"
                         "ряд 3: 322/432 -> 469\n");

    for (char address : signsim::kPanelAddresses) {
        SCOPED_TRACE(std::string("panel ") + address);
        const int row = (address & 0x0F) + 1;
        const PanelContent held = before[address];
        const PanelContent now = sign.panel(address);
        if (row == 9) {
            EXPECT_EQ(now, (PanelContent{"---", '0', 0}));
            continue;
        }
        EXPECT_EQ(now.price, row == 3 ? "469" : row == 7 ? "512" : held.price);
        EXPECT_EQ(now.grade, held.grade);
        EXPECT_EQ(now.flags & 3, held.flags & 3);
    }
}

TEST(ZemtaSign, WriteNamesThePanelsItCouldNotReadOrThatDidNotTakeIt) {
    PtyPorts ports;
    auto& sign = ports.addSign(3);

    // A panel silent from the start: nothing is written.
    signsim::SimFaults silent;
    silent.panels = {'I'}; // row 10, second half
    silent.silent = true;
    sign.setFaults(silent);
    const Result refused = run({"write", "--port", "COM3", "3=469"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "Стела прочитана не полностью, цены не записаны:\n"
                           "ряд 10, вторая половина: нет ответа\n");
    for (const auto& command : sign.received())
        EXPECT_NE(command.bytes.front(), 'W') << command.bytes;

    // A panel that keeps reporting its old price after acknowledging the new one.
    signsim::SimFaults stuck;
    stuck.panels = {'B'}; // row 3, second half
    stuck.rawReadReply = signsim::panelReply('B', {"459", '1', 0});
    sign.setFaults(stuck);
    const Result notTaken = run({"write", "--port", "COM3", "3=469", "5=501"});
    EXPECT_EQ(notTaken.exitCode, 1);
    EXPECT_EQ(notTaken.out, "ряд 5: 000 -> 501\n");
    EXPECT_EQ(notTaken.err, "Стела не приняла цены:\n"
                            "ряд 3, вторая половина: записано 469, на стеле 459\n");
}

TEST(ZemtaSign, WriteSendsOnlyThePanelsThatDifferAndNothingOnASecondRun) {
    struct Case {
        const char* name;
        QStringList args;
        std::map<char, PanelContent> preset; // on top of variedSign()
        std::string frames;                  // panels sent a frame, in order
    };
    const Case cases[] = {
        {"one row", {"3=469"}, {}, "2B"},
        {"one half shows it already", {"3=469"}, {{'2', {"469", '3', 2}}}, "B"},
        // Row 1's frames carry the flags on base 0x00, its replies on 0x30.
        {"row 1 with flags as asked",
         {"1=459"},
         {{'0', {"459", '2', 3}}, {'@', {"459", '2', 3}}},
         ""},
        {"unused where one half is", {"--unused", "1"}, {}, "@"},
        {"two rows, one shown already", {"2=100", "9=388"}, {{'H', {"388", '4', 1}}}, "1A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPorts ports;
        signsim::SimOptions options = variedSign();
        for (const auto& [address, content] : c.preset)
            options.panels[address] = content;
        auto& sign = ports.addSign(3, options);

        const Result first = run(QStringList{"write", "--port", "COM3"} + c.args);
        EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
        EXPECT_EQ(framesSince(sign, 0), c.frames);
        // Nothing sent: no read-back either; else all 20 panels are read back.
        EXPECT_EQ(readsSince(sign, 0), c.frames.empty() ? 20u : 40u);
        if (c.frames.empty()) {
            EXPECT_EQ(first.out, "без изменений\n");
        }

        const std::size_t before = sign.received().size();
        const Result again = run(QStringList{"write", "--port", "COM3", "--json"} + c.args);
        EXPECT_EQ(again.exitCode, 0);
        EXPECT_EQ(framesSince(sign, before), "");
        const QJsonObject object = parsed(again);
        EXPECT_EQ(object["changed"], false);
        for (int row = 1; row <= 10; ++row)
            for (const bool second : {false, true}) {
                EXPECT_EQ(halfOf(object, row, second)["verdict"], "unchanged") << row;
                EXPECT_EQ(halfOf(object, row, second)["planned"], QJsonValue::Null);
            }
    }
}

TEST(ZemtaSign, WriteJsonGivesEveryPanelsBeforePlanAfterAndVerdict) {
    PtyPorts ports;
    auto& sign = ports.addSign(3, variedSign());

    const Result written = run({"write", "--port", "COM3", "--json", "3=469"});
    EXPECT_EQ(written.exitCode, 0);
    QJsonObject object = parsed(written);
    EXPECT_EQ(object["port"], "COM3");
    EXPECT_EQ(object["dry_run"], false);
    EXPECT_EQ(object["changed"], true);
    EXPECT_EQ(object["problems"], QJsonArray());
    EXPECT_EQ(object["held_by"], QJsonValue::Null);
    ASSERT_EQ(object["rows"].toArray().size(), 10);
    const QJsonObject row3 = halfOf(object, 3, false);
    EXPECT_EQ(row3["verdict"], "written");
    EXPECT_EQ(row3["before"].toObject()["price"], "322");
    EXPECT_EQ(row3["planned"].toObject()["price"], "469");
    EXPECT_EQ(row3["planned"].toObject()["grade_code"], "3"); // the half's own grade kept
    EXPECT_EQ(row3["after"].toObject()["price"], "469");
    const QJsonObject row1 = halfOf(object, 1, true); // untouched, read back all the same
    EXPECT_EQ(row1["verdict"], "unchanged");
    EXPECT_EQ(row1["after"], row1["before"]);
    EXPECT_EQ(halfOf(object, 10, false)["before"].toObject()["grade"], "ДТ");

    // A panel that acknowledges and keeps its old price.
    signsim::SimFaults stuck;
    stuck.panels = {'B'};
    stuck.storedPrice = "432";
    sign.setFaults(stuck);
    const Result notTaken = run({"write", "--port", "COM3", "--json", "3=479"});
    EXPECT_EQ(notTaken.exitCode, 1);
    object = parsed(notTaken);
    EXPECT_EQ(halfOf(object, 3, false)["verdict"], "written");
    EXPECT_EQ(halfOf(object, 3, true)["verdict"], "not_taken");
    EXPECT_EQ(object["problems"], QJsonArray{"ряд 3, вторая половина: записано 479, на стеле 432"});

    // A silent panel: nothing written, the object still printed.
    signsim::SimFaults silent;
    silent.panels = {'I'};
    silent.silent = true;
    sign.setFaults(silent);
    const std::size_t before = sign.received().size();
    const Result refused = run({"write", "--port", "COM3", "--json", "4=100"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(framesSince(sign, before), "");
    object = parsed(refused);
    EXPECT_EQ(object["changed"], false);
    EXPECT_EQ(halfOf(object, 10, true)["verdict"], "no_reply");
    EXPECT_EQ(halfOf(object, 4, false)["verdict"], "left_out");
    EXPECT_EQ(halfOf(object, 5, false)["verdict"], "unchanged");
    EXPECT_EQ(halfOf(object, 1, true)["verdict"], "unchanged"); // replies on 0x30, frames on 0x00
    EXPECT_EQ(object["problems"], QJsonArray{"ряд 10, вторая половина: нет ответа"});
}

TEST(ZemtaSign, DryRunPrintsThePlanAndSendsNoFrame) {
    PtyPorts ports;
    auto& sign = ports.addSign(3, variedSign());

    const Result text = run({"write", "--port", "COM3", "--dry-run", "3=469", "--unused", "1"});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.out, "ряд 3, первая половина: 322 -> 469\n"
                        "ряд 3, вторая половина: 432 -> 469\n"
                        "ряд 1, вторая половина: 410 -> ---\n");
    const Result json = run({"write", "--port", "COM3", "--dry-run", "--json", "3=469"});
    EXPECT_EQ(json.exitCode, 0);
    const QJsonObject object = parsed(json);
    EXPECT_EQ(object["dry_run"], true);
    EXPECT_EQ(object["changed"], true);
    EXPECT_EQ(halfOf(object, 3, true)["verdict"], "would_write");
    EXPECT_EQ(halfOf(object, 3, true)["planned"].toObject()["price"], "469");
    EXPECT_EQ(halfOf(object, 3, true)["after"], QJsonValue::Null);
    EXPECT_EQ(halfOf(object, 4, true)["verdict"], "unchanged");
    const Result nothing = run({"write", "--port", "COM3", "--dry-run", "3=322"});
    EXPECT_EQ(nothing.out, "ряд 3, вторая половина: 432 -> 322\n");

    signsim::SimFaults silent;
    silent.panels = {'5'};
    silent.silent = true;
    sign.setFaults(silent);
    const Result unreadable = run({"write", "--port", "COM3", "--dry-run", "3=469"});
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_EQ(unreadable.err, "Стела прочитана не полностью, цены не записаны:\n"
                              "ряд 6, первая половина: нет ответа\n");
    EXPECT_EQ(framesSince(sign, 0), "");
}

TEST(ZemtaSign, VerifyExitsZeroOnlyWhenBothHalvesOfEveryRowNamedShowThePrice) {
    PtyPorts ports;
    signsim::SimOptions options;
    options.panels['2'] = options.panels['B'] = {"469", '3', 2};
    options.panels['4'] = {"501", '1', 0}; // row 5: halves differ
    options.panels['9'] = options.panels['I'] = {"---", '0', 0};
    options.panels['6'] = {"123", '1', 0};
    auto& sign = ports.addSign(3, options);
    signsim::SimFaults silent;
    silent.panels = {'6'}; // row 7, first half
    silent.silent = true;
    sign.setFaults(silent);

    struct Case {
        QStringList args;
        int exitCode;
        QStringList problems;
    };
    const Case cases[] = {
        {{"3=469"}, 0, {}},
        {{"3=469", "--unused", "10"}, 0, {}},
        {{"3=459"},
         1,
         {"ряд 3, первая половина: ожидается 459, на стеле 469",
          "ряд 3, вторая половина: ожидается 459, на стеле 469"}},
        {{"5=501", "--unused", "10"}, 1, {"ряд 5, вторая половина: ожидается 501, на стеле 000"}},
        {{"7=123"},
         1,
         {"ряд 7, первая половина: нет ответа",
          "ряд 7, вторая половина: ожидается 123, на стеле 000"}},
        {{"--unused", "3"},
         1,
         {"ряд 3, первая половина: ожидается ---, на стеле 469",
          "ряд 3, вторая половина: ожидается ---, на стеле 469"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Result text = run(QStringList{"verify", "--port", "COM3"} + c.args);
        EXPECT_EQ(text.exitCode, c.exitCode);
        EXPECT_EQ(text.err, c.problems.isEmpty()
                                ? QString()
                                : "Стела показывает не те цены:\n" + c.problems.join('\n') + '\n');
        const Result json = run(QStringList{"verify", "--port", "COM3", "--json"} + c.args);
        EXPECT_EQ(json.exitCode, c.exitCode);
        const QJsonObject object = parsed(json);
        EXPECT_EQ(object["ok"], c.exitCode == 0);
        EXPECT_EQ(object["problems"], QJsonArray::fromStringList(c.problems));
        EXPECT_EQ(object["rows"].toArray().size(),
                  c.args.filter(QRegularExpression("^\\d+")).size());
    }
    EXPECT_EQ(framesSince(sign, 0), "");
}

TEST(ZemtaSign, PortHeldByTheWindowIsNamedWithItsProcess) {
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    signsim::SimFaults silent;
    silent.silent = true; // a read-back that takes its full time
    sign.setFaults(silent);
    // A program named as the window, holding the port with its own lock.
    QTemporaryDir bin;
    const QString window = bin.filePath("zemta-stela");
    ASSERT_TRUE(QFile::copy(ZEMTA_SIGN_EXE, window));
    QProcess holding;
    holding.start(window, {"read", "--port", "COM3"});
    ASSERT_TRUE(holding.waitForStarted());
    ASSERT_TRUE(sign.waitForCommands(1, std::chrono::seconds(5)));

    const QString named = QString("COM3: порт занят окном zemta-stela (pid %1): закройте окно или "
                                  "запишите цены в нём\n")
                              .arg(holding.processId());
    const Result text = run({"write", "--port", "COM3", "3=469"});
    EXPECT_EQ(text.exitCode, 3);
    EXPECT_EQ(text.err, named);
    const Result json = run({"write", "--port", "COM3", "--json", "3=469"});
    EXPECT_EQ(json.exitCode, 3);
    const QJsonObject object = parsed(json);
    EXPECT_EQ(object["changed"], false);
    EXPECT_EQ(object["rows"], QJsonArray());
    EXPECT_EQ(object["problems"], QJsonArray{named.chopped(1)});
    EXPECT_EQ(object["held_by"],
              QJsonObject({{"program", "zemta-stela"}, {"pid", qint64(holding.processId())}}));
    holding.terminate();
    holding.waitForFinished();
}

TEST(ZemtaSign, UsageErrorsExitTwoWithOneLineAndNothingOnTheLine) {
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    const QStringList cases[] = {
        {},
        {"frobnicate"},
        {"read", "--bogus"},
        {"read", "--port", "--json"},
        {"write", "11=469"},
        {"write", "3=4a5"},
        {"write", "3=45"},
        {"write", "3=469", "3=470"},
        {"write", "3=469", "--unused", "3"},
        {"write", "--unused"},
        {"write"},
        {"write", "3=469", "--dry-run=yes"},
        {"verify"},
        {"verify", "3=469", "--dry-run"},
        {"brightness", "5", "--json"},
        {"brightness", "10"},
        {"effect", "--interval", "12"},
        {"effect", "--interval", "5", "--effects", "1,5"},
        {"find", "--port", "COM3"},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Result result = run(args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(result.err.startsWith("zemta-sign")) << result.err.toStdString();
        EXPECT_EQ(result.err.count('\n'), 1) << result.err.toStdString();
    }
    EXPECT_TRUE(sign.received().empty());
    EXPECT_EQ(sign.droppedBytes(), 0u);
}

TEST(ZemtaSign, PortHeldByAnotherProgramExitsThreeAndTheToolHoldsItAsTheWindowDoes) {
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    {
        TCustomComPort window;
        window.SetPort("COM3");
        window.Open();
        const Result held = run({"read", "--port", "COM3"});
        EXPECT_EQ(held.exitCode, 3);
        EXPECT_EQ(held.err, "zemta-sign: COM3: Unable to open com port (win error code: 16)\n");
        EXPECT_EQ(run({"find"}).exitCode, 1); // the search skips the held port
    }

    QProcess reading;
    start(reading, {"read", "--port", "COM3"});
    ASSERT_TRUE(sign.waitForCommands(1, std::chrono::seconds(5)));
    TCustomComPort window;
    window.SetPort("COM3");
    EXPECT_THROW(window.Open(), EComPort);
    EXPECT_EQ(finish(reading).exitCode, 0);
}

TEST(ZemtaSign, PortsFindBrightnessAndEffectTellTheSignsAnswer) {
    PtyPorts ports;
    ports.addSilent(2);
    auto& sign = ports.addSign(3);
    const QString dir = QString::fromStdString(ports.dir());

    EXPECT_EQ(run({"ports"}).out, "COM2\t" + dir + "/COM2\nCOM3\t" + dir + "/COM3\n");
    const Result find = run({"find"});
    EXPECT_EQ(find.exitCode, 0);
    EXPECT_EQ(find.out, "COM3\n");

    const Result automatic = run({"brightness", "auto"});
    EXPECT_EQ(automatic.exitCode, 0);
    EXPECT_EQ(automatic.out, "Установлена автоматическая яркость.\n");
    EXPECT_EQ(sign.lastBrightnessCommand(), "LA");

    const Result effect =
        run({"-v", "effect", "--port", "COM3", "--interval", "5", "--effects", "1,3"});
    EXPECT_EQ(effect.exitCode, 0);
    EXPECT_EQ(effect.out, "Эффекты включены\n");
    EXPECT_EQ(effect.err, "Отправлено:165\n"); // the log, and no progress off a terminal
    EXPECT_EQ(sign.lastEffect(), 165);

    signsim::SimFaults wrongEcho;
    wrongEcho.wrongLevelEcho = true;
    sign.setFaults(wrongEcho);
    const Result manual = run({"brightness", "--port", "COM3", "7"});
    EXPECT_EQ(manual.exitCode, 1);
    EXPECT_EQ(manual.out, "");
    EXPECT_EQ(manual.err, "Яркость не установлена.\n");

    ports.remove(3);
    const Result none = run({"find"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err, "Табло не найдено. Проверьте кабель подключения табло\n");
}

TEST(ZemtaSign, ProgressLineOnlyWhenStandardErrorIsATerminal) {
    PtyPorts ports;
    ports.addSign(3);
    int master = -1, terminal = -1;
    ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(terminal, STDERR_FILENO);
        dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
        execl(ZEMTA_SIGN_EXE, ZEMTA_SIGN_EXE, "read", "--port", "COM3", nullptr);
        _exit(127);
    }
    ::close(terminal);
    QByteArray shown;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) // EIO once it has ended
        shown.append(buffer, n);
    ::close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const QString text = QString::fromUtf8(shown);
    EXPECT_TRUE(text.startsWith("\rЧтение: панель 1 из 20   \rЧтение: панель 2 из 20"))
        << shown.toStdString();
    const QString last = "Чтение: панель 20 из 20   ";
    EXPECT_TRUE(text.endsWith("\r" + last + "\r" + QString(last.size(), ' ') + "\r"))
        << shown.toStdString(); // the last panel, then the line cleared
}

TEST(ZemtaSign, StopSignalEndsTheOperationWithThePortClosed) {
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    QProcess writing;
    start(writing, {"write", "--port", "COM3", "3=469"});
    ASSERT_TRUE(sign.waitForCommands(3, std::chrono::seconds(5)));
    writing.terminate();
    const Result stopped = finish(writing);
    EXPECT_EQ(stopped.exitCode, 128 + SIGTERM);
    EXPECT_EQ(stopped.err, "zemta-sign: interrupted\n");
    TCustomComPort window;
    window.SetPort("COM3");
    EXPECT_NO_THROW(window.Open());
}

// --- what the sign says is not misread, what it holds is not overwritten ---------------

using namespace signcases;

struct SignCase {
    const char* name;
    signsim::SimOptions sign;
    QStringList args; // before "--port COM3"
    std::map<char, PanelContent> changed; // panels whose bytes differ afterwards
    int exitCode;
    QStringList errLines; // each a line of standard error
    QString outLine;      // how a line of standard output begins; empty: not looked at
};
void PrintTo(const SignCase& c, std::ostream* os) {
    *os << c.name;
}

class SignNotMisread : public ::testing::TestWithParam<SignCase> {};

TEST_P(SignNotMisread, EveryPanelHoldsWhatWasAskedOrWhatItHeldOrStandardErrorNamesIt) {
    const SignCase& c = GetParam();
    PtyPorts ports;
    auto& sign = ports.addSign(3, c.sign);

    const Result result = run(c.args + QStringList{"--port", "COM3"});

    for (const char address : signsim::kPanelAddresses) {
        const auto changed = c.changed.find(address);
        EXPECT_EQ(sign.panel(address),
                  changed != c.changed.end() ? changed->second : c.sign.panels.at(address))
            << address;
    }
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
    const QStringList err = result.err.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(err.size(), c.errLines.size()) << result.err.toStdString();
    for (const QString& line : c.errLines)
        EXPECT_TRUE(err.contains(line)) << line.toStdString();
    if (!c.outLine.isEmpty()) {
        const QStringList out = result.out.split('\n');
        EXPECT_TRUE(std::any_of(out.begin(), out.end(),
                                [&](const QString& line) { return line.startsWith(c.outLine); }))
            << result.out.toStdString();
    }
}

// Row 3's first half names panel "7" in every reply.
signsim::SimOptions rowThreeNamesAnother() {
    signsim::SimOptions options = distinctSign();
    options.faults.panels = {'2'};
    options.faults.replyAddress = '7';
    return options;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, SignNotMisread, ::testing::Values(
    SignCase{"LateReplyRead", lateRowThree(), {"read"}, {}, 0, {},
             "  4  333              443  "},
    SignCase{"LateReplyWrite", lateRowThree(), {"write", "7=555"},
             {{'6', priced(distinctSign(), '6', "555")}, {'F', priced(distinctSign(), 'F', "555")}},
             0, {}, {}},
    // Never the panel asked: unread, so nothing is written.
    SignCase{"ReplyNamingAnotherPanel", rowThreeNamesAnother(), {"write", "7=555"}, {}, 1,
             {"Стела прочитана не полностью, цены не записаны:",
              "ряд 3, первая половина: нет ответа"}, {}},
    SignCase{"GradeAndFlagBytes", oddAttributes(), {"write", "7=555"},
             {{'5', {"355", '0', 0x30}}, {'6', priced(oddAttributes(), '6', "555")},
              {'F', {"555", '3', 0x33}}},
             1, {"Стела не приняла цены:", "ряд 7, вторая половина: сорт или флаги изменились",
                 "ряд 6, первая половина: сорт или флаги изменились"}, {}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
