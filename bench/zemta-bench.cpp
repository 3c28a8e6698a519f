// zemta-bench: measures the program's operations against the sign simulator on
// pseudo-terminals at the default read delay (50 ms), compares each with the floor
// made of the pauses the operation itself prescribes, and writes a report.
//
//   zemta-bench [--report FILE] [--runs N]
//
// Message boxes are answered at once, so only the program's own time is measured.
// The command-line tool zemta-sign is measured as a process, from its start to its exit.

#include "appinfo.h"
#include "errorreport.h"
#include "journal.h"
#include "journalsample.h"
#include "journalwindow.h"
#include "pricewrite.h"
#include "signsim.h"
#include "tcomsetupfrm.h"
#include "tform1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long peakRssKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A temporary COM directory (ZEMTA_COM_DIR) with simulated signs and silent ports.
class Ports {
public:
    Ports() { qputenv("ZEMTA_COM_DIR", dir_.path().toLocal8Bit()); }
    ~Ports() {
        sims_.clear();
        qunsetenv("ZEMTA_COM_DIR");
    }
    signsim::SignSimulator& add(int n, bool silent) {
        signsim::SimOptions options;
        options.faults.silent = silent;
        auto sim = std::make_unique<signsim::SignSimulator>(options);
        sim->startPty((dir_.path() + "/COM" + QString::number(n)).toStdString());
        sims_.push_back(std::move(sim));
        return *sims_.back();
    }

private:
    QTemporaryDir dir_;
    std::vector<std::unique_ptr<signsim::SignSimulator>> sims_;
};

void click(TForm1& form, const char* name) {
    form.findChild<QPushButton*>(name)->click();
}

double timedClick(TForm1& form, const char* name) {
    QElapsedTimer t;
    t.start();
    click(form, name);
    return double(t.nsecsElapsed()) / 1e9;
}

// Runs the event loop for the given time, as an idle program does.
void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// "Журнал цен" on a journal of `count` records: seconds until the newest lines are in
// the table, and until the whole journal is read and its chain checked.
std::pair<double, double> measureJournalWindow(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    JournalWindow window(path);
    window.show();
    double shown = -1;
    QEventLoop loop;
    QObject::connect(&window, &JournalWindow::loaded, &loop, [&] {
        if (shown < 0)
            shown = timer.nsecsElapsed() / 1e9;
        if (!window.loading())
            loop.quit();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (shown >= 0 && !window.loading())
            loop.quit();
    });
    poll.start(20);
    loop.exec();
    return {shown, timer.nsecsElapsed() / 1e9};
}

struct Row {
    QString figure;
    QString value;
    QString goal;
    bool met;
};

QString fmt(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

QString machine() {
    utsname u{};
    uname(&u);
    QString cpu;
    QFile f("/proc/cpuinfo");
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith("model name")) {
                cpu = QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
                break;
            }
    return QStringLiteral("%1 %2, %3, %4 cores")
        .arg(u.sysname, u.release, cpu.isEmpty() ? QStringLiteral("unknown CPU") : cpu)
        .arg(sysconf(_SC_NPROCESSORS_ONLN));
}

// Child mode: start-up to the window shown, with no ports at all.
int startupProbe(int argc, char** argv) {
    QApplication app(argc, argv);
    appinfo::configureApplication(app);
    InstallComSetupDialog();
    errorreport::setMessagePresenter([](errorreport::MessageKind, const QString&) {});
    TForm1 form;
    form.showCentered();
    QCoreApplication::processEvents();
    std::fputs("shown\n", stdout);
    std::fflush(stdout);
    return 0;
}

