#include "signsim.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <deque>
#include <random>
#include <stdexcept>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace signsim {

namespace {

using Clock = std::chrono::steady_clock;

// Closes its file descriptor when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

speed_t speedConstant(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        throw std::invalid_argument("unsupported baud rate " + std::to_string(baud));
    }
}

// Raw 8N1 at the given speed, no handshake, reads return what is there.
void makeRaw(int fd, int baud) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        throwErrno("tcgetattr");
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speedConstant(baud));
    ::cfsetospeed(&tio, speedConstant(baud));
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        throwErrno("tcsetattr");
}

void setNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        throwErrno("fcntl");
}

// Replaces whatever is at linkPath by a symbolic link to target.
void placeLink(const std::string& target, const std::string& linkPath) {
    if (::unlink(linkPath.c_str()) != 0 && errno != ENOENT)
        throwErrno("unlink " + linkPath);
    if (::symlink(target.c_str(), linkPath.c_str()) != 0)
        throwErrno("symlink " + linkPath);
}

// How long a command may sit half-received before a new byte discards it.
constexpr auto kStaleInput = std::chrono::milliseconds(100);

// Byte count needed to judge the command starting at input[0]: 0 when the first byte starts no
// command (drop it), or the command's length. Returns the length even when not all bytes are in.
std::size_t commandLength(std::string_view input) {
    switch (input[0]) {
    case 'R':
        return 3;
    case 'W':
        return 11;
    case 'L':
        if (input.size() < 2)
            return 2;
        return input[1] == 'A' ? 2 : input[1] == 'M' ? 3 : 0;
    case 'q':
        return 2;
    default:
        return 0;
    }
}

// Whether a complete command is well formed (otherwise its first byte is dropped).
bool wellFormed(std::string_view cmd) {
    switch (cmd[0]) {
    case 'R':
        return isPanelAddress(cmd[1]) && cmd[2] == 'E';
    case 'W':
        return isPanelAddress(cmd[1]) && cmd[8] == 'E';
    default:
        return true;
    }
}

} // namespace

bool isPanelAddress(char c) {
    return std::find(kPanelAddresses.begin(), kPanelAddresses.end(), c) != kPanelAddresses.end();
}

std::string checksumChars(std::string_view body) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    unsigned x = 0;
    for (char c : body)
        x ^= static_cast<unsigned char>(c);
    return {kHex[x >> 4], kHex[x & 0x0F]};
}

std::optional<PanelContent> parsePanelContent(std::string_view text) {
    PanelContent p;
    if (text.size() < 3)
        return std::nullopt;
    p.price = std::string(text.substr(0, 3));
    text.remove_prefix(3);
    if (text.empty())
        return p;
    if (text.size() < 2 || text[0] != ':')
        return std::nullopt;
    p.grade = text[1];
    text.remove_prefix(2);
    if (text.empty())
        return p;
    if (text.size() < 2 || text[0] != ':')
        return std::nullopt;
    text.remove_prefix(1);
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || (value = value * 10 + unsigned(c - '0')) > 255)
            return std::nullopt;
    }
    p.flags = static_cast<std::uint8_t>(value);
    return p;
}

std::string panelReply(char address, const PanelContent& panel, bool rawFlagEcho) {
    std::string price = panel.price;
    price.resize(3, '0');
    std::string r;
    r += 'T';
    r += address;
    r += price;
    r += price[2];
    r += panel.grade;
    r += rawFlagEcho ? static_cast<char>(panel.flags) : static_cast<char>(0x30 + (panel.flags & 3));
    r += "00OK";
    r += checksumChars(r);
    return r;
}

std::string formatTraffic(const TrafficEvent& event) {
    using namespace std::chrono;
    const auto t = system_clock::to_time_t(event.time);
    const auto ms = duration_cast<milliseconds>(event.time.time_since_epoch()).count() % 1000;
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms));
    std::string line = stamp;
    switch (event.direction) {
    case TrafficEvent::Direction::Received:
        line += "  RX ";
        break;
    case TrafficEvent::Direction::Sent:
        line += "  TX ";
        break;
    case TrafficEvent::Direction::Dropped:
        line += "  ?? ";
        break;
    }
    for (char c : event.bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned char>(c));
        line += hex;
    }
    line += "  |";
    for (char c : event.bytes)
        line += (c >= 0x20 && c < 0x7F) ? c : '.';
    line += '|';
    return line;
}

