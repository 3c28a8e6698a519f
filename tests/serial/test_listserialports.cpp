// The setup dialog's port list: which COM names are listed, in what order, and the
// registry error when there are none.

#include "ecomport.h"
#include "listserialports.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

// A temporary ZEMTA_COM_DIR for one test; the previous value comes back afterwards.
class ComDir : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        if (const char* old = std::getenv("ZEMTA_COM_DIR"))
            previous_ = old;
        ::setenv("ZEMTA_COM_DIR", QFile::encodeName(dir_.path()).constData(), 1);
    }
    void TearDown() override {
        if (previous_)
            ::setenv("ZEMTA_COM_DIR", previous_->c_str(), 1);
        else
            ::unsetenv("ZEMTA_COM_DIR");
    }
    QString path(const QString& name) const { return dir_.filePath(name); }
    // COMn as a link to a character device, as a pty link would be.
    void addPort(const QString& name) { ASSERT_TRUE(QFile::link("/dev/null", path(name))); }

    QTemporaryDir dir_;
    std::optional<std::string> previous_;
};

} // namespace

TEST_F(ComDir, ListsCharacterDevicesSortedAsText) {
    for (const char* name : {"COM2", "COM10", "COM1", "COM255"})
        addPort(QLatin1String(name));
    QStringList ports{"stale entry"};
    ListSerialPorts(ports);
    EXPECT_EQ(ports, (QStringList{"COM1", "COM10", "COM2", "COM255"}));
}

TEST_F(ComDir, SkipsWhatIsNoPortDeviceAndNamesOutsideTheComRange) {
    addPort("COM3");
    QFile plain(path("COM4")); // a regular file is no port
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    ASSERT_TRUE(QDir(dir_.path()).mkdir("COM5"));         // nor is a directory
    ASSERT_TRUE(QFile::link(path("gone"), path("COM6"))); // a dangling link
    for (const char* name : {"COM0", "COM07", "COM256", "com8", "ttyS0"})
        addPort(QLatin1String(name));

    QStringList ports;
    ListSerialPorts(ports);
    EXPECT_EQ(ports, QStringList{"COM3"});
}

TEST_F(ComDir, NoPortsRaisesRegistryErrorAndLeavesTheListAlone) {
    addPort("COM0"); // not a port name
    QStringList ports{"COM9"};
    try {
        ListSerialPorts(ports);
        FAIL() << "no exception";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), 23);
        EXPECT_EQ(e.SystemCode(), ENOENT);
        EXPECT_STREQ(e.what(), "Registry error (win error code: 2)");
    }
    EXPECT_EQ(ports, QStringList{"COM9"});

    ::setenv("ZEMTA_COM_DIR", QFile::encodeName(path("missing")).constData(), 1);
    EXPECT_THROW(ListSerialPorts(ports), EComPort);
}

TEST_F(ComDir, LegacyUartCountsOnlyWhenSysfsReportsARealType) {
    auto typeFile = [this](const char* name, const QByteArray& content) {
        QFile f(path(QLatin1String(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return f.fileName();
    };
    // The kernel writes the UART type followed by a newline; 0 means no UART.
    EXPECT_TRUE(serialports::uartTypeFileShowsHardware(typeFile("a", "4\n")));
    EXPECT_FALSE(serialports::uartTypeFileShowsHardware(typeFile("b", "0\n")));
    EXPECT_FALSE(serialports::uartTypeFileShowsHardware(typeFile("c", "")));
    EXPECT_FALSE(serialports::uartTypeFileShowsHardware(path("absent")));
}