// Runs a program and waits for its end; with quiet, its output goes to /dev/null. The
// child is started by posix_spawn, so nothing runs in it before the program: simulator
// threads holding the allocator's lock at that moment cannot hang it. `environment`
// entries ("NAME=value") replace or add to this process's environment.
void runProgram(const std::vector<std::string>& args, bool quiet,
                const std::vector<std::string>& environment = {}) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view entry(*e);
        const bool replaced =
            std::any_of(environment.begin(), environment.end(), [&](const std::string& own) {
                return entry.substr(0, entry.find('=') + 1) == own.substr(0, own.find('=') + 1);
            });
        if (!replaced)
            envp.push_back(*e);
    }
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv.front(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        std::fprintf(stderr, "zemta-bench: cannot start %s: %s\n", argv.front(),
                     std::strerror(failed));
        return;
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

double measureStartup(const char* self) {
    QTemporaryDir empty;
    const std::vector<std::string> environment{"ZEMTA_COM_DIR=" +
                                               empty.path().toLocal8Bit().toStdString()};
    QElapsedTimer t;
    t.start();
    runProgram({self, "--startup-probe"}, false, environment);
    return double(t.nsecsElapsed()) / 1e9;
}

// Runs zemta-sign with its output discarded; returns when it has ended.
void runTool(const std::vector<std::string>& args) {
    std::vector<std::string> argv{ZEMTA_SIGN_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    runProgram(argv, true);
}

double timedTool(const std::vector<std::string>& args) {
    QElapsedTimer t;
    t.start();
    runTool(args);
    return double(t.nsecsElapsed()) / 1e9;
}

// zemta-sign's read, write of one row, write that changes nothing, and start-up to its
// first byte on the line, against a prompt sign on COM3.
void measureTool(int runs, std::vector<Row>& rows) {
    Ports ports;
    auto& sign = ports.add(3, false);
    std::vector<double> read, write, unchanged, firstByte;
    for (int i = 0; i < runs; ++i)
        read.push_back(timedTool({"read", "--port", "COM3"}));
    // Each run a new price for row 3: two frames, both halves of one row.
    std::string price;
    for (int i = 0; i < runs; ++i) {
        price = "3=4" + std::to_string(10 + i);
        write.push_back(timedTool({"write", "--port", "COM3", price}));
    }
    // The last price again: the read, and nothing sent.
    for (int i = 0; i < runs; ++i)
        unchanged.push_back(timedTool({"write", "--port", "COM3", price}));
    // "LA" goes out as soon as the port is open: no pause of the protocol comes first.
    for (int i = 0; i < runs; ++i) {
        sign.clearRecords();
        const auto start = std::chrono::steady_clock::now();
        runTool({"brightness", "auto", "--port", "COM3"});
        const auto received = sign.received();
        if (!received.empty())
            firstByte.push_back(
                std::chrono::duration<double>(received.front().time - start).count());
    }
    const double readRatio = median(read) / 2.0;
    // Read 2.0 s, two frames at 50 ms, read-back 2.0 s.
    const double writeRatio = median(write) / 4.1;
    const double unchangedRatio = median(unchanged) / 2.0;
    rows.push_back(
        {"zemta-sign read / floor 2.0 s", fmt(readRatio, 3), "at most 1.05", readRatio <= 1.05});
    rows.push_back({"zemta-sign write, one-row change (read, two frames, read-back) / floor 4.1 s",
                    fmt(writeRatio, 3), "at most 1.05", writeRatio <= 1.05});
    rows.push_back({"zemta-sign write that changes nothing (read only) / floor 2.0 s",
                    fmt(unchangedRatio, 3), "at most 1.05", unchangedRatio <= 1.05});
    if (firstByte.empty()) {
        rows.push_back(
            {"zemta-sign start-up to the first byte on the line", "no byte", "under 50 ms", false});
        return;
    }
    const double first = median(firstByte);
    rows.push_back({"zemta-sign start-up to the first byte on the line (brightness auto)",
                    fmt(first * 1000, 1) + " ms", "under 50 ms", first < 0.050});
}

// The price journal: 100,000 records as a station leaves them (per change of prices a
// "started" and a result record; now and then a change seen on the sign and a
// brightness command), appended through the journal itself, then read back whole and
// checked.
void measureJournal(std::vector<Row>& rows) {
    // On a RAM disk where there is one: every append flushes.
    QTemporaryDir dir(QFileInfo::exists(QStringLiteral("/dev/shm"))
                          ? QStringLiteral("/dev/shm/zemta-bench-XXXXXX")
                          : QDir::tempPath() + QStringLiteral("/zemta-bench-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
    const QString port = QStringLiteral("COM3");
    journal::Journal journal(
        path, journal::currentContext(QStringLiteral("zemta-stela"), QStringLiteral("1.0.0.0")));
    constexpr int kRecords = 100000;
    // Every panel a price of its own, changing with `step`.
    const auto signAt = [](int step) {
        signlink::SignContents sign;
        for (int row = 1; row <= 10; ++row)
            for (const bool second : {false, true}) {
                const char address = signlink::panelAddress(row, second);
                const std::string reply = signsim::panelReply(
                    address, {std::to_string(400 + (step + row) % 500), '3', 2});
                sign.panel(row, second) = {QByteArray::fromStdString(reply)};
            }
        return sign;
    };
    int records = 0;
    for (int change = 0; records < kRecords; ++change) {
        // Every tenth change starts from a sign changed on its keypad meanwhile.
        const signlink::SignContents before = signAt(change % 10 == 0 ? change + 250 : change);
        const signlink::SignContents after = signAt(change + 1);
        if (change % 10 == 0 && records + 4 <= kRecords) {
            records += journal.observe(port, before) ? 1 : 0;
            journal.command(journal::kBrightness, port, "LA", true,
                            QStringLiteral("Установлена автоматическая яркость."));
            ++records;
        }
        const QString id = journal.writeStarted(port, before);
        // zemta-sign's write: two rows changed, the other panels left as they were.
        journal::WriteResults results;
        for (int row = 1; row <= 10; ++row)
            for (const bool second : {false, true}) {
                journal::PanelResult& panel = results.at(journal::panelIndex(row, second));
                const bool changed = row == 3 || row == 7;
                panel.after = after.panel(row, second).bytes;
                panel.verdict = changed ? QStringLiteral("written") : QStringLiteral("unchanged");
                if (changed)
                    panel.sent = signlink::buildWriteFrame(
                        row, second, signlink::heldRow(after.panel(row, second)));
            }
        journal.writeResult(port, id, results);
        records += 2;
    }
    const qint64 size = QFileInfo(path).size();
    if (!journal.healthy()) {
        rows.push_back({"price journal: read 100,000 records", "no journal", "under 1 s", false});
        return;
    }

    std::vector<double> reads, checks;
    journal::JournalContents contents;
    bool chainHolds = true;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        QString error;
        journal::readJournal(path, contents, error);
        reads.push_back(double(timer.nsecsElapsed()) / 1e9);
        timer.start();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        chainHolds = chainHolds && journal::checkChain(file.readAll()).firstBroken == 0;
        checks.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    // What a change of prices costs: its "started" and its result record.
    qint64 writeBytes = 0;
    int writes = 0;
    for (const journal::Record& record : contents.records)
        if (record.event == journal::kWriteStarted || record.event == journal::kWrite) {
            writeBytes += record.length + 1;
            writes += record.event == journal::kWrite ? 1 : 0;
        }
    const double perChange = writes > 0 ? double(writeBytes) / writes : 0;
    const double read = median(reads);
    const int parsed = int(contents.records.size());
    rows.push_back({QStringLiteral("price journal: read %1 records (%2 MB)")
                        .arg(parsed)
                        .arg(fmt(double(size) / 1e6, 1)),
                    fmt(read, 3) + " s", "under 1 s", parsed == kRecords && read < 1.0});
    rows.push_back({"price journal: check the hash chain of those records",
                    fmt(median(checks), 3) + " s", "informative", chainHolds});
    rows.push_back({"price journal: average record; one change of prices (2 records); a year "
                    "at ten changes a day",
                    QStringLiteral("%1 bytes; %2 bytes; %3 MB")
                        .arg(fmt(double(size) / parsed, 0), fmt(perChange, 0),
                             fmt(perChange * 10 * 365 / 1e6, 1)),
                    "informative", true});
}

} // namespace

int main(int argc, char** argv) {
    QString report;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const QString a = argv[i];
        if (a == "--startup-probe")
            return startupProbe(argc, argv);
        if (a == "--journal-only") {
            // The journal's rows alone, on standard output.
            std::vector<Row> rows;
            measureJournal(rows);
            for (const Row& r : rows)
                std::printf("| %s | %s | %s | %s |\n", qPrintable(r.figure), qPrintable(r.value),
                            qPrintable(r.goal), r.met ? "yes" : "NO");
            return rows.front().met ? 0 : 1;
        }
        if (a == "--report" && i + 1 < argc)
            report = argv[++i];
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
    }

    std::vector<double> startups;
    for (int i = 0; i < runs; ++i)
        startups.push_back(measureStartup(argv[0]));

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    appinfo::configureApplication(app);
    InstallComSetupDialog();
    errorreport::setMessagePresenter([](errorreport::MessageKind kind, const QString& text) {
        if (kind == errorreport::MessageKind::Error)
            std::fprintf(stderr, "error report: %s\n", qPrintable(text));
    });

    std::vector<Row> rows;

    // Discovery over COM1..COM255 with no device at all.
    {
        Ports none;
        TForm1 form;
        std::vector<double> t;
        for (int i = 0; i < runs; ++i)
            t.push_back(timedClick(form, "Button36"));
        const double v = median(t);
        rows.push_back({"discovery, no device (COM1..COM255)", fmt(v * 1000, 1) + " ms",
                        "under 50 ms", v < 0.050});
    }

    // Discovery with the sign on COM3 and two silent ports.
    {
        Ports ports;
        ports.add(2, true);
        ports.add(3, false);
        ports.add(5, true);
        TForm1 form;
        std::vector<double> t;
        for (int i = 0; i < runs; ++i)
            t.push_back(timedClick(form, "Button36"));
        const double ratio = median(t) / (2 * 0.200 + 0.050);
        rows.push_back({"discovery, sign + two silent ports / floor 0.45 s", fmt(ratio, 3),
                        "at most 1.05", ratio <= 1.05});
    }

    // Read-back, write and idle cost against a prompt sign on COM3.
    {
        Ports ports;
        auto& sign = ports.add(3, false);
        // The first write after start-up reads the sign before it writes.
        std::vector<double> firstWrite;
        for (int i = 0; i < runs; ++i) {
            TForm1 fresh;
            fresh.showCentered();
            idle(200); // shown and painted, as when the operator gets to it
            firstWrite.push_back(timedClick(fresh, "Button8"));
        }
        TForm1 form;
        form.showCentered();
        std::vector<double> read, write;
        for (int i = 0; i < runs; ++i)
            read.push_back(timedClick(form, "Button7"));
        for (int i = 0; i < runs; ++i)
            write.push_back(timedClick(form, "Button8"));
        const long rss = peakRssKiB();
        const double readRatio = median(read) / 2.0;
        const double writeRatio = median(write) / 3.0;
        rows.push_back(
            {"\"Прочитать\" / floor 2.0 s", fmt(readRatio, 3), "at most 1.03", readRatio <= 1.03});
        rows.push_back({"\"Записать\" (write + read-back) / floor 3.0 s", fmt(writeRatio, 3),
                        "at most 1.03", writeRatio <= 1.03});
        const double firstWriteRatio = median(firstWrite) / 5.0;
        rows.push_back(
            {"first \"Записать\" after start-up (read + write + read-back) / floor 5.0 s",
             fmt(firstWriteRatio, 3), "at most 1.03", firstWriteRatio <= 1.03});

        double c0 = cpuSeconds();
        idle(10000);
        const double idleCpu = cpuSeconds() - c0;
        rows.push_back({"CPU over 10 s, port open and idle", fmt(idleCpu, 3) + " s", "under 0.05 s",
                        idleCpu < 0.05});

        // 100 bytes arrive and stay unread.
        signsim::SimFaults faults;
        faults.rawReadReply = std::string(100, 'x');
        sign.setFaults(faults);
        form.ComPort->PurgeQueues(true, true);
        form.ComPort->SendText("R0E");
        QThread::msleep(200);
        c0 = cpuSeconds();
        idle(10000);
        const double unreadCpu = cpuSeconds() - c0;
        const int waiting = form.ComPort->WaitingCount();
        rows.push_back({QStringLiteral("CPU over 10 s, %1 unread bytes waiting").arg(waiting),
                        fmt(unreadCpu, 3) + " s", "under 0.05 s", unreadCpu < 0.05});
        rows.push_back({"peak resident memory over writes and read-backs",
                        fmt(double(rss) / 1024, 1) + " MB", "under 80 MB", rss < 80 * 1024});
    }

    measureTool(runs, rows);
    measureJournal(rows);

    // The price journal's window on 100,000 records.
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(journalsample::make());
        file.close();
        std::vector<double> shown, whole;
        for (int i = 0; i < runs; ++i) {
            const auto [first, all] = measureJournalWindow(path);
            shown.push_back(first);
            whole.push_back(all);
        }
        rows.push_back({"\"Журнал цен\", 100,000 records: newest lines in the table",
                        fmt(median(shown) * 1000, 0) + " ms", "under 1 s", median(shown) < 1.0});
        rows.push_back({"\"Журнал цен\", 100,000 records: all read, chain checked",
                        fmt(median(whole) * 1000, 0) + " ms", "under 5 s", median(whole) < 5.0});
    }

    const double startup = median(startups);
    rows.insert(rows.begin(), {"start-up to the window shown, no ports",
                               fmt(startup * 1000, 0) + " ms", "under 0.5 s", startup < 0.5});

    QString table = "| Figure | Measured | Goal | Met |\n|---|---|---|---|\n";
    bool allMet = true;
    for (const Row& r : rows) {
        table += QStringLiteral("| %1 | %2 | %3 | %4 |\n")
                     .arg(r.figure, r.value, r.goal, r.met ? "yes" : "NO");
        allMet = allMet && r.met;
    }
    std::fputs(qPrintable(table), stdout);

    if (!report.isEmpty()) {
        QFile f(report);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            QTextStream out(&f);
            out << "# Performance\n\n"
                << "Measured by `scripts/bench` against `zemta-sign-sim` on pseudo-terminals, "
                   "read delay 50 ms, median of "
                << runs << " runs where an operation is repeated.\n\n"
                << "Machine: " << machine() << "\n\n"
                << "The floor of an operation is the sum of the pauses it prescribes itself: "
                   "a write frame acknowledged at the first poll pauses 50 ms, a panel read "
                   "at its first cycle 100 ms, a silent port in the search 4 x 50 ms. "
                   "\"Записать\" is measured after a read-back; the first one after start-up "
                   "reads the sign before it writes.\n\n"
                << table;
        }
    }
    return allMet ? 0 : 1;
}
