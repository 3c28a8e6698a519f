// zemta-sign-sim: plays the sign controller on a pseudo-terminal or a serial device until
// SIGINT or SIGTERM, printing the traffic.

#include "signsim.h"

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

constexpr const char* kUsage = R"(Usage: zemta-sign-sim (--link PATH | --device DEVICE) [options]

Plays the price sign's controller on a serial line until SIGINT or SIGTERM.

Line:
  --link PATH            open a pseudo-terminal and make PATH a symbolic link to it, e.g.
                         --link /tmp/com/COM3 for a program run with ZEMTA_COM_DIR=/tmp/com;
                         the link is removed at exit
  --device DEVICE        answer on a real serial device (19200 8N1 raw), e.g. /dev/ttyUSB0
  --baud N               line speed (default 19200)

Sign:
  --panel ADDR=PPP[:G[:F]]
                         contents of a panel at start: ADDR one of 0..9 @ A..I, PPP three price
                         characters, G the grade code character, F the flag byte in decimal;
                         \xNN stands for the byte NN, e.g. 5=\x01\xC09 (a control byte and
                         a code page 1251 letter); repeatable (default: every panel 000,
                         grade 1, flags 0)
  --raw-flags            echo the stored flag byte as it came (0x00 included) instead of
                         0x30 + flag bits
  --no-pacing            write each reply at once instead of at line speed
  --turnaround-ms N      pause before the first byte of a reply (default 2)
  --quiet                do not print the traffic

Faults:
  --fault-panels LIST    apply the faults only to reads and writes of these panels (e.g. 0A@)
  --silent               answer nothing
  --silent-reads         answer no read command, but store and acknowledge write frames
  --reply-delay MS       delay every reply by MS more
  --bad-checksum N       the first N read replies of each panel carry a wrong low checksum digit
  --short-reply          read replies are 13 bytes (the last is missing)
  --trailing K           send K extra '#' bytes after every reply
  --nul-at OFFSET        read replies carry 0x00 at OFFSET (0..13) instead of the byte there
  --raw-read-reply TEXT  answer read commands with exactly TEXT (\xNN escapes allowed)
  --reply-address C      byte 1 of read replies is C instead of the panel's address
  --discovery-t1         the reply to R0E begins T1
  --bad-ok-byte          byte 11 of read replies is X (checksum still matching)
  --no-ack               store write frames but do not acknowledge them
  --wrong-ack            acknowledge write frames with WOX
  --ack-delay MS         delay acknowledgements by MS more
  --store-price PPP      acknowledge write frames as usual, but keep the price PPP instead of
                         the frame's (\xNN escapes allowed)
  --wrong-level-echo     answer LMd with the next digit
  --hang-up-after K      close the line after answering K commands (the program then exits)
  --random-bytes         ignore commands and stream random bytes at line pace

  --help                 this text
)";

[[noreturn]] void fail(const std::string& message) {
    std::cerr << "zemta-sign-sim: " << message << "\n(see --help)\n";
    std::exit(2);
}

int toInt(std::string_view flag, const std::string& value) {
    try {
        std::size_t used = 0;
        const int n = std::stoi(value, &used);
        if (used == value.size() && n >= 0)
            return n;
    } catch (const std::exception&) {
    }
    fail(std::string(flag) + " needs a whole number, not '" + value + "'");
}

