// The serial port component against pseudo-terminals with the sign simulator on the
// other end: exclusive use (UUCP lock files included), NUL dropping, reads that never
// wait, closed-port errors, the Port and line-setting setters on an open port, and the
// event watcher.

#include "ptyfixture.h"
#include "tcustomcomport.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "serial-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

// The component as the main window sets it up: 19200 8N1, no handshake, NULs dropped.
void setUpLikeTheWindow(TCustomComPort& port, const QString& name) {
    port.BeginLoading();
    port.SetPort(name);
    port.SetBaudRate(br19200);
    port.SetDiscardNull(true);
    port.EndLoading();
}

// Polls the waiting count until it stops growing (the simulator paces its replies).
int settledCount(TCustomComPort& port) {
    int last = -1;
    for (int i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(20ms);
        const int now = port.WaitingCount();
        if (now == last && now > 0)
            return now;
        last = now;
    }
    return last;
}

// A tty's settings as the kernel holds them; none when the tty cannot be opened here
// (the component's exclusive flag keeps out anyone but root).
std::optional<termios2> ttySettings(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    termios2 t{};
    const int r = ioctl(fd, TCGETS2, &t);
    ::close(fd);
    return r == 0 ? std::optional(t) : std::nullopt;
}

long ttySpeed(const std::string& path) {
    const auto t = ttySettings(path);
    return t ? long(t->c_ospeed) : -1;
}

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override { app(); }
    PtyPorts ports;
};

} // namespace

TEST_F(ComPortTest, OpenAndCloseAreIdempotent) {
    ports.addSign(3);
    TCustomComPort port;
    setUpLikeTheWindow(port, "COM3");
    port.Close(); // closed: nothing happens
    port.Open();
    ASSERT_TRUE(port.Connected());
    port.Open(); // open: nothing happens
    EXPECT_TRUE(port.Connected());
    port.Close();
    EXPECT_FALSE(port.Connected());
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortTest, APortHeldElsewhereCannotBeOpened) {
    ports.addSign(3);
    TCustomComPort first, second;
    setUpLikeTheWindow(first, "COM3");
    setUpLikeTheWindow(second, "COM3");
    first.Open();
    try {
        second.Open();
        FAIL() << "a port held by another component was opened";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), CError_OpenFailed);
        EXPECT_EQ(e.SystemCode(), EBUSY);
    }
    EXPECT_FALSE(second.Connected());

    // Another program that locks the device keeps us out the same way.
    first.Close();
    const int fd = ::open(ports.path(3).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_THROW(second.Open(), EComPort);
    ::close(fd);
    second.Open();
    EXPECT_TRUE(second.Connected());
}

// Another program's UUCP lock keeps the port closed under every name of the device; a
// stale one does not, and ours holds our process id exactly while the port is open.
TEST_F(ComPortTest, UucpLockFilesOfLiveProcessesKeepThePortClosedAndOursComeAndGo) {
    if (::access("/run/lock", W_OK) != 0)
        GTEST_SKIP() << "/run/lock cannot be written by this user";
    auto& sign = ports.addSign(3);
    const UucpLockFile lock(sign.ttyPath());
    TCustomComPort port;
    // Held by init (always alive), in ASCII and in the old binary form.
    for (const std::string& held : {std::string("         1\n"), std::string("\1\0\0\0", 4)})
        for (const std::string& name : {std::string("COM3"), sign.ttyPath()}) {
            lock.write(held);
            port.SetPort(QString::fromStdString(name));
            try {
                port.Open();
                ADD_FAILURE() << "opened " << name;
            } catch (const EComPort& e) {
                EXPECT_EQ(e.ErrorCode(), CError_OpenFailed);
                EXPECT_EQ(e.SystemCode(), EBUSY);
            }
        }

    // Stale: a process that has ended but is not reaped yet (a zombie) holds nothing.
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    char zombie[16];
    std::snprintf(zombie, sizeof zombie, "%10d\n", int(ended));
    ::usleep(100 * 1000); // its end, not its reaping
    lock.write(zombie);
    port.Open();
    ::waitpid(ended, nullptr, 0);
    port.Close();
    // Stale: process ids stay below the kernel's limit of 4194304.
    lock.write("   4194304\n");
    port.Open();
    char ours[16];
    std::snprintf(ours, sizeof ours, "%10d\n", int(getpid()));
    EXPECT_EQ(lock.content(), ours);
    port.Close();
    EXPECT_EQ(lock.content(), "");
}

