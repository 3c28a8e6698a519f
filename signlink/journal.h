#pragma once
// The price journal: what the sign showed and when, one file per station for every
// account on it, written by every operation of the window and of zemta-sign.
//
// One record per line (JSON Lines), pure ASCII (non-ASCII as \uXXXX escapes), each
// record carrying the SHA-256 of the line before it, so that a deleted or edited line
// shows. Records are appended under a file lock, one write each, flushed to disk; a
// reader skips a torn line (a write cut short) and counts it.
//
// A panel's state in a record is the six content bytes of its good reply (bytes 2..7: the
// three price characters, the third again, the grade code, the flag byte) as a string,
// each byte outside printable ASCII as \u00XX ("469932"); frames sent are the hex of all
// 11 bytes. Panel maps are keyed by row ("1".."10") and hold [first half, second half];
// null there means the record says nothing of that panel (no good reply, or not part of
// the record).

#include "readback.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace journal {

// Record kinds ("event").
inline const QString kObserved = QStringLiteral("observed");
inline const QString kWriteStarted = QStringLiteral("write_started");
inline const QString kWrite = QStringLiteral("write");
inline const QString kBrightness = QStringLiteral("brightness");
inline const QString kEffect = QStringLiteral("effect");

// Who writes: the same on every record of one run.
struct Context {
    QString program; // "zemta-stela", "zemta-sign"
    QString version;
    QString host;
    QString user;
};
// The computer's name and the user's login name, with the program's name and version.
Context currentContext(const QString& program, const QString& version);

// The 20 panels, first half rows 1..10 then second half rows 1..10.
inline int panelIndex(int row, bool secondHalf) {
    return (secondHalf ? 10 : 0) + row - 1;
}
// A panel's state: the six content bytes of a good reply; none: unknown.
using PanelState = std::optional<QByteArray>;
using SignStates = std::array<PanelState, 20>;

// The state a reply states: its content bytes when it is good.
PanelState stateOf(const signlink::PanelReply& reply);
SignStates statesOf(const signlink::SignContents& contents);
// Whether two states show the same on the sign: the same price characters, grade code
// and "Снежинка"/"Евро" bits (other flag bits and the repeated price character do not
// show).
bool sameShowing(const QByteArray& a, const QByteArray& b);

// What one panel went through in a price write.
struct PanelResult {
    std::optional<QByteArray> sent;  // the 11-byte frame; none: nothing was sent
    std::optional<QByteArray> after; // the 14-byte reply of the check; none: no good reply
    QString verdict;                 // "unchanged", "written", "not_taken", "no_reply", "left_out"
};
using WriteResults = std::array<PanelResult, 20>; // in panelIndex order

// Appends records to one journal file. Every append opens, locks, writes and closes the
// file, so the window and any number of zemta-sign runs can write at once. A failed
// append is told to the failure handler once per Journal (once per run); the operation
// goes on.
class Journal {
public:
    using FailureHandler = std::function<void(const QString& path, const QString& error)>;

    Journal(QString path, Context context);

    const QString& path() const { return path_; }
    void setFailureHandler(FailureHandler handler) { onFailure_ = std::move(handler); }
    // Whether every append so far succeeded.
    bool healthy() const { return !failed_; }

    // A read of the sign: adds one "observed" record when any panel with a good reply
    // shows something other than the journal's latest state for it; an unread panel is
    // no change. Returns whether it added one.
    bool observe(const QString& port, const signlink::SignContents& read);
    // Before the first frame of a price write: what each panel showed, from the read the
    // write was planned from. Returns the write's id, which its result record repeats.
    QString writeStarted(const QString& port, const signlink::SignContents& before);
    // After the check: per panel what was sent, what it showed after, the verdict.
    void writeResult(const QString& port, const QString& id, const WriteResults& results);
    // A write that ended without a result: the port could not be opened or failed
    // midway. id is empty when the write had not started.
    void writeFailed(const QString& port, const QString& id, const QString& error);