// The thread's own state: the line, the parser's input, the output queue.
struct SignSimulator::Engine {
    // One reply on its way out; byte i is due at firstDue + i * byteTime.
    struct Outgoing {
        std::string bytes;
        Clock::time_point firstDue;
        std::size_t sent = 0;
    };

    UniqueFd line;      // pty master or serial device
    UniqueFd keptSlave; // pty only: keeps the slave alive across the program's close/open
    UniqueFd wake;      // eventfd: stop or faults changed
    std::atomic<bool> stopRequested{false};
    std::string ttyPath;

    Clock::duration byteTime; // 10 bits at the line speed
    Clock::duration lineTime(std::size_t bytes) const {
        return byteTime * static_cast<Clock::rep>(bytes);
    }
    std::string input;
    Clock::time_point lastInput;
    std::deque<Outgoing> out;
    SimFaults faults; // the thread's copy, refreshed on wake
    std::map<char, int> readsPerPanel;
    int commandsSeen = 0;
    bool hangUpPending = false;
    bool lastReplyOut = false;     // the command that set hangUpPending was answered
    bool programMovedOn = false;   // a command came after it: the program is done with the reply
    std::optional<Clock::time_point> hangUpDeadline;
    std::mt19937 random{std::random_device{}()};
    Clock::time_point nextRandomDue;
};

SignSimulator::SignSimulator(SimOptions options)
    : options_(std::move(options)), faults_(options_.faults) {
    for (char a : kPanelAddresses)
        panels_[a] = PanelContent{};
    for (const auto& [address, content] : options_.panels) {
        if (!isPanelAddress(address))
            throw std::invalid_argument(std::string("not a panel address: ") + address);
        panels_[address] = content;
    }
    speedConstant(options_.baud); // validates
}

SignSimulator::~SignSimulator() {
    stop();
}

void SignSimulator::startPty(const std::string& linkPath) {
    if (engine_)
        throw std::logic_error("simulator already started");
    auto engine = std::make_unique<Engine>();
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        throwErrno("openpty");
    engine->line = UniqueFd(master);
    engine->keptSlave = UniqueFd(slave);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    // Raw at once, so nothing the program sends before it sets its own modes is echoed.
    makeRaw(slave, options_.baud);
    setNonBlocking(master);
    char name[128];
    if (::ptsname_r(master, name, sizeof name) != 0)
        throwErrno("ptsname_r");
    engine->ttyPath = name;
    if (!linkPath.empty())
        placeLink(engine->ttyPath, linkPath);
    linkPath_ = linkPath;
    launch(std::move(engine));
}

void SignSimulator::startDevice(const std::string& devicePath) {
    if (engine_)
        throw std::logic_error("simulator already started");
    auto engine = std::make_unique<Engine>();
    engine->line = UniqueFd(::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!engine->line)
        throwErrno("open " + devicePath);
    makeRaw(engine->line.get(), options_.baud);
    ::tcflush(engine->line.get(), TCIOFLUSH);
    engine->ttyPath = devicePath;
    launch(std::move(engine));
}

void SignSimulator::launch(std::unique_ptr<Engine> engine) {
    engine->wake = UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!engine->wake)
        throwErrno("eventfd");
    {
        std::lock_guard lock(mutex_);
        lineOpen_ = true;
    }
    engine_ = std::move(engine);
    thread_ = std::thread([this] { run(); });
}

void SignSimulator::stop() {
    if (!engine_)
        return;
    engine_->stopRequested = true;
    if (engine_->wake) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(engine_->wake.get(), &one, sizeof one);
    }
    if (thread_.joinable())
        thread_.join();
    engine_->line.reset();
    engine_->keptSlave.reset();
    if (!linkPath_.empty())
        ::unlink(linkPath_.c_str());
    std::lock_guard lock(mutex_);
    lineOpen_ = false;
}

std::string SignSimulator::ttyPath() const {
    return engine_ ? engine_->ttyPath : std::string();
}

bool SignSimulator::lineOpen() const {
    std::lock_guard lock(mutex_);
    return lineOpen_;
}

void SignSimulator::setFaults(const SimFaults& faults) {
    {
        std::lock_guard lock(mutex_);
        faults_ = faults;
    }
    if (engine_ && engine_->wake) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(engine_->wake.get(), &one, sizeof one);
    }
}

