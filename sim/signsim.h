#pragma once
// The sign simulator: plays the sign controller on one end of a serial line, either the
// master side of a pseudo-terminal (with a symbolic link to the slave, e.g. $ZEMTA_COM_DIR/COM3)
// or a real serial device at 19200 8N1.
//
// Commands it understands (bytes as they stand, no terminators):
//   "R" addr "E"                          -> 14-byte panel reply
//       'T', addr, p1, p2, p3, p3, grade, flag, '0', '0', 'O', 'K', checksum hi, checksum lo
//   "W" addr p1 p2 p3 p3 grade flag "E" c1 c2 (11 bytes; checksum over the first 9)
//                                         -> stores the panel, answers "WOK"; a frame whose
//                                            checksum does not match is neither stored nor answered
//   "LA"                                  -> "LA"
//   "LM" digit                            -> the same three bytes
//   "q" effect                            -> "FOK"
// Panel addresses: '0'..'9' (first half, rows 1..10) and '@','A'..'I' (second half, rows 1..10).
// A byte that starts no known command is dropped, so the parser resynchronises on the next one.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace signsim {

// The 20 panel addresses, first half rows 1..10, then second half rows 1..10.
inline constexpr std::array<char, 20> kPanelAddresses = {'0', '1', '2', '3', '4', '5', '6',
                                                         '7', '8', '9', '@', 'A', 'B', 'C',
                                                         'D', 'E', 'F', 'G', 'H', 'I'};

bool isPanelAddress(char c);

// Two upper-case hex digits of the XOR of all bytes of body, high digit first.
std::string checksumChars(std::string_view body);

// What one panel holds.
struct PanelContent {
    std::string price = "000"; // exactly three characters
    char grade = '1';          // grade code as stored ('1'..'5', or whatever a frame carried)
    std::uint8_t flags = 0;    // flag byte as it came in the write frame (bit0 snow, bit1 euro)

    bool operator==(const PanelContent&) const = default;
};

// Parses "PPP[:G[:F]]" (price, grade code character, flag number 0..255 decimal); nullopt if bad.
std::optional<PanelContent> parsePanelContent(std::string_view text);

// The 14-byte reply of a panel. Byte 7 is 0x30 + (flags & 3), or the stored flag byte
// itself when rawFlagEcho is set.
std::string panelReply(char address, const PanelContent& panel, bool rawFlagEcho = false);

// Faults the simulator can inject. With `panels` non-empty, the faults apply only to read
// commands and write frames for those panels; with it empty, to every command. Hang-up and
// random bytes concern the whole line and ignore `panels`. The counts behind badChecksumReplies
// and hangUpAfterCommands start again whenever faults are set.
struct SimFaults {
    std::set<char> panels;

    bool silent = false;        // ignore commands: record them, store nothing, answer nothing
    bool silentReads = false;   // answer no read command; write frames are taken as usual
    int replyDelayMs = 0;       // extra delay before a reply starts
    int badChecksumReplies = 0; // first N read replies of each panel carry a wrong low digit
    bool shortReply = false;    // read replies lose their last byte (13 bytes)
    int trailingBytes = 0;      // K extra '#' bytes after every reply
    int nulAtOffset = -1;       // read replies: this byte (0..13) replaced by 0x00 after the
                                // checksum was computed over the original byte
    std::optional<std::string> rawReadReply; // read commands get exactly these bytes instead
    std::optional<char> replyAddress;        // byte 1 of read replies names this panel instead
    bool discoveryT1 = false;                // the reply to "R0E" begins "T1" (checksum matching)
    bool badOkByte = false;                  // byte 11 of read replies is 'X', checksum matching

    enum class Ack { Normal, None, Wrong };
    Ack ack = Ack::Normal; // None: frame stored, nothing sent; Wrong: answers "WOX"
    int ackDelayMs = 0;    // extra delay before the acknowledgement
    // Write frames are taken (and acknowledged as `ack` says), but the panel keeps this
    // price instead of the frame's: a panel that takes a write and holds something else.
    std::optional<std::string> storedPrice;

