// SaveSettings: the registry-export file it writes, the keys it keeps, and the
// failures that leave the old store as it was.

#include "settingsstore.h"
#include "tcustomcomport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kLocation = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\ZEMTA");

// The store of the port this system runs: COM3 at 19200 8N1 without flow control.
const QByteArray kStoredSystemPort = "Windows Registry Editor Version 5.00\n"
                                     "\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\ZEMTA\\ComPort]\n"
                                     "\"Port\"=\"COM3\"\n"
                                     "\"BaudRate\"=\"19200\"\n"
                                     "\"StopBits\"=\"1\"\n"
                                     "\"DataBits\"=\"8\"\n"
                                     "\"Parity\"=\"None\"\n"
                                     "\"FlowControl\"=\"None\"\n"
                                     "\n";

// A component named as the window names it, and XDG_CONFIG_HOME in a temporary directory.
class Store : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            previous_ = old;
        ::setenv("XDG_CONFIG_HOME", QFile::encodeName(home_.path()).constData(), 1);
        port_.setObjectName("ComPort");
        port_.SetPort("COM3");
        port_.SetBaudRate(br19200);
    }
    void TearDown() override {
        if (previous_)
            ::setenv("XDG_CONFIG_HOME", previous_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }

    QString storeDir() const { return home_.filePath("zemta"); }
    QString storePath() const { return storeDir() + "/registry.reg"; }
    QByteArray stored() const {
        QFile f(storePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no store>");
    }
    void writeStore(const QByteArray& content) {
        ASSERT_TRUE(QDir().mkpath(storeDir()));
        QFile f(storePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    // The third line: the header of the first key.
    QByteArray firstKey() const { return stored().split('\n').value(2); }
    void expectStoreFailure() {
        try {
            port_.SaveSettings(stRegistry, kLocation);
            ADD_FAILURE() << "no exception";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorCode(), 16);
            EXPECT_EQ(e.SystemCode(), -1);
            EXPECT_STREQ(e.what(), "Failed to store settings");
        }
    }

    QTemporaryDir home_;
    std::optional<std::string> previous_;
    TCustomComPort port_;
};

} // namespace

TEST_F(Store, WritesTheSixValuesUnderLocationAndComponentName) {
    EXPECT_EQ(settingsstore::registryFilePath(), storePath());
    port_.SaveSettings(stRegistry, kLocation);
    EXPECT_EQ(stored(), kStoredSystemPort);
}

TEST_F(Store, NamesTheKeyByRootSubkeyAndComponentName) {
    struct Row {
        const char* location;
        const char* key;
    };
    const Row rows[] = {
        // the root is compared without regard to case
        {"hkey_local_machine\\Software\\ZEMTA", "[HKEY_LOCAL_MACHINE\\Software\\ZEMTA\\ComPort]"},
        // a trailing backslash is not doubled
        {"HKEY_CURRENT_USER\\Software\\ZEMTA\\", "[HKEY_CURRENT_USER\\Software\\ZEMTA\\ComPort]"},
        // any other root means the current user
        {"HKEY_CLASSES_ROOT\\Software", "[HKEY_CURRENT_USER\\Software\\ComPort]"},
    };
    for (const Row& r : rows) {
        QFile::remove(storePath());
        port_.SaveSettings(stRegistry, r.location);
        EXPECT_EQ(firstKey(), r.key) << r.location;
    }
}

TEST_F(Store, ValuesUseTheTextTablesAndEscapeBackslashAndQuote) {
    port_.SetPort("C:\\a\"b");
    port_.SetBaudRate(brCustom);
    port_.SetDataBits(dbFive);
    port_.SetStopBits(sbOne5StopBits);
    port_.Parity().SetBits(prMark);
    port_.FlowControl().SetControlRTS(rtsHandshake); // RTS/CTS handshake: "Hardware"
    port_.FlowControl().SetOutCTSFlow(true);
    port_.SaveSettings(stRegistry, kLocation);
    EXPECT_EQ(stored(), "Windows Registry Editor Version 5.00\n"
                        "\n"
                        "[HKEY_LOCAL_MACHINE\\Software\\ZEMTA\\ComPort]\n"
                        "\"Port\"=\"C:\\\\a\\\"b\"\n"
                        "\"BaudRate\"=\"Custom\"\n"
                        "\"StopBits\"=\"1.5\"\n"
                        "\"DataBits\"=\"5\"\n"
                        "\"Parity\"=\"Mark\"\n"
                        "\"FlowControl\"=\"Hardware\"\n"
                        "\n");

    port_.FlowControl().SetXonXoffIn(true); // no summary fits any more
    port_.SaveSettings(stRegistry, kLocation);
    EXPECT_TRUE(stored().contains("\"FlowControl\"=\"Custom\"\n"));
}

// As in a registry: the six values are set where they stand or added in their order,
// every other value and key stays.
TEST_F(Store, SetsItsValuesInPlaceAndKeepsEveryOtherValueAndKey) {
    const QByteArray before = "[HKEY_CURRENT_USER\\Software\\Other]\n"
                              "\"Name\"=\"a \\\\ b\"\n"
                              "\"Data\"=hex:01,02,\\\n"
                              "  03\n";
    const QByteArray after = "[HKEY_LOCAL_MACHINE\\Software\\ZEMTA\\Printer]\n"
                             "@=\"default\"\n";
    writeStore("Windows Registry Editor Version 5.00\n\n" + before +
               "\n"
               // the same key in other letter case, with values of others and old ones
               "[hkey_local_machine\\software\\zemta\\comport]\n"
               "\"port\"=\"COM1\"\n"
               "\"Extra\"=\"kept\"\n"
               "@=\"default\"\n"
               "\"StopBits\"=hex(2):32,00,\\\n"
               "  00,00\n"
               "\n" +
               after + "\n");

    port_.SaveSettings(stRegistry, kLocation);
    const QByteArray expected = "Windows Registry Editor Version 5.00\n\n" + before + "\n" +
                                "[hkey_local_machine\\software\\zemta\\comport]\n"
                                "\"port\"=\"COM3\"\n"
                                "\"Extra\"=\"kept\"\n"
                                "@=\"default\"\n"
                                "\"StopBits\"=\"1\"\n"
                                "\"BaudRate\"=\"19200\"\n"
                                "\"DataBits\"=\"8\"\n"
                                "\"Parity\"=\"None\"\n"
                                "\"FlowControl\"=\"None\"\n"
                                "\n" +
                                after + "\n";
    EXPECT_EQ(stored(), expected);

    port_.SaveSettings(stRegistry, kLocation); // storing again changes nothing
    EXPECT_EQ(stored(), expected);
}

TEST_F(Store, LocationWithoutKeyOrIniKindFailsWithoutWritingAnything) {
    for (const char* location : {"HKEY_LOCAL_MACHINE", "", "HKEY_CURRENT_USER\\a\\\\b"}) {
        try {
            port_.SaveSettings(stRegistry, location);
            ADD_FAILURE() << "no exception for " << location;
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorCode(), 16) << location;
        }
    }
    EXPECT_THROW(port_.SaveSettings(stIniFile, home_.filePath("ports.ini")), EComPort);
    EXPECT_FALSE(QFile::exists(storePath()));
}

