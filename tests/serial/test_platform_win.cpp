// The Windows serial backend without a port: the device control block made from the
// line settings, the device names of port names, the errors of a closed or missing
// port, the refusal of a held port, and the reader of the message catalogs.

#include "mofile.h"
#include "comdevice_win.h"
#include "listserialports.h"
#include "portmap.h"
#include "tcomport.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <windows.h>

namespace {

bool underWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

// The fields of a DCB that the settings decide, in one comparable record.
struct DcbFields {
    DWORD baudRate;
    int byteSize, parity, stopBits;
    int fParity, fOutxCtsFlow, fOutxDsrFlow, fDtrControl, fRtsControl, fDsrSensitivity,
        fTXContinueOnXoff, fOutX, fInX, fErrorChar;
    int errorChar, xonChar, xoffChar, evtChar, xonLim, xoffLim;
    bool operator==(const DcbFields&) const = default;
};

DcbFields fieldsOf(const DCB& d) {
    return {d.BaudRate,       d.ByteSize,          d.Parity,     d.StopBits,    int(d.fParity),
            int(d.fOutxCtsFlow), int(d.fOutxDsrFlow), int(d.fDtrControl), int(d.fRtsControl),
            int(d.fDsrSensitivity), int(d.fTXContinueOnXoff), int(d.fOutX), int(d.fInX),
            int(d.fErrorChar), std::uint8_t(d.ErrorChar), std::uint8_t(d.XonChar),
            std::uint8_t(d.XoffChar), std::uint8_t(d.EvtChar), d.XonLim, d.XoffLim};
}

std::ostream& operator<<(std::ostream& os, const DcbFields& f) {
    return os << f.baudRate << " baud, " << f.byteSize << '/' << f.parity << '/' << f.stopBits
              << ", parity check " << f.fParity << ", cts " << f.fOutxCtsFlow << ", dsr "
              << f.fOutxDsrFlow << ", dtr " << f.fDtrControl << ", rts " << f.fRtsControl
              << ", dsr sens " << f.fDsrSensitivity << ", tx cont " << f.fTXContinueOnXoff
              << ", outx " << f.fOutX << ", inx " << f.fInX << ", error char " << f.fErrorChar
              << '/' << f.errorChar << ", xon/xoff " << f.xonChar << '/' << f.xoffChar
              << ", evt " << f.evtChar << ", limits " << f.xonLim << '/' << f.xoffLim;
}

TEST(DeviceControlBlock, CarriesEveryLineSettingInItsField) {
    struct Case {
        const char* what;
        std::function<void(LineSettings&)> set;
        DcbFields expected;
    };
    const Case cases[] = {
        // The sign's line: 19200 8N1, DTR and RTS held off, no flow control. Zeros are
        // to be dropped (discardNull), but by the device's own queue, not by fNull.
        {"the sign's line",
         [](LineSettings& s) {
             s.baudRate = 19200;
             s.discardNull = true;
         },
         {19200, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x13, 0, 256, 256}},
        // 7E2 with parity checking and replacement by '?', every flow control flag on,
        // DTR handshake, RTS toggle, CR as event character, a 4096-byte input queue.
        {"every flag",
         [](LineSettings& s) {
             s.baudRate = 256000;
             s.dataBits = 7;
             s.parity = prEven;
             s.stopBits = sbTwoStopBits;
             s.parityCheck = s.parityReplace = true;
             s.parityReplaceChar = '?';
             s.outCTSFlow = s.outDSRFlow = s.dsrSensitivity = s.txContinueOnXoff = true;
             s.xonXoffOut = s.xonXoffIn = true;
             s.dtr = dtrHandshake;
             s.rts = rtsToggle;
             s.xonChar = 0x01;
             s.xoffChar = 0x02;
             s.eventChar = 0x0D;
             s.inputQueueSize = 4096;
         },
         {256000, 7, 2, 2, 1, 1, 1, 2, 3, 1, 1, 1, 1, 1, '?', 0x01, 0x02, 0x0D, 1024, 1024}},
        // A replacement character without parity checking replaces nothing; mark
        // parity, 5 bits and 1.5 stop bits; DTR on, RTS handshake.
        {"replacement without checking",
         [](LineSettings& s) {
             s.baudRate = 110;
             s.dataBits = 5;
             s.parity = prMark;
             s.stopBits = sbOne5StopBits;
             s.parityReplace = true;
             s.parityReplaceChar = '#';
             s.dtr = dtrEnable;
             s.rts = rtsHandshake;
             s.inputQueueSize = 1023;
         },
         {110, 5, 3, 1, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0x11, 0x13, 0, 255, 255}},
    };
    for (const Case& c : cases) {
        LineSettings s;
        c.set(s);
        const DCB dcb = windevice::makeDcb(s);
        EXPECT_EQ(fieldsOf(dcb), c.expected) << c.what;
        EXPECT_EQ(dcb.DCBlength, sizeof(DCB)) << c.what;
        EXPECT_EQ(dcb.fBinary, 1u) << c.what;
        EXPECT_EQ(dcb.fNull, 0u) << c.what;
        EXPECT_EQ(dcb.fAbortOnError, 0u) << c.what;
    }
}

TEST(PortNames, ComNamesInAnyCaseOpenInTheDeviceNamespace) {
    const struct {
        const char* name;
        const char* device;
    } cases[] = {
        {"COM1", R"(\\.\COM1)"},
        {"com12", R"(\\.\COM12)"}, // from COM10 on only the device namespace reaches it
        {"Com255", R"(\\.\COM255)"},
        {R"(\\.\COM7)", R"(\\.\COM7)"},   // already a device path
        {R"(\\.\CNCA0)", R"(\\.\CNCA0)"}, // any device path
        {"CNCA0", R"(\\.\CNCA0)"},        // a port a driver named otherwise
        {"", ""},
        {R"(\\.\)", ""},
        {R"(C:\COM1)", ""}, // a path, not a device name
        {"/dev/ttyS0", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(portmap::devicePath(QString::fromUtf8(c.name)), c.device) << c.name;
}

TEST(ClosedPort, DeviceOperationsFailWithTheInvalidHandleCode) {
    TComPort port;
    const struct {
        const char* what;
        std::function<void()> run;
        int code;
    } cases[] = {
        {"WaitingCount", [&] { port.WaitingCount(); }, CError_ClearComFailed},
        {"PurgeQueues", [&] { port.PurgeQueues(true, true); }, CError_PurgeFailed},
        {"SendText", [&] { port.SendText("R0E"); }, CError_WriteFailed},
        {"TakeText",
         [&] {
             QByteArray text;
             port.TakeText(text, 10);
         },
         CError_ReadFailed},
    };
    for (const auto& c : cases) {
        try {
            c.run();
            ADD_FAILURE() << c.what << " did not raise";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorCode(), c.code) << c.what;
            EXPECT_EQ(e.SystemCode(), ERROR_INVALID_HANDLE) << c.what;
        }
    }
    try {
        port.WaitingCount();
    } catch (const EComPort& e) {
        EXPECT_STREQ(e.what(), "ClearCommError function failed (win error code: 6)");
    }
}

TEST(MissingPort, OpenFailsWithFileNotFound) {
    TComPort port;
    port.SetPort(QStringLiteral("COM249"));
    try {
        port.Open();
        FAIL() << "COM249 opened";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), CError_OpenFailed);
        EXPECT_EQ(e.SystemCode(), ERROR_FILE_NOT_FOUND);
        EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    }
    EXPECT_FALSE(port.Connected());
}

