#pragma once
// The commands of zemta-sign on the sign operations of signlink.

#include "arguments.h"
#include "console.h"

namespace cli {

// Exit statuses.
enum ExitStatus {
    kDone = 0,         // done, and the sign confirmed it
    kNotConfirmed = 1, // the sign did not answer, or did not take what was sent
    kUsageError = 2,   // nothing was sent
    kPortUnusable = 3, // the serial port component raised EComPort, or the installer runs
};

// Runs the whole command line: parsing, help, the command. Throws nothing but
// sessionend::Ending (the session ends), after the port is closed.
int run(const QStringList& args, Console& console);

} // namespace cli