TEST_F(Store, FileThatIsNoRegistryExportIsLeftAlone) {
    const QByteArray notAStore = "[section]\nkey=value\n";
    writeStore(notAStore);
    expectStoreFailure();
    EXPECT_EQ(stored(), notAStore);
}

TEST_F(Store, WriteFailingHalfwayLeavesTheOldStoreIntact) {
    port_.SaveSettings(stRegistry, kLocation);
    port_.SetPort("COM12");

    // Let files grow to only 64 bytes, as a full disk would: the write of the new
    // store fails partway (EFBIG instead of the SIGXFSZ signal).
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 64;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::optional<int> code;
    try {
        port_.SaveSettings(stRegistry, kLocation);
    } catch (const EComPort& e) {
        code = e.ErrorCode();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(code, 16);
    EXPECT_EQ(stored(), kStoredSystemPort);
    EXPECT_EQ(QDir(storeDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"registry.reg"})
        << "a temporary file was left behind";
}

TEST_F(Store, ReadOnlyDirectoryFailsAndKeepsTheOldStore) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write into a read-only directory";
    port_.SaveSettings(stRegistry, kLocation);
    port_.SetPort("COM12");
    ASSERT_TRUE(QFile::setPermissions(storeDir(), QFile::ReadOwner | QFile::ExeOwner));
    expectStoreFailure();
    QFile::setPermissions(storeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(stored(), kStoredSystemPort);
}

TEST_F(Store, ConfigDirectoryThatCannotBeCreatedFails) {
    QFile blocker(home_.filePath("zemta")); // a file where the directory belongs
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    expectStoreFailure();
}

namespace {

const QByteArray kHeader = "Windows Registry Editor Version 5.00\n\n";
const QByteArray kOurKey = "[HKEY_LOCAL_MACHINE\\Software\\ZEMTA\\ComPort]\n";
// Our six values as the store writes them (COM3, 19200 8N1, no flow control).
const QByteArray kOurValues = "\"Port\"=\"COM3\"\n"
                              "\"BaudRate\"=\"19200\"\n"
                              "\"StopBits\"=\"1\"\n"
                              "\"DataBits\"=\"8\"\n"
                              "\"Parity\"=\"None\"\n"
                              "\"FlowControl\"=\"None\"\n";
const QByteArray kOther = "[HKEY_CURRENT_USER\\Software\\Other]\n";
// "АЗС №12" in CP1251 and "café" in Latin-1: no UTF-8.
const QByteArray kCp1251Value = "\"Name\"=\"\xC0\xC7\xD1 \xB9" "12\"\n";
const QByteArray kLatin1Value = "\"Note\"=\"caf\xE9\"\n";

QByteArray crlf(QByteArray s) {
    return s.replace("\n", "\r\n");
}

// How the existing store lies on disk.
enum class Placement {
    plainFile,
    linkToElsewhere,     // registry.reg is a relative link to ../elsewhere/store.reg
    staleTemporaryFiles, // a save stopped while writing left its temporary files behind
};

struct FileCase {
    const char* what;
    Placement placement;
    QByteArray before;
    QByteArray after; // empty: the store is refused and stays as it was
};

const FileCase kFileCases[] = {
    {"a CP1251 value in another key", Placement::plainFile, kHeader + kOther + kCp1251Value,
     kHeader + kOther + kCp1251Value + "\n" + kOurKey + kOurValues + "\n"},
    {"Latin-1 in our own key, a BOM, CRLF, odd blank lines, no final line break",
     Placement::plainFile,
     crlf("\xEF\xBB\xBF" + kHeader + "; comment \xFC\n\n\n" + kOther + "\n\n" + kOurKey +
          "\"Port\"=\"COM1\"\n" + kLatin1Value + "\n\n" + kOther + kCp1251Value).chopped(2),
     crlf("\xEF\xBB\xBF" + kHeader + "; comment \xFC\n\n\n" + kOther + "\n\n" + kOurKey +
          "\"Port\"=\"COM3\"\n" + kLatin1Value + kOurValues.mid(14) + "\n\n" + kOther +
          kCp1251Value).chopped(2)},
    {"[-key] between two copies stays between them", Placement::plainFile,
     kHeader + kOurKey + "\"Port\"=\"COM1\"\n" + kLatin1Value + "\n" +
         "[-HKEY_LOCAL_MACHINE\\Software\\ZEMTA\\ComPort]\n\n" + kOther + kCp1251Value + "\n" +
         kOurKey + "\"Extra\"=\"kept\"\n\n",
     kHeader + kOurKey + "\"Port\"=\"COM1\"\n" + kLatin1Value + "\n" +
         "[-HKEY_LOCAL_MACHINE\\Software\\ZEMTA\\ComPort]\n\n" + kOther + kCp1251Value + "\n" +
         kOurKey + "\"Extra\"=\"kept\"\n" + kOurValues + "\n"},
    {"[-parent] after the only copy: the key follows it", Placement::plainFile,
     kHeader + kOurKey + "\"Port\"=\"COM1\"\n\n[-hkey_local_machine\\software\\zemta]\n",
     kHeader + kOurKey + "\"Port\"=\"COM1\"\n\n[-hkey_local_machine\\software\\zemta]\n\n" +
         kOurKey + kOurValues + "\n"},
    {"two copies without a deletion are one key", Placement::plainFile,
     kHeader + kOurKey + "\"Port\"=\"COM1\"\n\n" + kOther + kCp1251Value + "\n" + kOurKey +
         kLatin1Value + "\"port\"=\"COM2\"\n\n",
     kHeader + kOurKey + "\"Port\"=\"COM3\"\n" + kLatin1Value + kOurValues.mid(14) + "\n" +
         kOther + kCp1251Value + "\n"},
    {"binary data left open at the end of the file", Placement::plainFile,
     kHeader + kOurKey + "\"Data\"=hex:01,\\",
     kHeader + kOurKey + "\"Data\"=hex:01,\\\n\n" + kOurValues},
    {"a symbolic link", Placement::linkToElsewhere, kHeader + kOther + kCp1251Value,
     kHeader + kOther + kCp1251Value + "\n" + kOurKey + kOurValues + "\n"},
    {"stale temporary files", Placement::staleTemporaryFiles, kHeader + kOurKey + kOurValues,
     kHeader + kOurKey + kOurValues},
    {"UTF-16", Placement::plainFile,
     QByteArray("\xFF\xFEW\0i\0n\0\r\0\n\0", 12), {}},
    {"lines ending in a lone CR", Placement::plainFile,
     QByteArray(kHeader + kOurKey + kOurValues).replace('\n', '\r'), {}},
    {"no registry export", Placement::plainFile, "[section]\nkey=value\n", {}},
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.what;
}

class StoreFile : public Store, public ::testing::WithParamInterface<FileCase> {};

} // namespace

TEST_P(StoreFile, KeepsEveryByteOutsideItsKey) {
    const FileCase& c = GetParam();
    QString file = storePath(); // the file that holds the store's bytes
    if (c.placement == Placement::linkToElsewhere) {
        ASSERT_TRUE(QDir().mkpath(storeDir()));
        ASSERT_TRUE(QDir().mkpath(home_.filePath("elsewhere")));
        file = home_.filePath("elsewhere/store.reg");
        ASSERT_EQ(::symlink("../elsewhere/store.reg", QFile::encodeName(storePath())), 0);
    }
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.before);
    }
    if (c.placement == Placement::staleTemporaryFiles) {
        for (const char* name : {"registry.reg.tmp", "registry.reg.Xy12Ab"}) {
            QFile f(storeDir() + '/' + name);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("half a store");
        }
    }

    if (c.after.isEmpty()) {
        expectStoreFailure();
    } else {
        port_.SaveSettings(stRegistry, kLocation);
    }
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), c.after.isEmpty() ? c.before : c.after);
    EXPECT_EQ(QDir(storeDir()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList{"registry.reg"})
        << "temporary files left behind";
    if (c.placement == Placement::linkToElsewhere) {
        EXPECT_TRUE(QFileInfo(storePath()).isSymLink());
        EXPECT_EQ(QDir(home_.filePath("elsewhere")).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"store.reg"});
    }
}

INSTANTIATE_TEST_SUITE_P(Store, StoreFile, ::testing::ValuesIn(kFileCases),
                         [](const ::testing::TestParamInfo<FileCase>& info) {
                             std::string name;
                             for (const char* c = info.param.what; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c)))
                                     name += *c;
                             return name;
                         });

// A save stopped by the system while it writes (here: the file size limit's signal)
// leaves the old store whole, and the next save leaves no temporary file behind.
TEST_F(Store, SaveKilledWhileWritingLeavesNothingForTheNextSave) {
    port_.SaveSettings(stRegistry, kLocation);
    port_.SetPort("COM12");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit small{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, SIG_DFL);
        try {
            port_.SaveSettings(stRegistry, kLocation);
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "status " << status;
    EXPECT_EQ(stored(), kStoredSystemPort);

    port_.SaveSettings(stRegistry, kLocation);
    EXPECT_TRUE(stored().contains("\"Port\"=\"COM12\"\n"));
    EXPECT_EQ(QDir(storeDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"registry.reg"});
}
