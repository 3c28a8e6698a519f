#include "ecomport.h"

#include "catalog.h"

namespace {
const char* const kTexts[] = {
    "",
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
    "Serial driver did not release the port",
};

std::string withSystemCode(int errorCode, int systemCode) {
    // The suffix comes from the catalog; its "%d" is replaced here rather than by
    // printf, so a translated text can never act as a format string.
    std::string suffix = catalog::cport(" (win error code: %d)");
    const auto at = suffix.find("%d");
    if (at != std::string::npos)
        suffix.replace(at, 2, std::to_string(systemCode));
    return catalog::cport(EComPort::CodeText(errorCode)) + suffix;
}
} // namespace

const char* EComPort::CodeText(int errorCode) {
    constexpr int count = int(sizeof kTexts / sizeof kTexts[0]);
    return errorCode > 0 && errorCode < count ? kTexts[errorCode] : "";
}

EComPort::EComPort(int errorCode, int systemCode)
    : std::runtime_error(withSystemCode(errorCode, systemCode)), errorCode_(errorCode),
      systemCode_(systemCode) {}

EComPort::EComPort(int errorCode)
    : std::runtime_error(catalog::cport(CodeText(errorCode))), errorCode_(errorCode),
      systemCode_(-1) {}