TEST(HeldPort, SecondOpenIsRefusedWithAccessDenied) {
    if (underWine())
        GTEST_SKIP() << "Wine opens a port that is already open a second time; "
                        "Windows refuses it (ERROR_ACCESS_DENIED)";
    QStringList ports;
    try {
        ListSerialPorts(ports);
    } catch (const EComPort&) {
    }
    TComPort first;
    for (const QString& name : ports) {
        first.SetPort(name);
        try {
            first.Open();
            break;
        } catch (const EComPort&) {
        }
    }
    if (!first.Connected())
        GTEST_SKIP() << "no serial port on this computer that could be opened";
    TComPort second;
    second.SetPort(first.Port());
    try {
        second.Open();
        FAIL() << first.Port().toStdString() << " opened twice";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), CError_OpenFailed);
        EXPECT_EQ(e.SystemCode(), ERROR_ACCESS_DENIED);
    }
}

TEST(Catalogs, TheCompiledRussianCatalogReadsBack) {
    const auto texts = catalog::readMoFile(std::filesystem::path(ZEMTA_BUILD_LOCALEDIR) / "ru" /
                                           "LC_MESSAGES" / "cport.mo");
    ASSERT_FALSE(texts.empty());
    const struct {
        const char* original;
        const char* translated;
    } cases[] = {
        {"Unable to open com port", "Не удалось открыть COM-порт"},
        {"ReadFile function failed", "Ошибка чтения из COM-порта"},
    };
    for (const auto& c : cases) {
        const auto it = texts.find(c.original);
        ASSERT_NE(it, texts.end()) << c.original;
        EXPECT_EQ(it->second, c.translated);
    }
    EXPECT_EQ(texts.count(""), 0u); // the header is no text
    EXPECT_TRUE(catalog::readMoFile(std::filesystem::path(ZEMTA_BUILD_LOCALEDIR) / "none.mo").empty());
}

} // namespace
