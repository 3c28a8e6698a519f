// zemta-sign and the price journal, end to end: the records of its commands, and what
// `zemta-sign journal` prints from them.
#include "filebytes.h"
#include "ptyfixture.h"

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

struct Result {
    int exitCode = -1;
    QString out, err;
};

Result run(const QStringList& args) {
    QProcess tool;
    tool.start(QStringLiteral(ZEMTA_SIGN_EXE), args);
    EXPECT_TRUE(tool.waitForFinished(60000));
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
            QString::fromUtf8(tool.readAllStandardOutput()),
            QString::fromUtf8(tool.readAllStandardError())};
}

QString moment() {
    QThread::msleep(1100); // the query takes minutes and seconds
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QThread::msleep(1100);
    return now;
}

TEST(ZemtaSignJournal, RecordsItsCommandsAndAnswersForAMoment) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("journal.jsonl"));
    PtyPorts ports;
    signsim::SimOptions options;
    options.panels['2'] = options.panels['B'] = {"459", '3', 2};
    ports.addSign(3, options);
    const QStringList journal{QStringLiteral("--journal"), file};

    EXPECT_EQ(run(journal + QStringList{"read", "--port", "COM3"}).exitCode, 0);
    const QString beforeWrite = moment();
    EXPECT_EQ(run(journal + QStringList{"write", "--port", "COM3", "3=469"}).exitCode, 0);
    EXPECT_EQ(run(journal + QStringList{"write", "--port", "COM3", "3=479", "--dry-run"}).exitCode, 0);
    EXPECT_EQ(run(journal + QStringList{"verify", "--port", "COM3", "3=469"}).exitCode, 0);
    EXPECT_EQ(run(journal + QStringList{"effect", "--port", "COM3", "--interval", "5", "--effects", "1,3"}).exitCode, 0);
    EXPECT_EQ(run(journal + QStringList{"brightness", "--port", "COM9", "auto"}).exitCode, 3);

    const Result table = run({"journal", "--journal", file});
    EXPECT_EQ(table.exitCode, 0);
    const QStringList lines = table.out.trimmed().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 6) << table.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("Время ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("zemta-sign") && lines[1].contains("COM3") &&
                lines[1].endsWith("на стеле замечено: ряд 10: 000; ряд 9: 000; ряд 8: 000; ряд 7: 000; "
                                  "ряд 6: 000; ряд 5: 000; ряд 4: 000; ряд 3: 459; ряд 2: 000; ряд 1: 000"))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[2].endsWith("запись начата")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].endsWith("записано: ряд 3: 469")) << lines[3].toStdString();
    EXPECT_TRUE(lines[4].endsWith("эффекты: 165 — подтверждено")) << lines[4].toStdString();
    EXPECT_TRUE(lines[5].contains("COM9") &&
                lines[5].contains("яркость автоматическая — не выполнено: Unable to open com port"))
        << lines[5].toStdString();

    const Result at = run({"journal", "--journal", file, "--at", beforeWrite});
    EXPECT_EQ(at.exitCode, 0);
    EXPECT_TRUE(at.out.contains(QRegularExpression("\n  3  459 \\(запись [-0-9 :]+\\)  459 \\(запись ")))
        << at.out.toStdString();
    const Result now = run({"journal", "--journal", file, "--at", moment()});
    EXPECT_TRUE(now.out.contains(QRegularExpression("\n  3  469 \\(запись [-0-9 :]+\\)  469 \\(запись ")))
        << now.out.toStdString();
    const Result never = run({"journal", "--journal", file, "--at", "2000-01-01"});
    EXPECT_TRUE(never.out.contains("\n  3  нет записи       нет записи")) << never.out.toStdString();

    EXPECT_EQ(run({"journal", "--journal", file, "--check"}).out, "цепочка цела: строк 5\n");
    const QByteArray data = fileBytes(file);
    ASSERT_FALSE(data.isEmpty());
    EXPECT_EQ(run({"journal", "--journal", file, "--json"}).out.toLatin1(), data);
    EXPECT_EQ(run({"journal", "--journal", file, "--json", "--since", moment()}).out, "");
}

TEST(ZemtaSignJournal, WritesCsvForExcelAndNamesTheFirstBrokenLine) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("journal.jsonl"));
    for (int i = 0; i < 3; ++i)
        run({"--journal", file, "brightness", "--port", "COM9", QString::number(i)});
    const QString csv = dir.filePath(QStringLiteral("журнал.csv"));
    EXPECT_EQ(run({"journal", "--journal", file, "--csv", csv}).exitCode, 0);
    const QByteArray bytes = fileBytes(csv);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF" "Время;Компьютер;Пользователь;Программа;Версия;Порт;Событие;Описание\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), 4);
    EXPECT_EQ(bytes.count('\n'), 4);
    EXPECT_TRUE(QString::fromUtf8(bytes).contains(";COM9;brightness;яркость ручная: 2 — не выполнено: "));

    putFileBytes(file, fileBytes(file).replace("4c4d31", "4c4d39")); // line 2: "LM1" made "LM9"
    const Result check = run({"journal", "--journal", file, "--check"});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_TRUE(check.err.startsWith("цепочка нарушена в строке 3")) << check.err.toStdString();

    EXPECT_EQ(run({"journal", "--journal", file, "--at", "вчера"}).exitCode, 2);
    EXPECT_EQ(run({"journal", "--journal", file, "--path"}).out, file + "\n");
}

} // namespace