    bool wrongLevelEcho = false; // "LM" d is echoed with digit (d+1) mod 10
    int hangUpAfterCommands = 0; // after answering K commands, close the line (0 = never)
    bool randomBytes = false;    // ignore commands, stream random bytes at line pace
};

// One record of the traffic: a command received, a reply sent, or bytes skipped.
struct TrafficEvent {
    enum class Direction { Received, Sent, Dropped }; // Dropped: bytes that started no command
    Direction direction;
    std::string bytes;
    std::chrono::system_clock::time_point time;
};

// "12:34:56.789  RX  52 30 45  |R0E|" (TX sent, ?? dropped; non-printable bytes shown as '.').
std::string formatTraffic(const TrafficEvent& event);

// A command as the simulator parsed it off the line.
struct ReceivedCommand {
    std::string bytes;
    std::chrono::steady_clock::time_point time;
};

// How the simulator behaves; fixed when it starts, except the faults (setFaults).
struct SimOptions {
    std::map<char, PanelContent> panels; // contents at start; missing panels get PanelContent{}
    // On: replies go out byte by byte at line speed (10 bits a byte) after the turnaround.
    // Off: each reply is written whole at once (fault delays still apply).
    bool pacing = true;
    int baud = 19200;                           // line speed for pacing and for a real device
    std::chrono::microseconds turnaround{2000}; // before the first byte of a reply
    bool rawFlagEcho = false; // byte 7 of read replies is the stored flag byte as is
    SimFaults faults;
    // Called on the simulator's thread for every command received and reply sent.
    std::function<void(const TrafficEvent&)> onTraffic;
    // Called on the simulator's thread when the line closes by itself (hang-up fault, device gone).
    std::function<void()> onLineClosed;
};

// Plays the sign controller on a pseudo-terminal or a serial device, with records for tests.
class SignSimulator {
public:
    explicit SignSimulator(SimOptions options = {});
    ~SignSimulator(); // stops, removes the link
    SignSimulator(const SignSimulator&) = delete;
    SignSimulator& operator=(const SignSimulator&) = delete;

    // Opens a pseudo-terminal (slave raw, one slave fd kept open for the simulator's life) and
    // starts answering on its master. With a non-empty linkPath, creates (replaces) a symbolic
    // link there to the slave's path. Throws std::system_error on failure.
    void startPty(const std::string& linkPath = {});
    // Opens a serial device raw at the configured baud, 8N1, and starts answering on it.
    void startDevice(const std::string& devicePath);
    // Wakes and joins the thread, closes the line, removes the link. Idempotent.
    void stop();

    // The tty the program under test opens (the pty slave, or the device).
    std::string ttyPath() const;
    const std::string& linkPath() const { return linkPath_; }
    // False before start, after stop, and after a hang-up fault closed the line.
    bool lineOpen() const;

    void setFaults(const SimFaults& faults);
    void setPanel(char address, const PanelContent& content);
    PanelContent panel(char address) const;

    // Records (safe to read from any thread while the simulator runs).
    std::vector<ReceivedCommand> received() const;
    // How many received commands were exactly these bytes.
    int countReceived(std::string_view bytes) const;
    // Bytes dropped while resynchronising (no known command started there).
    std::size_t droppedBytes() const;
    std::optional<std::uint8_t> lastEffect() const;
    std::string lastBrightnessCommand() const; // "LA", "LM7", or empty
    void clearRecords();
    // Blocks until at least n commands were received in total, or the timeout passed.
    bool waitForCommands(std::size_t n, std::chrono::milliseconds timeout) const;

private:
    struct Engine;
    void launch(std::unique_ptr<Engine> engine);
    void run();

    SimOptions options_;
    std::string linkPath_;
    std::unique_ptr<Engine> engine_; // line fds, parser and output queue (thread-owned state)
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable commandsArrived_;
    SimFaults faults_;
    std::map<char, PanelContent> panels_;
    std::vector<ReceivedCommand> received_;
    std::size_t dropped_ = 0;
    std::optional<std::uint8_t> lastEffect_;
    std::string lastBrightness_;
    bool lineOpen_ = false;
};

} // namespace signsim
