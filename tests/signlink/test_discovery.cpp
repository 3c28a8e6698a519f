// Sign discovery against the real serial component: pseudo-terminals named COMn in a
// temporary port directory, some with a simulated sign behind them, some silent.

#include "discovery.h"
#include "ptyfixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace signlink;

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kProbeSent = QStringLiteral("Отправлено:R0E");
const QString kFiller = kReceived + QString(11, '=');
// "Принял:" with the first 10 bytes of panel "0"'s reply.
const QString kSignAnswer =
    kReceived + QString::fromStdString(signsim::panelReply('0', {}).substr(0, 10));

QString attempts(int polls) {
    return QString::number(polls) + kAttemptsMiddle + "200мс";
}

class Discovery : public ::testing::Test {
protected:
    void SetUp() override {
        link_.setReadDelay(30);
        link_.setLogSink([this](const QString& line) { log_ << line; });
        view_.showMessage = [this](const QString& text) {
            messages_ << text;
            portAtMessage_ = port_.Port() + (port_.Connected() ? " open" : " closed");
        };
        view_.setStatusText = [this](const QString& text) { status_ << text; };
    }
    signsim::SignSimulator& addSign(int n, const signsim::SimFaults& faults = {}) {
        signsim::SimOptions options;
        options.faults = faults;
        return ports_.addSign(n, options);
    }
    void run() { runDiscovery(link_, view_); }
    void expectOpenOn(const QString& name) {
        EXPECT_EQ(messages_, QStringList{kFoundMessage + name});
        EXPECT_EQ(status_, QStringList{kWorkingOn + name});
        EXPECT_EQ(port_.Port(), name);
        EXPECT_TRUE(port_.Connected());
    }

    PtyPorts ports_;
    TCustomComPort port_;
    SignLink link_{port_};
    DiscoveryView view_;
    QStringList log_, messages_, status_;
    QString portAtMessage_;
};

TEST_F(Discovery, HighestAnsweringPortAmongSilentOnesIsAnnouncedThenOpened) {
    ports_.addSilent(1);
    addSign(2);
    addSign(3);
    ports_.addSilent(5);

    run();

    expectOpenOn("COM3");
    EXPECT_EQ(port_.BaudRate(), br19200);
    EXPECT_EQ(portAtMessage_, "COM255 closed"); // reopened only after the message
    for (int n : {1, 2, 3, 5})
        EXPECT_EQ(ports_.sign(n).countReceived("R0E"), 1) << "COM" << n;
    // The third block is COM3's: the count line precedes the pause, so it sees nothing
    // yet; one poll suffices.
    qsizetype at = -1;
    for (int block = 0; block < 3; ++block)
        at = log_.indexOf(kProbeSent, at + 1);
    EXPECT_EQ(log_.mid(at, 4),
              (QStringList{kProbeSent, kCountLine + "0", attempts(1), kSignAnswer}));
    // The last port probed was silent: its filler replaced the sign's "T0".
    EXPECT_EQ(link_.replyBuffer(), QByteArray(11, '='));
}

TEST_F(Discovery, SilentPortLogsItsBlockWithTheSearchDelayAndNothingIsFound) {
    ports_.addSilent(4);
    link_.setSearchDelay(150); // printed, though the polls wait for the read delay

    run();

    const QString zero = kCountLine + "0";
    EXPECT_EQ(log_, (QStringList{"--- Поиск табло --- ", kProbeSent, zero, zero, zero, zero,
                                 "4" + kAttemptsMiddle + "150мс", kReadError, kFiller}));
    EXPECT_EQ(messages_, QStringList{kNotFoundMessage});
    EXPECT_TRUE(status_.isEmpty());
}

TEST_F(Discovery, PortHeldByAnotherProgramIsSkippedWithoutTrace) {
    addSign(2);
    addSign(3);
    const int holder = ::open(ports_.path(3).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

    run();
    ::close(holder);

    expectOpenOn("COM2");
    EXPECT_EQ(log_.count(kProbeSent), 1);
    EXPECT_EQ(ports_.sign(3).countReceived("R0E"), 0);

    // Held by a program that leaves a UUCP lock file (init's process id: alive).
    if (::access("/run/lock", W_OK) != 0)
        GTEST_SKIP() << "/run/lock cannot be written by this user";
    const UucpLockFile lock(ports_.sign(3).ttyPath());
    lock.write("         1\n");
    log_.clear();
    messages_.clear();
    status_.clear();
    run();

    expectOpenOn("COM2");
    EXPECT_EQ(log_.count(kProbeSent), 1);
    EXPECT_EQ(ports_.sign(3).countReceived("R0E"), 0);
    EXPECT_EQ(lock.content(), "         1\n"); // a live lock is left as it is
}

// Replies that are not taken, each from the only port there is, with the last log line.
TEST_F(Discovery, RepliesNotBeginningT0OrShorterThan12BytesAreNotTaken) {
    struct Case {
        std::optional<std::string> raw; // else: the sign answers "T1"
        QString lastLine;
    };
    const Case cases[] = {
        {std::nullopt, QString(kSignAnswer).replace(8, 1, '1')},
        {"t0000100OK00", kReceived + "t0000100OK"},
        {"T000010000O", kFiller}, // 11 bytes: never read
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lastLine.toStdString());
        signsim::SimFaults faults;
        faults.discoveryT1 = !c.raw;
        faults.rawReadReply = c.raw;
        addSign(3, faults);
        log_.clear();
        messages_.clear();

        run();

        EXPECT_EQ(messages_, QStringList{kNotFoundMessage});
        EXPECT_EQ(log_.last(), c.lastLine);
    }
}

// The probe's failure test counts polls: a reply first complete after the fourth
// pause is not read, one complete after the third pause is.
TEST_F(Discovery, AReplyCompleteOnlyAtTheFourthPollIsNotTaken) {
    signsim::SimFaults late;
    late.replyDelayMs = 100; // read delay 30: complete between the 3rd and 4th check
    addSign(3, late);
    run();
    EXPECT_EQ(messages_, QStringList{kNotFoundMessage});
    EXPECT_TRUE(log_.contains(attempts(4)));
    EXPECT_TRUE(log_.contains(kReadError));
    EXPECT_EQ(log_.last(), kFiller);

    signsim::SimFaults inTime;
    inTime.replyDelayMs = 45; // complete between the 2nd and 3rd check
    ports_.sign(3).setFaults(inTime);
    log_.clear();
    messages_.clear();
    status_.clear();
    run();
    EXPECT_TRUE(log_.contains(attempts(2)) || log_.contains(attempts(3)));
    expectOpenOn("COM3");
}

// Already open on the sign's port: the first change of Port closes it, every port is
// probed, and the sign's port is opened again at the end. On COM1 the first probe goes
// out on the port that is already open.
TEST_F(Discovery, RunningAgainWhileOpenOnTheSignProbesEveryPortAndReopensIt) {
    auto& sign4 = addSign(4);
    ports_.addSilent(2);
    port_.SetPort("COM4");
    port_.Open();
    run();
    expectOpenOn("COM4");
    EXPECT_EQ(sign4.countReceived("R0E"), 1);
    EXPECT_EQ(ports_.sign(2).countReceived("R0E"), 1);

    auto& sign1 = addSign(1);
    port_.SetPort("COM1");
    port_.Open();
    messages_.clear();
    status_.clear();
    run();
    EXPECT_EQ(sign1.countReceived("R0E"), 1);
    expectOpenOn("COM4"); // the last answering port wins
}

} // namespace