TEST_F(ComPortTest, OpenRefusesMissingDevicesAndNonTerminals) {
    TCustomComPort port;
    setUpLikeTheWindow(port, "COM9");
    try {
        port.Open();
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), CError_OpenFailed);
        EXPECT_EQ(e.SystemCode(), ENOENT);
        EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    }
    port.SetPort("/dev/null");
    try {
        port.Open();
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), CError_OpenFailed);
        EXPECT_EQ(e.SystemCode(), ENOTTY);
    }
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortTest, ClosedPortOperationsRaiseTheirCodesWithBadHandle) {
    TCustomComPort port;
    auto expectCode = [](auto&& call, int code, const char* message) {
        try {
            call();
            ADD_FAILURE() << "no error for code " << code;
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorCode(), code);
            EXPECT_EQ(e.SystemCode(), EBADF);
            EXPECT_STREQ(e.what(), message);
        }
    };
    QByteArray text;
    expectCode([&] { port.WaitingCount(); }, CError_ClearComFailed,
               "ClearCommError function failed (win error code: 9)");
    expectCode([&] { port.PurgeQueues(true, true); }, CError_PurgeFailed,
               "PurgeComm function failed (win error code: 9)");
    expectCode([&] { port.SendText("R0E"); }, CError_WriteFailed,
               "WriteFile function failed (win error code: 9)");
    expectCode([&] { port.TakeText(text, 14); }, CError_ReadFailed,
               "ReadFile function failed (win error code: 9)");
    // Nothing to send or to take touches the device at all.
    EXPECT_EQ(port.SendText(QByteArray()), 0);
    EXPECT_EQ(port.TakeText(text, 0), 0);
    EXPECT_TRUE(text.isEmpty());
}

TEST_F(ComPortTest, NulBytesAreNeitherCountedNorTaken) {
    signsim::SimOptions options;
    options.faults.rawReadReply = std::string("T0\0\0AB\0C", 8);
    ports.addSign(3, options);
    TCustomComPort port;
    setUpLikeTheWindow(port, "COM3");
    port.Open();
    port.PurgeQueues(true, true);
    port.SendText("R0E");
    EXPECT_EQ(settledCount(port), 5);
    EXPECT_EQ(port.WaitingCount(), 5); // counting again takes nothing away
    QByteArray text;
    EXPECT_EQ(port.TakeText(text, 14), 5);
    EXPECT_EQ(text, QByteArray("T0ABC"));
    EXPECT_EQ(port.WaitingCount(), 0);
}

TEST_F(ComPortTest, TakeTextTakesWhatWaitsAndNeverWaitsForMore) {
    signsim::SimOptions options;
    options.faults.rawReadReply = "abc";
    ports.addSign(3, options);
    TCustomComPort port;
    setUpLikeTheWindow(port, "COM3");
    port.Open();

    QByteArray text = "stale";
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(port.TakeText(text, 10), 0);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_LT(timer.elapsed(), 500);

    port.SendText("R0E");
    ASSERT_EQ(settledCount(port), 3);
    timer.restart();
    EXPECT_EQ(port.TakeText(text, 10), 3);
    EXPECT_EQ(text, QByteArray("abc"));
    EXPECT_LT(timer.elapsed(), 500);

    // A longer reply is taken in pieces, in arrival order.
    port.SendText("R0E");
    port.SendText("R0E");
    ASSERT_EQ(settledCount(port), 6);
    EXPECT_EQ(port.TakeText(text, 4), 4);
    EXPECT_EQ(text, QByteArray("abca"));
    EXPECT_EQ(port.TakeText(text, 4), 2);
    EXPECT_EQ(text, QByteArray("bc"));
}