void SignSimulator::setPanel(char address, const PanelContent& content) {
    if (!isPanelAddress(address))
        throw std::invalid_argument(std::string("not a panel address: ") + address);
    std::lock_guard lock(mutex_);
    panels_[address] = content;
}

PanelContent SignSimulator::panel(char address) const {
    std::lock_guard lock(mutex_);
    auto it = panels_.find(address);
    if (it == panels_.end())
        throw std::invalid_argument(std::string("not a panel address: ") + address);
    return it->second;
}

std::vector<ReceivedCommand> SignSimulator::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

int SignSimulator::countReceived(std::string_view bytes) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(received_.begin(), received_.end(),
                                          [&](const auto& r) { return r.bytes == bytes; }));
}

std::size_t SignSimulator::droppedBytes() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

std::optional<std::uint8_t> SignSimulator::lastEffect() const {
    std::lock_guard lock(mutex_);
    return lastEffect_;
}

std::string SignSimulator::lastBrightnessCommand() const {
    std::lock_guard lock(mutex_);
    return lastBrightness_;
}

void SignSimulator::clearRecords() {
    std::lock_guard lock(mutex_);
    received_.clear();
    dropped_ = 0;
    lastEffect_.reset();
    lastBrightness_.clear();
}

bool SignSimulator::waitForCommands(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return commandsArrived_.wait_for(lock, timeout, [&] { return received_.size() >= n; });
}

// ---------------------------------------------------------------------------------------------
// The thread: waits on the line and the wake eventfd with ppoll, whose timeout is the moment the
// next reply byte (or random byte) is due; nothing runs while the line is idle.

namespace {

timespec toTimespec(Clock::duration d) {
    using namespace std::chrono;
    if (d < Clock::duration::zero())
        d = Clock::duration::zero();
    const auto s = duration_cast<seconds>(d);
    return {static_cast<time_t>(s.count()),
            static_cast<long>(duration_cast<nanoseconds>(d - s).count())};
}

// After an unanswered last command the line goes kHangUpSettle later. After an answered one it
// goes when the program sends its next command, which it does only once it is done with the
// reply, or after kHangUpGrace if nothing comes.
constexpr auto kHangUpSettle = std::chrono::milliseconds(5);
constexpr auto kHangUpGrace = std::chrono::milliseconds(300);

} // namespace

