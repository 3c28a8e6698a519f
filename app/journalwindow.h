#pragma once
// "Журнал цен": the price journal in a window of its own, opened from the technician's
// view or by its shortcut. It is modeless: the main window goes on working, and writes
// made meanwhile (by this window's owner or any zemta-sign) appear as they are recorded.
//
// One line per change, observation or attempt, newest first: a price write's "started"
// record and its result make one line (one without a result reads as interrupted).
// The journal is read in a thread of its own, so neither window waits for it.
//
// Controls (objectName):
//   fromDate, fromBox / toDate, toBox   date filter: a date counts when its box is ticked
//   pricesOnly                          "только изменения цен": hides brightness and effects
//   exportButton                        "Экспорт в CSV...": the shown lines' records
//   damage                              what is wrong with the file: torn lines, broken chain
//   table                               the lines
//   status                              how many lines are shown, and the file

#include <QAbstractTableModel>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QWidget>

#include "journal.h"

#include <QHash>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QDateEdit;
class QFileSystemWatcher;
class QLabel;
class QPushButton;
class QTableView;
class QThread;
class QTimer;

inline const QString kJournalWindowCaption = QStringLiteral("Журнал цен");

// One line of the window.
struct JournalLine {
    QDateTime time;      // of its first record
    QString who;         // "operator@azs-17, zemta-stela 1.0.0"
    QString port;
    QString what;        // "запись цен", "на стеле замечено", "яркость", "эффекты"
    QString changes;     // "ряд 3: 459 → 469", per half where they differ
    QString verdict;     // in the operator's words
    bool priceChange = false; // a price write or an observation
    bool trouble = false;     // not confirmed, not done, interrupted
    bool interrupted = false;
    QString id;               // the write's id, for its records' description
    std::vector<int> records; // its records, as indices into JournalView::spans
};

// A journal as the window shows it.
struct JournalView {
    std::vector<JournalLine> lines; // in file order
    // Each record's bytes in the file (offset, length), for the export.
    std::vector<std::pair<qsizetype, qsizetype>> spans;
    int fileLines = 0;
    std::vector<int> tornLines;  // 1-based
    bool complete = true;        // false: only the newest records, the rest still being read
};

// Builds the lines from the journal's records in file order, piece by piece: a write's
// result joins its "started" line, an observation is set against what the journal
// held for each panel before it.
struct JournalLines {
    JournalView view;
    journal::SignStates known; // each panel's latest state so far
    struct OpenWrite {
        std::size_t line;
        journal::SignStates before;
    };
    QHash<QString, OpenWrite> open; // writes started and not yet ended, by id
    qsizetype end = 0;              // the bytes read so far (whole lines)
    QByteArray lastHash;            // of the last record read, to see that it stands

    // Records parsed from the file's bytes at offsetBase, its lines numbered from
    // lineBase + 1.
    void add(const journal::JournalContents& piece, int lineBase, qsizetype offsetBase);
};

// Reads the file's bytes into `lines`: only what follows the lines read before when
// those still stand, else all of it, with a preview of the newest records first when the
// file is large. False when `cancel` was set.
bool readJournalLines(const QByteArray& data, JournalLines& lines, const std::atomic<bool>& cancel,
                      const std::function<void(const JournalView&)>& preview);

// The lines of a view that pass a filter, newest first.
class JournalModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Who, Port, What, Changes, Verdict, ColumnCount };

    explicit JournalModel(QObject* parent = nullptr);

    void setView(std::shared_ptr<const JournalView> view);
    const JournalView* view() const { return view_.get(); }
    // Dates in local time, both ends included; an invalid date: no bound.
    void setFilter(const QDate& from, const QDate& to, bool pricesOnly);
    const JournalLine& lineAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void refilter();

    std::shared_ptr<const JournalView> view_;
    std::vector<int> shown_; // indices into view_->lines, newest first
    QDate from_, to_;
    bool pricesOnly_ = false;
};

class JournalWindow : public QWidget {
    Q_OBJECT
public:
    // Starts reading the journal at `path`; the lines appear when it has been read.
    explicit JournalWindow(const QString& path, QWidget* parent = nullptr);
    ~JournalWindow() override; // waits for a read under way

    const QString& path() const { return path_; }
    JournalModel& model() { return *model_; }
    // Whether a read is under way or due; whether the hash chain has been checked since.
    bool loading() const;
    bool chainChecked() const { return chainChecked_; }

    // Writes the records of the shown lines, in file order, as a CSV file for Excel;
    // false with the error when the file cannot be written.
    bool exportCsv(const QString& file, QString& error);

signals:
    // A read of the journal has been shown (a preview first, for a large one), or the
    // result of its chain check.
    void loaded();

private:
    void reload();
    void takeView(std::shared_ptr<const JournalView> view);
    void takeChain(int firstBroken);
    void applyFilter();
    void watch();
    void askExport();
    void showDamage();
    void showStatus();

    QString path_;
    JournalModel* model_;
    QDateEdit* fromDate_;
    QDateEdit* toDate_;
    QCheckBox* fromBox_;
    QCheckBox* toBox_;
    QCheckBox* pricesOnly_;
    QPushButton* exportButton_;
    QLabel* damage_;
    QTableView* table_;
    QLabel* status_;
    QFileSystemWatcher* watcher_;
    QTimer* reloadTimer_;

    // The reader thread works on lines_ alone, and only while it runs; it hands copies
    // over through queued calls.
    QThread* loader_ = nullptr;
    std::atomic<bool> cancel_{false};
    std::shared_ptr<JournalLines> lines_;
    bool reloadDue_ = false; // the file changed while it was read
    QString readError_;
    int firstBroken_ = 0;
    bool chainChecked_ = false;
};
