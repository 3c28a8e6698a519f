#include "comsettings.h"

#include "tcustomcomport.h"

// --- TComParity --------------------------------------------------------------------

void TComParity::changed() {
    if (owner_)
        owner_->PushLineSettings();
}
void TComParity::SetBits(TParityBits v) {
    if (v != bits_) {
        bits_ = v;
        changed();
    }
}
void TComParity::SetCheck(bool v) {
    if (v != check_) {
        check_ = v;
        changed();
    }
}
void TComParity::SetReplace(bool v) {
    if (v != replace_) {
        replace_ = v;
        changed();
    }
}
void TComParity::SetReplaceChar(char v) {
    if (v != replaceChar_) {
        replaceChar_ = v;
        changed();
    }
}

// --- TComFlowControl ---------------------------------------------------------------

template <typename T> void TComFlowControl::set(T& field, T v) {
    if (v != field) {
        field = v;
        changed();
    }
}
void TComFlowControl::changed() {
    if (owner_)
        owner_->PushLineSettings();
}
void TComFlowControl::SetOutCTSFlow(bool v) {
    set(outCTSFlow_, v);
}
void TComFlowControl::SetOutDSRFlow(bool v) {
    set(outDSRFlow_, v);
}
void TComFlowControl::SetControlDTR(TDTRFlowControl v) {
    set(controlDTR_, v);
}
void TComFlowControl::SetControlRTS(TRTSFlowControl v) {
    set(controlRTS_, v);
}
void TComFlowControl::SetXonXoffOut(bool v) {
    set(xonXoffOut_, v);
}
void TComFlowControl::SetXonXoffIn(bool v) {
    set(xonXoffIn_, v);
}
void TComFlowControl::SetDSRSensitivity(bool v) {
    set(dsrSensitivity_, v);
}
void TComFlowControl::SetTxContinueOnXoff(bool v) {
    set(txContinueOnXoff_, v);
}
void TComFlowControl::SetXonChar(char v) {
    set(xonChar_, v);
}
void TComFlowControl::SetXoffChar(char v) {
    set(xoffChar_, v);
}

TFlowControl TComFlowControl::ReadFlowSummary() const {
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_)
        return fcSoftware;
    if (controlRTS_ != rtsDisable || outCTSFlow_ || xonXoffIn_ || xonXoffOut_)
        return fcCustom;
    return fcNone;
}

void TComFlowControl::WriteFlowSummary(TFlowControl v) {
    if (v != fcCustom) {
        controlRTS_ = rtsDisable;
        outCTSFlow_ = false;
        xonXoffIn_ = false;
        xonXoffOut_ = false;
        if (v == fcHardware) {
            controlRTS_ = rtsHandshake;
            outCTSFlow_ = true;
        } else if (v == fcSoftware) {
            xonXoffIn_ = true;
            xonXoffOut_ = true;
        }
    }
    changed();
}

// --- TComTimeouts ------------------------------------------------------------------

void TComTimeouts::set(std::int32_t& field, std::int32_t v) {
    if (v != field) {
        field = v;
        if (owner_)
            owner_->PushTimeouts();
    }
}
void TComTimeouts::SetReadInterval(std::int32_t v) {
    set(readInterval_, v);
}
void TComTimeouts::SetReadTotalMultiplier(std::int32_t v) {
    set(readTotalMultiplier_, v);
}
void TComTimeouts::SetReadTotalConstant(std::int32_t v) {
    set(readTotalConstant_, v);
}
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t v) {
    set(writeTotalMultiplier_, v);
}
void TComTimeouts::SetWriteTotalConstant(std::int32_t v) {
    set(writeTotalConstant_, v);
}

// --- TComBuffer --------------------------------------------------------------------

void TComBuffer::set(std::int32_t& field, std::int32_t v) {
    if (v != field) {
        field = v;
        if (owner_)
            owner_->PushQueueSizes();
    }
}
void TComBuffer::SetInputSize(std::int32_t v) {
    set(inputSize_, v);
}
void TComBuffer::SetOutputSize(std::int32_t v) {
    set(outputSize_, v);
}