// "\xNN" and "\\" escapes, the rest as it stands.
std::string unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 2, 2)), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    using signsim::SimFaults;
    signsim::SimOptions options;
    SimFaults& faults = options.faults;
    std::string link, device;
    bool quiet = false;

    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size())
                fail(a + " needs a value");
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--link") {
            link = value();
        } else if (a == "--device") {
            device = value();
        } else if (a == "--baud") {
            options.baud = toInt(a, value());
        } else if (a == "--panel") {
            const std::string v = value();
            const auto eq = v.find('=');
            if (eq != 1 || !signsim::isPanelAddress(v[0]))
                fail("--panel wants ADDR=PPP[:G[:F]], not '" + v + "'");
            const auto content =
                signsim::parsePanelContent(unescape(std::string_view(v).substr(2)));
            if (!content)
                fail("--panel wants ADDR=PPP[:G[:F]], not '" + v + "'");
            options.panels[v[0]] = *content;
        } else if (a == "--raw-flags") {
            options.rawFlagEcho = true;
        } else if (a == "--no-pacing") {
            options.pacing = false;
        } else if (a == "--turnaround-ms") {
            options.turnaround = std::chrono::milliseconds(toInt(a, value()));
        } else if (a == "--quiet") {
            quiet = true;
        } else if (a == "--fault-panels") {
            for (char c : value()) {
                if (c == ',')
                    continue;
                if (!signsim::isPanelAddress(c))
                    fail(std::string("--fault-panels: not a panel address: ") + c);
                faults.panels.insert(c);
            }
        } else if (a == "--silent") {
            faults.silent = true;
        } else if (a == "--silent-reads") {
            faults.silentReads = true;
        } else if (a == "--reply-delay") {
            faults.replyDelayMs = toInt(a, value());
        } else if (a == "--bad-checksum") {
            faults.badChecksumReplies = toInt(a, value());
        } else if (a == "--short-reply") {
            faults.shortReply = true;
        } else if (a == "--trailing") {
            faults.trailingBytes = toInt(a, value());
        } else if (a == "--nul-at") {
            faults.nulAtOffset = toInt(a, value());
            if (faults.nulAtOffset > 13)
                fail("--nul-at wants an offset 0..13");
        } else if (a == "--raw-read-reply") {
            faults.rawReadReply = unescape(value());
        } else if (a == "--reply-address") {
            const std::string v = value();
            if (v.size() != 1)
                fail("--reply-address wants one character");
            faults.replyAddress = v[0];
        } else if (a == "--discovery-t1") {
            faults.discoveryT1 = true;
        } else if (a == "--bad-ok-byte") {
            faults.badOkByte = true;
        } else if (a == "--no-ack") {
            faults.ack = SimFaults::Ack::None;
        } else if (a == "--wrong-ack") {
            faults.ack = SimFaults::Ack::Wrong;
        } else if (a == "--ack-delay") {
            faults.ackDelayMs = toInt(a, value());
        } else if (a == "--store-price") {
            const std::string price = unescape(value());
            if (price.size() != 3)
                fail("--store-price wants three price characters");
            faults.storedPrice = price;
        } else if (a == "--wrong-level-echo") {
            faults.wrongLevelEcho = true;
        } else if (a == "--hang-up-after") {
            faults.hangUpAfterCommands = toInt(a, value());
        } else if (a == "--random-bytes") {
            faults.randomBytes = true;
        } else {
            fail("unknown option '" + a + "'");
        }
    }
    if (link.empty() == device.empty())
        fail("give exactly one of --link and --device");

    // Block the stop signals in every thread (the simulator's inherits the mask) and take them
    // with sigwait below; the simulator raises SIGUSR1 when its line closes by itself.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    if (!quiet)
        options.onTraffic = [](const signsim::TrafficEvent& event) {
            std::printf("%s\n", signsim::formatTraffic(event).c_str());
            std::fflush(stdout);
        };
    options.onLineClosed = [] { ::kill(::getpid(), SIGUSR1); };

    try {
        signsim::SignSimulator sim(options);
        if (!link.empty()) {
            sim.startPty(link);
            std::printf("zemta-sign-sim: serving %s (link %s)\n", sim.ttyPath().c_str(),
                        link.c_str());
        } else {
            sim.startDevice(device);
            std::printf("zemta-sign-sim: serving %s at %d baud\n", sim.ttyPath().c_str(),
                        options.baud);
        }
        std::fflush(stdout);

        int signal = 0;
        sigwait(&stopSignals, &signal);
        if (signal == SIGUSR1) {
            std::printf("zemta-sign-sim: line closed\n");
        }
        sim.stop();
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "zemta-sign-sim: " << e.what() << "\n";
        return 1;
    }
}
