#pragma once
// Settings objects of the serial port component. Each holds its values and a
// pointer to the owning component; a setter that changes a value asks the owner
// to push the affected group to the device (which it does only while open).

#include "comtypes.h"

#include <cstdint>

class TCustomComPort;

// Parity settings: the parity kind, whether received parity is checked, and the
// replacement of bytes with parity errors.
class TComParity {
public:
    explicit TComParity(TCustomComPort* owner = nullptr) : owner_(owner) {}

    TParityBits Bits() const { return bits_; }
    bool Check() const { return check_; }
    bool Replace() const { return replace_; }
    char ReplaceChar() const { return replaceChar_; }
    void SetBits(TParityBits v);
    void SetCheck(bool v);
    void SetReplace(bool v);
    void SetReplaceChar(char v);

private:
    void changed();
    TCustomComPort* owner_;
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    char replaceChar_ = 0;
};

// Hardware and software flow control flags.
class TComFlowControl {
public:
    explicit TComFlowControl(TCustomComPort* owner = nullptr) : owner_(owner) {}

    bool OutCTSFlow() const { return outCTSFlow_; }
    bool OutDSRFlow() const { return outDSRFlow_; }
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    bool XonXoffOut() const { return xonXoffOut_; }
    bool XonXoffIn() const { return xonXoffIn_; }
    bool DSRSensitivity() const { return dsrSensitivity_; }
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    char XonChar() const { return xonChar_; }
    char XoffChar() const { return xoffChar_; }

    void SetOutCTSFlow(bool v);
    void SetOutDSRFlow(bool v);
    void SetControlDTR(TDTRFlowControl v);
    void SetControlRTS(TRTSFlowControl v);
    void SetXonXoffOut(bool v);
    void SetXonXoffIn(bool v);
    void SetDSRSensitivity(bool v);
    void SetTxContinueOnXoff(bool v);
    void SetXonChar(char v);
    void SetXoffChar(char v);

    // The summary of the flags (hardware, software, none or custom).
    TFlowControl ReadFlowSummary() const;
    // Sets the flags for a summary value (fcCustom keeps them) and always pushes
    // the line settings, without comparing.
    void WriteFlowSummary(TFlowControl v);

private:
    template <typename T> void set(T& field, T v);
    void changed();
    TCustomComPort* owner_;
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    char xonChar_ = 17;
    char xoffChar_ = 19;
};

// Device timeouts in milliseconds; -1 stands for "no limit" (the largest value).
class TComTimeouts {
public:
    explicit TComTimeouts(TCustomComPort* owner = nullptr) : owner_(owner) {}

    std::int32_t ReadInterval() const { return readInterval_; }
    std::int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
    std::int32_t ReadTotalConstant() const { return readTotalConstant_; }
    std::int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    std::int32_t WriteTotalConstant() const { return writeTotalConstant_; }
    void SetReadInterval(std::int32_t v);
    void SetReadTotalMultiplier(std::int32_t v);
    void SetReadTotalConstant(std::int32_t v);
    void SetWriteTotalMultiplier(std::int32_t v);
    void SetWriteTotalConstant(std::int32_t v);

private:
    void set(std::int32_t& field, std::int32_t v);
    TCustomComPort* owner_;
    std::int32_t readInterval_ = -1;
    std::int32_t readTotalMultiplier_ = 0;
    std::int32_t readTotalConstant_ = 0;
    std::int32_t writeTotalMultiplier_ = 100;
    std::int32_t writeTotalConstant_ = 1000;
};

// Recommended sizes of the driver's input and output queues, in bytes.
class TComBuffer {
public:
    explicit TComBuffer(TCustomComPort* owner = nullptr) : owner_(owner) {}

    std::int32_t InputSize() const { return inputSize_; }
    std::int32_t OutputSize() const { return outputSize_; }
    void SetInputSize(std::int32_t v);
    void SetOutputSize(std::int32_t v);

private:
    void set(std::int32_t& field, std::int32_t v);
    TCustomComPort* owner_;
    std::int32_t inputSize_ = 1024;
    std::int32_t outputSize_ = 1024;
};