TEST_F(ComPortTest, ASentFrameIsNeverLostToTheFollowingPurge) {
    // Fresh bare pseudo-terminals whose other end reads only afterwards: a frame
    // still on its way through the terminal layer would be destroyed by an output
    // flush of our side right after the send (the write acknowledgement does exactly
    // this: send, then clear both queues).
    const std::string link = ports.path(7);
    TCustomComPort port;
    setUpLikeTheWindow(port, "COM7");
    constexpr int kRounds = 150;
    int lost = 0;
    for (int i = 0; i < kRounds; ++i) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        ::unlink(link.c_str());
        ASSERT_EQ(::symlink(ptsname(master), link.c_str()), 0);
        port.Open();
        ASSERT_EQ(port.SendText("W1123310E21"), 11);
        port.PurgeQueues(true, true);
        std::string arrived;
        char buf[64];
        pollfd p{master, POLLIN, 0};
        while (arrived.size() < 11 && poll(&p, 1, 100) > 0) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            arrived.append(buf, std::size_t(n));
        }
        port.Close();
        ::close(master);
        if (arrived != "W1123310E21")
            ++lost;
    }
    EXPECT_EQ(lost, 0) << "frames lost out of " << kRounds;
}

TEST_F(ComPortTest, PurgeDiscardsWhatWaits) {
    ports.addSign(3);
    TCustomComPort port;
    setUpLikeTheWindow(port, "COM3");
    port.Open();
    port.SendText("R0E");
    ASSERT_EQ(settledCount(port), 14);
    port.PurgeQueues(true, true);
    EXPECT_EQ(port.WaitingCount(), 0);
}

TEST_F(ComPortTest, PortSetterMovesAnOpenPortAndIgnoresAnEqualName) {
    auto& sign3 = ports.addSign(3);
    auto& sign4 = ports.addSign(4);
    TCustomComPort port;
    setUpLikeTheWindow(port, "COM3");
    port.Open();

    // The same name changes nothing: with the link gone a re-open would fail.
    ASSERT_EQ(::unlink(ports.path(3).c_str()), 0);
    port.SetPort("COM3");
    EXPECT_TRUE(port.Connected());
    port.SendText("LA");
    ASSERT_TRUE(sign3.waitForCommands(1, 2s));

    // Another name closes this device and opens the other one.
    port.SetPort("COM4");
    EXPECT_TRUE(port.Connected());
    port.SendText("LA");
    ASSERT_TRUE(sign4.waitForCommands(1, 2s));
    EXPECT_EQ(sign3.countReceived("LA"), 1);

    // Another letter case names the same device; Port keeps the text as set.
    port.SetPort("com4");
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.Port(), QString("com4"));
    port.SendText("LA");
    ASSERT_TRUE(sign4.waitForCommands(2, 2s));
}

TEST_F(ComPortTest, BaudRateReachesAnOpenDeviceWithoutClosingIt) {
    auto& sign = ports.addSign(3);
    TCustomComPort port;
    setUpLikeTheWindow(port, "COM3");
    port.Open();
    const std::string tty = sign.ttyPath();
    if (ttySpeed(tty) < 0)
        GTEST_SKIP() << "the tty cannot be inspected by this user while held exclusively";
    EXPECT_EQ(ttySpeed(tty), 19200);
    // Set by its standard code, as other programs read it with cfgetospeed.
    EXPECT_EQ(ttySettings(tty)->c_cflag & CBAUD, tcflag_t(B19200));

    ASSERT_EQ(::unlink(ports.path(3).c_str()), 0); // a re-open would now fail
    port.SetBaudRate(br19200);                     // equal: the device is not touched
    port.SetBaudRate(br14400);
    EXPECT_EQ(ttySpeed(tty), 14400);
    port.SetBaudRate(br256000);
    EXPECT_EQ(ttySpeed(tty), 256000);
    EXPECT_EQ(ttySettings(tty)->c_cflag & CBAUD, tcflag_t(BOTHER));
    port.SetCustomBaudRate(12345);
    port.SetBaudRate(brCustom);
    EXPECT_EQ(ttySpeed(tty), 12345);
    EXPECT_TRUE(port.Connected());

    // While pushes are suspended nothing reaches the device; resuming pushes once.
    port.SuspendPush();
    port.SuspendPush();
    port.SetBaudRate(br9600);
    port.ResumePush();
    EXPECT_EQ(ttySpeed(tty), 12345);
    port.ResumePush();
    EXPECT_EQ(ttySpeed(tty), 9600);
    port.ResumePush(); // at zero: nothing
}

