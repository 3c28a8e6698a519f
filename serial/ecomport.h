#pragma once
// EComPort: the one exception of the serial port component. It carries the
// component's error code, the system's error code (errno here, -1 when none)
// and the English message "<text> (win error code: N)".

#include <stdexcept>
#include <string>

// Component error codes.
enum ComErrorCode {
    CError_OpenFailed = 1,
    CError_WriteFailed = 2,
    CError_ReadFailed = 3,
    CError_InvalidAsync = 4,
    CError_PurgeFailed = 5,
    CError_AsyncCheck = 6,
    CError_SetStateFailed = 7,
    CError_TimeoutsFailed = 8,
    CError_SetupComFailed = 9,
    CError_ClearComFailed = 10,
    CError_ModemStatFailed = 11,
    CError_EscapeComFailed = 12,
    CError_TransmitFailed = 13,
    CError_ConnChangeProp = 14,
    CError_EnumPortsFailed = 15,
    CError_StoreFailed = 16,
    CError_LoadFailed = 17,
    CError_RegFailed = 18,
    CError_LedStateFailed = 19,
    CError_ThreadCreated = 20,
    CError_WaitFailed = 21,
    CError_HasLink = 22,
    CError_RegError = 23,
    // The driver kept a pending operation past the stop's limit: the port stays held
    // by this process until it ends.
    CError_DriverHeld = 24,
};

class EComPort : public std::runtime_error {
public:
    // An error with a system code: message "<text> (win error code: N)".
    EComPort(int errorCode, int systemCode);
    // An error without a system code: the text alone, SystemCode -1.
    explicit EComPort(int errorCode);

    int ErrorCode() const noexcept { return errorCode_; }
    int SystemCode() const noexcept { return systemCode_; }

    // The English text of a component error code (before catalog lookup).
    static const char* CodeText(int errorCode);

private:
    int errorCode_;
    int systemCode_;
};
