#pragma once
// TComPort: the serial port component as the main window owns it. It adds nothing
// to TCustomComPort; its properties are the ones a window sets up.

#include "tcustomcomport.h"

class TComPort : public TCustomComPort {
    Q_OBJECT
public:
    using TCustomComPort::TCustomComPort;
};