    // The write under way: opened before its read, it takes the id of its "started"
    // record; closing it writes its result (or its error) once.
    void openWrite(const QString& port);
    void closeWrite(const WriteResults& results);
    void closeWrite(const QString& error);
    // A brightness or effect command: what was sent, whether the sign confirmed it, and
    // the answer shown ("Установлена ..."); or the port's error when it failed.
    void command(const QString& event, const QString& port, const QByteArray& sent,
                 bool confirmed, const QString& answer);
    void commandFailed(const QString& event, const QString& port, const QByteArray& sent,
                       const QString& error);

private:
    // The record's fields after the common ones, without braces, or none not to write it,
    // given the journal's latest states of the panels `latestOf` names (read under the
    // lock).
    using Body = std::function<std::optional<QByteArray>(const SignStates& latest)>;
    bool append(const QString& event, const QString& port, const Body& body,
                const std::array<bool, 20>& latestOf = {});
    void fail(const QString& error);

    struct OpenWrite {
        QString port;
        QString id; // empty until its "started" record
    };

    QString path_;
    Context context_;
    std::optional<OpenWrite> open_;
    FailureHandler onFailure_;
    bool failed_ = false;
    bool told_ = false;
};

// --- reading ---------------------------------------------------------------------------

// A panel map of a record ("before", "after", "shows", "sent", "verdict"): each panel's
// string, as bytes; none where the record holds null or does not name the panel.
using PanelCells = std::array<std::optional<std::string>, 20>;

struct Record {
    int line = 0;    // 1-based line number in the file
    qsizetype offset = 0, length = 0; // the line's bytes in the data it was parsed from
    QDateTime time;  // with its offset
    QString event;
    // The other fields with a string, number or boolean ("true", "false"); none for null.
    std::vector<std::pair<std::string, std::optional<QString>>> fields;
    std::vector<std::pair<std::string, PanelCells>> maps;

    // The field, or nullptr when the record has none of that name.
    const std::optional<QString>* field(std::string_view name) const;
    QString text(std::string_view name) const; // empty when missing or null
    bool has(std::string_view name) const;      // present and not null
    const PanelCells* cells(std::string_view name) const;
};

// One line as a record; none when it is no record (cut short, garbled, no time or event).
std::optional<Record> parseRecord(QByteArrayView line, int number);

struct JournalContents {
    QByteArray data;             // the file's bytes
    std::vector<Record> records; // in file order
    int lines = 0;               // lines in the file, torn ones included
    std::vector<int> tornLines;  // lines that are no record (cut short or garbled)
};

// A record's line as stored.
inline QByteArray rawLine(const JournalContents& contents, const Record& record) {
    return contents.data.mid(record.offset, record.length);
}

// Splits the file's bytes into records; a torn line is skipped and counted.
JournalContents parseJournal(const QByteArray& data);
// Reads the journal file; false with the error when it exists and cannot be read. A
// missing file is an empty journal.
bool readJournal(const QString& path, JournalContents& contents, QString& error);

// The hash chain: every line names the SHA-256 of the line before it, the first none.
struct ChainCheck {
    int lines = 0;
    int firstBroken = 0; // 1-based line whose "prev" does not match; 0 when the chain holds
    int torn = 0;        // torn lines (their own "prev" cannot be read)
};
ChainCheck checkChain(const QByteArray& data);

// The lowercase hex SHA-256 of a line (without its newline).
QByteArray lineHash(QByteArrayView line);

// What a record states of each panel: the panels it names with a state.
SignStates statedBy(const Record& record);

// One panel as the journal knows it at a moment.
struct PanelAt {
    PanelState state;    // none: no record before the moment states it
    QDateTime since;     // the time of the record that states it
    QString event;
};
// Each panel from the latest record before `moment` (file order) that states it.
std::array<PanelAt, 20> panelsAt(const JournalContents& contents, const QDateTime& moment);

// Ids of "write_started" records that no "write" record of the same id follows.
std::vector<QString> interruptedWrites(const JournalContents& contents);

// --- text --------------------------------------------------------------------------------

// A JSON string with every character outside printable ASCII as a \uXXXX escape.
QByteArray asciiJsonString(const QString& text);
// The operator's text of a panel state: its three price characters.
QString priceOf(const QByteArray& state);
// The operator's one-line description of a record ("записано: ряд 3: 469", ...). A write
// names the panels that show something new: those whose "started" record (`before`)
// showed something else, or all written ones when there is none.
QString describe(const Record& record, bool interrupted, const SignStates* before = nullptr);

// Describes the records of one journal, each with what its write started from.
class Describer {
public:
    explicit Describer(const JournalContents& contents);
    QString operator()(const Record& record) const;

private:
    std::map<QString, SignStates> started_; // write id -> what the panels showed before
    std::set<QString> finished_;            // write ids with a result
};

} // namespace journal