// 1.5 stop bits go only with 5 data bits and 2 only with 6 to 8; the others are refused
// as a failed apply and the line keeps its stop bits.
TEST_F(ComPortTest, StopBitsTheLineCannotCarryAreRefusedAndTheLineStaysAsItWas) {
    auto& sign = ports.addSign(3);
    TCustomComPort port;
    setUpLikeTheWindow(port, "COM3");
    port.Open();
    if (!ttySettings(sign.ttyPath()))
        GTEST_SKIP() << "the tty cannot be inspected by this user while held exclusively";
    const auto longStop = [&] { return (ttySettings(sign.ttyPath())->c_cflag & CSTOPB) != 0; };
    const auto expectRefused = [](auto&& change) {
        try {
            change();
            ADD_FAILURE() << "accepted";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorCode(), CError_SetStateFailed);
            EXPECT_EQ(e.SystemCode(), EINVAL);
        }
    };
    expectRefused([&] { port.SetStopBits(sbOne5StopBits); });
    EXPECT_FALSE(longStop());
    port.SetStopBits(sbTwoStopBits);
    expectRefused([&] { port.SetDataBits(dbFive); });
    port.SetStopBits(sbOne5StopBits); // with the five data bits stored: carried
    EXPECT_TRUE(longStop());

    // A closed port only stores; Open then refuses and stays closed.
    port.Close();
    port.SetDataBits(dbEight);
    expectRefused([&] { port.Open(); });
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortTest, WatcherHandsOverEventsButNeverConsumesData) {
    ports.addSign(3);
    TCustomComPort port;
    setUpLikeTheWindow(port, "COM3");
    int handedOver = 0;
    QObject::connect(&port, &TCustomComPort::LineEvents, [&](TComEvents ev) {
        if (ev & comEvent(evRxChar))
            ++handedOver;
    });
    port.Open();
    port.SendText("R0E");
    for (int i = 0; i < 100 && handedOver == 0; ++i) {
        std::this_thread::sleep_for(10ms);
        QCoreApplication::processEvents();
    }
    EXPECT_GT(handedOver, 0);
    EXPECT_EQ(settledCount(port), 14);
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(10ms);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(port.WaitingCount(), 14);
    QByteArray text;
    EXPECT_EQ(port.TakeText(text, 14), 14);
    EXPECT_TRUE(text.startsWith("T0"));
}

TEST_F(ComPortTest, CloseEndsWhileTheWatcherWaitsForAHandOver) {
    ports.addSign(3);
    TCustomComPort port;
    setUpLikeTheWindow(port, "COM3");
    for (int round = 0; round < 5; ++round) {
        port.Open();
        port.SendText("R0E");
        // The reply's arrival makes the watcher hand over; no event loop runs, so
        // it waits for the hand-over while the port is closed.
        ASSERT_EQ(settledCount(port), 14);
        port.Close();
        EXPECT_FALSE(port.Connected());
    }
    // The stale hand-overs still queued find their watcher gone and do nothing.
    QCoreApplication::processEvents();
}

TEST_F(ComPortTest, ALineThatHangsUpEndsInAnErrorNotAHang) {
    signsim::SimOptions options;
    options.faults.hangUpAfterCommands = 1;
    auto& sign = ports.addSign(3, options);
    TCustomComPort port;
    setUpLikeTheWindow(port, "COM3");
    port.Open();
    port.SendText("LA");
    for (int i = 0; i < 200 && sign.lineOpen(); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_FALSE(sign.lineOpen());
    bool failed = false;
    for (int i = 0; i < 50 && !failed; ++i) {
        try {
            port.WaitingCount();
            std::this_thread::sleep_for(10ms);
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorCode(), CError_ClearComFailed);
            EXPECT_EQ(e.SystemCode(), EIO);
            failed = true;
        }
    }
    EXPECT_TRUE(failed);
    QCoreApplication::processEvents();
    port.Close();
    EXPECT_FALSE(port.Connected());
}