void SignSimulator::run() {
    Engine& e = *engine_;
    e.byteTime = std::chrono::duration_cast<Clock::duration>(
        std::chrono::microseconds((10LL * 1'000'000 + options_.baud / 2) / options_.baud));
    {
        std::lock_guard lock(mutex_);
        e.faults = faults_;
    }
    e.nextRandomDue = Clock::now();

    auto notify = [&](TrafficEvent::Direction dir, std::string bytes) {
        if (options_.onTraffic)
            options_.onTraffic({dir, std::move(bytes), std::chrono::system_clock::now()});
    };

    // Closes the line as an unplugged cable would; the thread ends after it.
    auto hangUp = [&] {
        // The records and the link change first, so whoever sees the hang-up sees them too.
        {
            std::lock_guard lock(mutex_);
            lineOpen_ = false;
        }
        if (!linkPath_.empty())
            ::unlink(linkPath_.c_str());
        e.line.reset();
        e.keptSlave.reset();
        e.out.clear();
        if (options_.onLineClosed)
            options_.onLineClosed();
    };

    auto applies = [&](char kind, char address) {
        if (e.faults.panels.empty())
            return true;
        return (kind == 'R' || kind == 'W') && e.faults.panels.count(address) > 0;
    };

    // Queues a reply to go out after the turnaround (and any fault delay), behind earlier ones.
    auto queueReply = [&](std::string bytes, int delayMs) {
        const auto now = Clock::now();
        auto first = now + std::chrono::milliseconds(delayMs);
        if (options_.pacing) {
            first += options_.turnaround + e.byteTime;
            if (!e.out.empty()) {
                const auto& last = e.out.back();
                first = std::max(first, last.firstDue + e.lineTime(last.bytes.size()));
            }
        } else if (!e.out.empty()) {
            first = std::max(first, e.out.back().firstDue);
        }
        e.out.push_back({std::move(bytes), first});
    };

    auto handleCommand = [&](const std::string& cmd) {
        {
            std::lock_guard lock(mutex_);
            received_.push_back({cmd, Clock::now()});
        }
        commandsArrived_.notify_all();
        notify(TrafficEvent::Direction::Received, cmd);

        ++e.commandsSeen;
        if (e.faults.hangUpAfterCommands > 0 && e.commandsSeen >= e.faults.hangUpAfterCommands)
            e.hangUpPending = true;
        if (e.faults.randomBytes)
            return;

        const char kind = cmd[0];
        const char address = (kind == 'R' || kind == 'W') ? cmd[1] : 0;
        const bool faulty = applies(kind, address);
        const SimFaults none;
        const SimFaults& f = faulty ? e.faults : none;
        if (f.silent || (f.silentReads && kind == 'R'))
            return;

        std::string reply;
        int delayMs = f.replyDelayMs;
        switch (kind) {
        case 'R': {
            const int nth = ++e.readsPerPanel[address];
            if (f.rawReadReply) {
                reply = *f.rawReadReply;
                break;
            }
            PanelContent content = panel(address);
            reply = panelReply(address, content, options_.rawFlagEcho);
            if (f.replyAddress)
                reply[1] = *f.replyAddress;
            if (f.discoveryT1 && address == '0')
                reply[1] = '1';
            if (f.badOkByte)
                reply[11] = 'X';
            reply.replace(12, 2, checksumChars(std::string_view(reply).substr(0, 12)));
            if (nth <= f.badChecksumReplies)
                reply[13] = reply[13] == '0' ? '1' : '0';
            if (f.nulAtOffset >= 0 && f.nulAtOffset < static_cast<int>(reply.size()))
                reply[static_cast<std::size_t>(f.nulAtOffset)] = '\0';
            if (f.shortReply)
                reply.pop_back();
            break;
        }
        case 'W': {
            if (checksumChars(std::string_view(cmd).substr(0, 9)) != cmd.substr(9, 2))
                return;
            {
                std::lock_guard lock(mutex_);
                panels_[address] = PanelContent{f.storedPrice.value_or(cmd.substr(2, 3)), cmd[6],
                                                static_cast<std::uint8_t>(cmd[7])};
            }
            if (f.ack == SimFaults::Ack::None)
                return;
            reply = f.ack == SimFaults::Ack::Wrong ? "WOX" : "WOK";
            delayMs += f.ackDelayMs;
            break;
        }
        case 'L': {
            std::lock_guard lock(mutex_);
            lastBrightness_ = cmd;
            reply = cmd;
            if (cmd[1] == 'M' && f.wrongLevelEcho)
                reply[2] =
                    (cmd[2] >= '0' && cmd[2] <= '9') ? char('0' + (cmd[2] - '0' + 1) % 10) : '0';
            break;
        }
        case 'q': {
            std::lock_guard lock(mutex_);
            lastEffect_ = static_cast<std::uint8_t>(cmd[1]);
            reply = "FOK";
            break;
        }
        }
        reply.append(static_cast<std::size_t>(std::max(0, f.trailingBytes)), '#');
        if (!reply.empty()) {
            queueReply(std::move(reply), delayMs);
            e.lastReplyOut = e.hangUpPending;
        }
    };

    // Bytes that started no command: counted, and shown in the traffic.
    auto discard = [&](std::string& junk) {
        if (junk.empty())
            return;
        {
            std::lock_guard lock(mutex_);
            dropped_ += junk.size();
        }
        notify(TrafficEvent::Direction::Dropped, std::move(junk));
        junk.clear();
    };

    auto parseInput = [&] {
        std::string junk;
        while (!e.input.empty()) {
            std::size_t len = commandLength(e.input);
            if (len > 0 && e.input.size() < len)
                break; // wait for the rest
            if (len == 0 || !wellFormed(std::string_view(e.input).substr(0, len))) {
                junk += e.input[0];
                e.input.erase(0, 1);
                continue;
            }
            discard(junk);
            const std::string cmd = e.input.substr(0, len);
            e.input.erase(0, len);
            if (!e.hangUpPending)
                handleCommand(cmd);
            else
                e.programMovedOn = true;
        }
        discard(junk);
    };

    auto readLine = [&]() -> bool {
        char buf[512];
        for (;;) {
            const ssize_t n = ::read(e.line.get(), buf, sizeof buf);
            if (n > 0) {
                const auto now = Clock::now();
                if (!e.input.empty() && now - e.lastInput > kStaleInput)
                    discard(e.input);
                e.lastInput = now;
                e.input.append(buf, static_cast<std::size_t>(n));
                parseInput();
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return true;
            return false; // EOF or error: the line is gone
        }
    };

    // Writes what is due; a byte the line cannot take right now is lost, as on a real line.
    auto flushDue = [&]() -> bool {
        const auto now = Clock::now();
        while (!e.out.empty()) {
            auto& o = e.out.front();
            std::size_t due = o.bytes.size();
            if (options_.pacing) {
                if (now < o.firstDue)
                    return true;
                // A reply that starts late (the thread woke late) still takes its line time
                // from its first byte on, as on a real line, instead of going out at once.
                if (o.sent == 0)
                    o.firstDue = now;
                due = std::min<std::size_t>(o.bytes.size(), (now - o.firstDue) / e.byteTime + 1);
            } else if (now < o.firstDue) {
                return true;
            }
            if (due > o.sent) {
                const ssize_t n = ::write(e.line.get(), o.bytes.data() + o.sent, due - o.sent);
                if (n < 0 && errno != EAGAIN && errno != EINTR)
                    return false;
                o.sent = due;
            }
            if (o.sent < o.bytes.size())
                return true;
            notify(TrafficEvent::Direction::Sent, o.bytes);
            e.out.pop_front();
        }
        return true;
    };

    // Random bytes go out in small bursts, each when its last byte would have reached the line.
    constexpr std::size_t kRandomBurst = 8;
    auto sendRandom = [&]() -> bool {
        const auto now = Clock::now();
        if (now < e.nextRandomDue)
            return true;
        std::string burst;
        std::uniform_int_distribution<int> byte(0, 255);
        const std::size_t count =
            std::min<std::size_t>(64, (now - e.nextRandomDue) / e.byteTime + kRandomBurst);
        for (std::size_t i = 0; i < count; ++i)
            burst += static_cast<char>(byte(e.random));
        const ssize_t n = ::write(e.line.get(), burst.data(), burst.size());
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        e.nextRandomDue = std::max(e.nextRandomDue + e.lineTime(count), now);
        notify(TrafficEvent::Direction::Sent, burst);
        return true;
    };

    for (;;) {
        std::optional<Clock::time_point> wakeAt;
        if (e.hangUpPending && e.out.empty()) {
            // Closing a pty master throws away what the program has not read yet, which a real
            // line would have delivered; how much of it has reached the program cannot be told
            // from this side, so an answered last command waits for the program to move on.
            const auto now = Clock::now();
            if (!e.hangUpDeadline)
                e.hangUpDeadline = now + (e.lastReplyOut ? kHangUpGrace : kHangUpSettle);
            if (e.programMovedOn || now >= *e.hangUpDeadline) {
                hangUp();
                return;
            }
            wakeAt = *e.hangUpDeadline;
        }
        if (!e.out.empty()) {
            const auto& o = e.out.front();
            wakeAt = options_.pacing ? o.firstDue + e.lineTime(o.sent) : o.firstDue;
        }
        if (e.faults.randomBytes) {
            const auto next = e.nextRandomDue + e.lineTime(kRandomBurst - 1);
            wakeAt = wakeAt ? std::min(*wakeAt, next) : next;
        }
        timespec timeout{};
        if (wakeAt)
            timeout = toTimespec(*wakeAt - Clock::now());
        pollfd fds[2] = {{e.wake.get(), POLLIN, 0}, {e.line.get(), POLLIN, 0}};
        const int rc = ::ppoll(fds, 2, wakeAt ? &timeout : nullptr, nullptr);
        if (rc < 0 && errno != EINTR) {
            hangUp();
            return;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto n = ::read(e.wake.get(), &count, sizeof count);
            if (e.stopRequested)
                return;
            const bool wasRandom = e.faults.randomBytes;
            std::lock_guard lock(mutex_);
            e.faults = faults_;
            e.readsPerPanel.clear();
            e.commandsSeen = 0;
            if (e.faults.randomBytes && !wasRandom)
                e.nextRandomDue = Clock::now();
        }
        bool ok = true;
        if (fds[1].revents & POLLIN)
            ok = readLine();
        else if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
            ok = false;
        if (ok)
            ok = flushDue();
        if (ok && e.faults.randomBytes)
            ok = sendRandom();
        if (!ok) {
            hangUp();
            return;
        }
    }
}

} // namespace signsim
