// The registry on Windows: the six values SaveSettings writes and where, and the port
// list read from a key laid out as the system's serial port map. Both work on keys of
// their own below HKEY_CURRENT_USER (and the machine key where the user may write),
// removed again afterwards.

#include "listserialports.h"
#include "listserialports_win.h"
#include "tcustomcomport.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

namespace {

// A key name no other run uses: Software\ZEMTA-test-<process id>.
std::wstring testKey() {
    return L"Software\\ZEMTA-test-" + std::to_wstring(::GetCurrentProcessId());
}

// Removes the test key below both roots, at the start and at the end of each test.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { removeKeys(); }
    void TearDown() override { removeKeys(); }
    static void removeKeys() {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            ::RegDeleteTreeW(root, testKey().c_str());
    }
};

using Values = std::vector<std::pair<std::wstring, std::wstring>>;

// The values of root\subkey, sorted by name (Windows enumerates values in the order
// written, Wine by name); texts only (other types show as "?").
Values readValues(HKEY root, const std::wstring& subkey) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    Values values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameChars = 256;
        wchar_t data[256];
        DWORD bytes = sizeof data;
        DWORD type = 0;
        if (::RegEnumValueW(key, i, name, &nameChars, nullptr, &type,
                            reinterpret_cast<BYTE*>(data), &bytes) != ERROR_SUCCESS)
            break;
        const bool terminated = type == REG_SZ && bytes >= 2 && data[bytes / 2 - 1] == L'\0';
        values.emplace_back(name, terminated ? std::wstring(data, bytes / 2 - 1) : L"?");
    }
    ::RegCloseKey(key);
    std::sort(values.begin(), values.end());
    return values;
}

TEST_F(RegistryTest, SaveSettingsWritesTheSixTextsUnderTheLocationsKey) {
    // By name; nothing else in the key.
    const Values expected = {{L"BaudRate", L"19200"}, {L"DataBits", L"8"}, {L"FlowControl", L"None"},
                             {L"Parity", L"None"},    {L"Port", L"COM3"},  {L"StopBits", L"1"}};
    const std::wstring key = testKey() + L"\\ComPort";
    const QString path = QString::fromStdWString(testKey());
    const struct {
        QString location;
        bool machine; // the machine key, or the user's where the machine's is refused
    } cases[] = {
        {QStringLiteral("HKEY_CURRENT_USER\\") + path, false},
        {QStringLiteral("hkey_current_user\\") + path + QStringLiteral("\\"), false},
        {QStringLiteral("HKEY_CLASSES_ROOT\\") + path, false}, // other roots: the user's
        {QStringLiteral("HKEY_LOCAL_MACHINE\\") + path, true},
    };
    for (const auto& c : cases) {
        removeKeys();
        TCustomComPort port;
        port.setObjectName(QStringLiteral("ComPort"));
        port.SetPort(QStringLiteral("COM3"));
        port.SetBaudRate(br19200);
        ASSERT_NO_THROW(port.SaveSettings(stRegistry, c.location)) << c.location.toStdString();
        const Values machine = readValues(HKEY_LOCAL_MACHINE, key);
        const Values user = readValues(HKEY_CURRENT_USER, key);
        if (c.machine) {
            EXPECT_EQ(machine.empty() ? user : machine, expected) << c.location.toStdString();
            EXPECT_TRUE(machine.empty() || user.empty()) << "written twice";
        } else {
            EXPECT_EQ(user, expected) << c.location.toStdString();
            EXPECT_TRUE(machine.empty()) << c.location.toStdString();
        }
    }
}

TEST_F(RegistryTest, SaveSettingsWithoutAKeyFailsWithCode16) {
    TCustomComPort port;
    port.setObjectName(QStringLiteral("ComPort"));
    for (const QString& location :
         {QStringLiteral("HKEY_CURRENT_USER"), QStringLiteral("HKEY_CURRENT_USER\\Software\\\\X")}) {
        try {
            port.SaveSettings(stRegistry, location);
            ADD_FAILURE() << location.toStdString() << " stored";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorCode(), CError_StoreFailed);
            EXPECT_STREQ(e.what(), "Failed to store settings");
        }
    }
}

TEST_F(RegistryTest, PortListHoldsTheMapsNamesSortedAsText) {
    const std::wstring map = testKey() + L"\\SERIALCOMM";
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, map.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    // As drivers write them: the device as the value's name, the port as its text.
    const Values written = {{L"\\Device\\Serial0", L"COM2"},
                            {L"\\Device\\Serial1", L"COM10"},
                            {L"\\Device\\VCP0", L"com3"},
                            {L"\\Device\\com0com10", L"CNCA0"}};
    for (const auto& [name, text] : written)
        ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         DWORD((text.size() + 1) * sizeof(wchar_t)));
    const DWORD number = 7;
    ::RegSetValueExW(key, L"not a port", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof number);
    ::RegCloseKey(key);

    EXPECT_EQ(serialports::listPortsInKey(HKEY_CURRENT_USER, map.c_str()),
              (QStringList{"CNCA0", "COM10", "COM2", "com3"}));

    try {
        serialports::listPortsInKey(HKEY_CURRENT_USER, (testKey() + L"\\NOPORTS").c_str());
        FAIL() << "a missing map was read";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), CError_RegError);
        EXPECT_EQ(e.SystemCode(), ERROR_FILE_NOT_FOUND);
        EXPECT_TRUE(serialports::noSerialPorts(e));
    }
}

} // namespace
