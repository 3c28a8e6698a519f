// "Журнал цен": the price journal's lines in a table, read in a thread of its own and
// read again whenever the file changes.
#include "journalwindow.h"

#include "appinfo.h"
#include "journal.h"
#include "journalcsv.h"

#include <QCheckBox>
#include <QColor>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace {

using journal::PanelState;
using journal::Record;
using journal::SignStates;

const QString kArrow = QStringLiteral(" → ");
const QString kUnknown = QStringLiteral("—");
const QString kShownTime = QStringLiteral("dd.MM.yyyy HH:mm:ss");
// A file that changes is read again once it has been quiet this long.
constexpr int kReloadDelayMs = 150;

QString field(const Record& record, const char* name) {
    return record.text(name);
}

QString halfName(bool second) {
    return second ? QStringLiteral("вторая половина") : QStringLiteral("первая половина");
}

QString priceText(const PanelState& state) {
    return state ? journal::priceOf(*state) : kUnknown;
}

bool differs(const PanelState& a, const PanelState& b) {
    return a && b && !journal::sameShowing(*a, *b);
}

// "ряд 3: 459 → 469" when both halves went the same way, "ряд 3: 459 → 469 / 459 → 462"
// when they differ, "ряд 3, вторая половина: 459 → 469" when one half alone changed.
QString changesText(const std::array<bool, 20>& changed, const SignStates& before,
                    const SignStates& after) {
    QStringList parts;
    for (int row = 10; row >= 1; --row) {
        const int first = journal::panelIndex(row, false);
        const int second = journal::panelIndex(row, true);
        const auto change = [&](int i) {
            QString text = priceText(before.at(i)) + kArrow + priceText(after.at(i));
            // The same price characters with another grade or "Снежинка"/"Евро".
            if (differs(before.at(i), after.at(i)) &&
                before.at(i)->left(3) == after.at(i)->left(3))
                text += QStringLiteral(" (сорт, флаги)");
            return text;
        };
        const QString name = QStringLiteral("ряд %1").arg(row);
        if (changed.at(first) && changed.at(second)) {
            const QString a = change(first), b = change(second);
            parts << name + QStringLiteral(": ") + (a == b ? a : a + QStringLiteral(" / ") + b);
        } else if (changed.at(first) || changed.at(second)) {
            const bool isSecond = changed.at(second);
            parts << name + QStringLiteral(", ") + halfName(isSecond) + QStringLiteral(": ") +
                         change(isSecond ? second : first);
        }
    }
    return parts.join(QStringLiteral("; "));
}


// A write's result record, with what the panels showed before it (none: unknown).
void fillWriteResult(JournalLine& line, const Record& record, const SignStates& before) {
    line.interrupted = false;
    if (record.has("error")) {
        line.verdict = QStringLiteral("не выполнена: ") + record.text("error");
        line.trouble = true;
        return;
    }
    const SignStates after = journal::statedBy(record);
    static const journal::PanelCells none;
    const journal::PanelCells* sentCells = record.cells("sent");
    const journal::PanelCells* verdictCells = record.cells("verdict");
    const journal::PanelCells& sent = sentCells != nullptr ? *sentCells : none;
    const journal::PanelCells& verdicts = verdictCells != nullptr ? *verdictCells : none;
    std::array<bool, 20> changed{};
    QStringList problems;
    bool written = false;
    for (int row = 10; row >= 1; --row)
        for (const bool second : {false, true}) {
            const int i = journal::panelIndex(row, second);
            const std::string verdict = verdicts.at(i).value_or(std::string());
            changed.at(i) = sent.at(i).has_value() || differs(before.at(i), after.at(i));
            const auto panel = [&] { return QStringLiteral("ряд %1, ").arg(row) + halfName(second); };
            if (verdict == "written")
                written = true;
            else if (verdict == "not_taken")
                problems << panel() + QStringLiteral(": не приняла");
            else if (verdict == "no_reply")
                problems << panel() + QStringLiteral(": нет ответа");
            else if (verdict == "left_out")
                problems << panel() + QStringLiteral(": не записана");
        }
    line.changes = changesText(changed, before, after);
    line.trouble = !problems.isEmpty();
    if (line.trouble)
        line.verdict = QStringLiteral("не подтверждено: ") + problems.join(QStringLiteral("; "));
    else
        line.verdict = written ? QStringLiteral("записано, стела подтвердила")
                               : QStringLiteral("без изменений");
}

JournalLine newLine(const Record& record, int index, const QString& what) {
    JournalLine line;
    line.time = record.time;
    line.who = field(record, "user") + QLatin1Char('@') + field(record, "host") +
               QStringLiteral(", ") + field(record, "program") + QLatin1Char(' ') +
               field(record, "version");
    line.port = field(record, "port");
    line.what = what;
    line.records.push_back(index);
    return line;
}

} // namespace

// --- building the lines ---------------------------------------------------------------------

void JournalLines::add(const journal::JournalContents& piece, int lineBase, qsizetype offsetBase) {
    for (const int torn : piece.tornLines)
        view.tornLines.push_back(lineBase + torn);
    view.fileLines = lineBase + piece.lines;
    for (const Record& record : piece.records) {
        const int index = static_cast<int>(view.spans.size());
        view.spans.emplace_back(offsetBase + record.offset, record.length);
        const SignStates stated = journal::statedBy(record);
        if (record.event == journal::kWriteStarted) {
            JournalLine line = newLine(record, index, QStringLiteral("запись цен"));
            line.id = field(record, "id");
            line.priceChange = line.trouble = line.interrupted = true;
            line.verdict = QStringLiteral("прервана: результата нет");
            open.insert(line.id, {view.lines.size(), stated});
            view.lines.push_back(std::move(line));
        } else if (record.event == journal::kWrite) {
            const QString id = field(record, "id");
            const auto it = id.isEmpty() ? open.end() : open.find(id);
            if (it != open.end()) {
                JournalLine& line = view.lines[it->line];
                line.records.push_back(index);
                fillWriteResult(line, record, it->before);
                open.erase(it);
            } else {
                // A write that never started: the port could not be used.
                JournalLine line = newLine(record, index, QStringLiteral("запись цен"));
                line.priceChange = true;
                fillWriteResult(line, record, known);
                view.lines.push_back(std::move(line));
            }
        } else if (record.event == journal::kObserved) {
            JournalLine line = newLine(record, index, QStringLiteral("на стеле замечено"));
            line.priceChange = true;
            std::array<bool, 20> changed{};
            for (int i = 0; i < 20; ++i)
                changed.at(i) = stated.at(i).has_value();
            line.changes = changesText(changed, known, stated);
            line.verdict = QStringLiteral("прочитано со стелы");
            view.lines.push_back(std::move(line));
        } else {
            const bool brightness = record.event == journal::kBrightness;
            JournalLine line = newLine(record, index,
                                       brightness ? QStringLiteral("яркость")
                                       : record.event == journal::kEffect ? QStringLiteral("эффекты")
                                                                          : record.event);
            // "яркость ручная: 5 — подтверждено": the command, then its answer.
            line.changes = journal::describe(record, false).section(QStringLiteral(" — "), 0, 0);
            if (record.has("error")) {
                line.verdict = QStringLiteral("не выполнено: ") + field(record, "error");
                line.trouble = true;
            } else if (record.text("confirmed") == QLatin1String("true")) {
                line.verdict = QStringLiteral("подтверждено");
            } else {
                line.verdict = QStringLiteral("не подтверждено");
                line.trouble = true;
            }
            view.lines.push_back(std::move(line));
        }
        for (int i = 0; i < 20; ++i)
            if (stated.at(i))
                known.at(i) = stated.at(i);
    }
}

namespace {

// Pieces of about this size are parsed one at a time, so that a read can be called off.
constexpr qsizetype kPieceBytes = 1 << 20;
// The newest records shown before the whole journal has been read.
constexpr qsizetype kPreviewBytes = 2 << 20;

int newlines(const QByteArray& data, qsizetype from, qsizetype to) {
    return static_cast<int>(std::count(data.constData() + from, data.constData() + to, '\n'));
}

} // namespace

bool readJournalLines(const QByteArray& data, JournalLines& lines, const std::atomic<bool>& cancel,
                      const std::function<void(const JournalView&)>& preview) {
    // Complete lines only: a last line without its newline may still be being written.
    const qsizetype end = data.lastIndexOf('\n') + 1;
    qsizetype from = 0;
    int lineBase = 0;
    const auto& spans = lines.view.spans;
    // The file only grows: what was read stands where it was, and only what follows it
    // is new. Anything else is read anew.
    const auto stands = [&] {
        const auto [offset, length] = spans.back();
        return offset + length < data.size() && data.at(offset + length) == '\n' &&
               journal::lineHash(data.mid(offset, length)) == lines.lastHash;
    };
    if (!spans.empty() && lines.end <= end && stands()) {
        from = lines.end;
        lineBase = lines.view.fileLines;
    } else {
        lines = JournalLines{};
    }
    if (from == 0 && preview && end > 2 * kPreviewBytes) {
        const qsizetype tail = data.indexOf('\n', end - kPreviewBytes) + 1;
        JournalLines newest;
        newest.add(journal::parseJournal(data.mid(tail, end - tail)), newlines(data, 0, tail), tail);
        preview(newest.view);
    }
    while (from < end) {
        if (cancel)
            return false;
        qsizetype to = std::min(end, from + kPieceBytes);
        if (to < end)
            to = data.indexOf('\n', to - 1) + 1;
        const journal::JournalContents piece = journal::parseJournal(data.mid(from, to - from));
        lines.add(piece, lineBase, from);
        lineBase += piece.lines;
        from = to;
    }
    lines.end = end;
    if (!spans.empty())
        lines.lastHash = journal::lineHash(data.mid(spans.back().first, spans.back().second));
    return true;
}

// --- the model ------------------------------------------------------------------------------

JournalModel::JournalModel(QObject* parent) : QAbstractTableModel(parent) {}

void JournalModel::setView(std::shared_ptr<const JournalView> view) {
    beginResetModel();
    view_ = std::move(view);
    refilter();
    endResetModel();
}

void JournalModel::setFilter(const QDate& from, const QDate& to, bool pricesOnly) {
    beginResetModel();
    from_ = from;
    to_ = to;
    pricesOnly_ = pricesOnly;
    refilter();
    endResetModel();
}

void JournalModel::refilter() {
    shown_.clear();
    if (!view_)
        return;
    // Local midnights: a date bound counts its whole day.
    const QDateTime from = from_.isValid() ? QDateTime(from_, QTime(0, 0)) : QDateTime();
    const QDateTime until = to_.isValid() ? QDateTime(to_.addDays(1), QTime(0, 0)) : QDateTime();
    const auto& lines = view_->lines;
    shown_.reserve(lines.size());
    for (int i = static_cast<int>(lines.size()) - 1; i >= 0; --i) {
        const JournalLine& line = lines[std::size_t(i)];
        if ((pricesOnly_ && !line.priceChange) || (from.isValid() && line.time < from) ||
            (until.isValid() && line.time >= until))
            continue;
        shown_.push_back(i);
    }
}

const JournalLine& JournalModel::lineAt(int row) const {
    return view_->lines.at(std::size_t(shown_.at(std::size_t(row))));
}

int JournalModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int JournalModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant JournalModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const JournalLine& line = lineAt(index.row());
    if (role == Qt::ForegroundRole)
        return line.trouble ? QVariant(QColor(0xB0, 0, 0)) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case Time:
        return line.time.toLocalTime().toString(kShownTime);
    case Who:
        return line.who;
    case Port:
        return line.port;
    case What:
        return line.what;
    case Changes:
        return line.changes;
    case Verdict:
        return line.verdict;
    default:
        return {};
    }
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Time:
        return QStringLiteral("Время");
    case Who:
        return QStringLiteral("Кто");
    case Port:
        return QStringLiteral("Порт");
    case What:
        return QStringLiteral("Что");
    case Changes:
        return QStringLiteral("Ряды: было → стало");
    case Verdict:
        return QStringLiteral("Итог");
    default:
        return {};
    }
}

// --- the window -----------------------------------------------------------------------------

JournalWindow::JournalWindow(const QString& path, QWidget* parent)
    : QWidget(parent), path_(path), model_(new JournalModel(this)) {
    setObjectName(QStringLiteral("JournalWindow"));
    setWindowFlag(Qt::Window);
    setWindowTitle(kJournalWindowCaption);
    setFont(appinfo::font(appinfo::kSansSerif, 11));
    resize(960, 520);

    const auto dateEdit = [this](const char* name) {
        auto* edit = new QDateEdit(QDate::currentDate(), this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        edit->setCalendarPopup(true);
        return edit;
    };
    const auto box = [this](const char* name, const QString& caption) {
        auto* check = new QCheckBox(caption, this);
        check->setObjectName(QString::fromLatin1(name));
        return check;
    };
    fromBox_ = box("fromBox", QStringLiteral("с"));
    fromDate_ = dateEdit("fromDate");
    toBox_ = box("toBox", QStringLiteral("по"));
    toDate_ = dateEdit("toDate");
    pricesOnly_ = box("pricesOnly", QStringLiteral("только изменения цен"));
    exportButton_ = new QPushButton(QStringLiteral("Экспорт в CSV..."), this);
    exportButton_->setObjectName(QStringLiteral("exportButton"));

    damage_ = new QLabel(this);
    damage_->setObjectName(QStringLiteral("damage"));
    damage_->setWordWrap(true);
    QPalette red = damage_->palette();
    red.setColor(QPalette::WindowText, QColor(0xB0, 0, 0));
    damage_->setPalette(red);
    damage_->hide();

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("table"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    // Fixed row heights: the view never measures 100,000 rows.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {120, 200, 50, 110, 260};
    for (int c = 0; c < int(std::size(widths)); ++c)
        table_->setColumnWidth(c, widths[c]);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));

    auto* filters = new QHBoxLayout;
    filters->addWidget(fromBox_);
    filters->addWidget(fromDate_);
    filters->addSpacing(8);
    filters->addWidget(toBox_);
    filters->addWidget(toDate_);
    filters->addSpacing(16);
    filters->addWidget(pricesOnly_);
    filters->addStretch(1);
    filters->addWidget(exportButton_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->addLayout(filters);
    layout->addWidget(damage_);
    layout->addWidget(table_, 1);
    layout->addWidget(status_);

    // A date picked ticks its box.
    connect(fromDate_, &QDateEdit::dateChanged, this, [this] {
        fromBox_->setChecked(true);
        applyFilter();
    });
    connect(toDate_, &QDateEdit::dateChanged, this, [this] {
        toBox_->setChecked(true);
        applyFilter();
    });
    for (QCheckBox* check : {fromBox_, toBox_, pricesOnly_})
        connect(check, &QCheckBox::toggled, this, &JournalWindow::applyFilter);
    connect(exportButton_, &QPushButton::clicked, this, &JournalWindow::askExport);

    watcher_ = new QFileSystemWatcher(this);
    reloadTimer_ = new QTimer(this);
    reloadTimer_->setSingleShot(true);
    reloadTimer_->setInterval(kReloadDelayMs);
    connect(reloadTimer_, &QTimer::timeout, this, &JournalWindow::reload);
    const auto changed = [this] {
        watch();
        reloadTimer_->start();
    };
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, changed);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, changed);
    watch();

    status_->setText(QStringLiteral("Читается журнал ") + QDir::toNativeSeparators(path_) +
                     QStringLiteral("..."));
    reload();
}

JournalWindow::~JournalWindow() {
    if (loader_ != nullptr) {
        cancel_ = true;
        loader_->wait();
        delete loader_;
    }
}

bool JournalWindow::loading() const {
    return loader_ != nullptr || reloadDue_ || reloadTimer_->isActive();
}

void JournalWindow::watch() {
    // The file, and its folder for a file that is created or replaced.
    const QFileInfo info(path_);
    if (info.exists() && !watcher_->files().contains(path_))
        watcher_->addPath(path_);
    const QString folder = info.absolutePath();
    if (QFileInfo::exists(folder) && !watcher_->directories().contains(folder))
        watcher_->addPath(folder);
}

void JournalWindow::reload() {
    if (loader_ != nullptr) {
        reloadDue_ = true;
        return;
    }
    reloadDue_ = false;
    if (!lines_)
        lines_ = std::make_shared<JournalLines>();
    const bool first = model_->view() == nullptr;
    loader_ = QThread::create([this, lines = lines_, first] {
        QFile file(path_);
        QByteArray data;
        QString error;
        if (file.exists() && (!file.open(QIODevice::ReadOnly) || (data = file.readAll()).isNull()))
            error = file.errorString();
        const auto hand = [this](std::shared_ptr<const JournalView> view) {
            QMetaObject::invokeMethod(this, [this, view] { takeView(view); }, Qt::QueuedConnection);
        };
        if (!error.isEmpty()) {
            QMetaObject::invokeMethod(this, [this, error] { readError_ = error; showDamage(); },
                                      Qt::QueuedConnection);
            return;
        }
        // The chain is checked beside the reading, on a thread of its own.
        int broken = 0;
        const std::unique_ptr<QThread> chain(
            QThread::create([&data, &broken] { broken = journal::checkChain(data).firstBroken; }));
        chain->start();
        const auto preview = [&](const JournalView& newest) {
            auto view = std::make_shared<JournalView>(newest);
            view->complete = false;
            hand(view);
        };
        const bool read = readJournalLines(data, *lines, cancel_,
                                           first ? preview : std::function<void(const JournalView&)>());
        if (read) {
            auto view = std::make_shared<JournalView>(lines->view);
            if (lines->end < data.size()) {
                // A last line still without its newline: cut short, or being written now.
                view->fileLines += 1;
                view->tornLines.push_back(view->fileLines);
            }
            hand(view);
        }
        chain->wait();
        if (read && !cancel_)
            QMetaObject::invokeMethod(this, [this, broken] { takeChain(broken); }, Qt::QueuedConnection);
    });
    connect(loader_, &QThread::finished, this, [this] {
        QThread* done = std::exchange(loader_, nullptr);
        done->wait();
        done->deleteLater();
        if (reloadDue_)
            reload();
    });
    readError_.clear();
    loader_->start();
}

void JournalWindow::takeView(std::shared_ptr<const JournalView> view) {
    model_->setView(std::move(view));
    showDamage();
    showStatus();
    emit loaded();
}

void JournalWindow::takeChain(int firstBroken) {
    firstBroken_ = firstBroken;
    chainChecked_ = true;
    showDamage();
    emit loaded();
}

void JournalWindow::applyFilter() {
    model_->setFilter(fromBox_->isChecked() ? fromDate_->date() : QDate(),
                      toBox_->isChecked() ? toDate_->date() : QDate(), pricesOnly_->isChecked());
    showStatus();
}

void JournalWindow::showDamage() {
    const JournalView* view = model_->view();
    QStringList text;
    if (!readError_.isEmpty())
        text << QStringLiteral("Журнал не прочитан: ") + readError_;
    if (view != nullptr && view->complete && !view->tornLines.empty())
        text << QStringLiteral("Пропущено оборванных строк: %1 (первая — строка %2).")
                    .arg(view->tornLines.size())
                    .arg(view->tornLines.front());
    if (firstBroken_ != 0)
        text << QStringLiteral("Цепочка записей нарушена в строке %1: строка перед ней удалена "
                               "или изменена, или изменена она сама.")
                    .arg(firstBroken_);
    damage_->setText(text.join(QLatin1Char('\n')));
    damage_->setVisible(!text.isEmpty());
}

void JournalWindow::showStatus() {
    const JournalView* view = model_->view();
    if (view == nullptr)
        return;
    QString text = QStringLiteral("Показано строк: %1 из %2. Файл: %3")
                       .arg(model_->rowCount())
                       .arg(view->lines.size())
                       .arg(QDir::toNativeSeparators(path_));
    if (!view->complete)
        text = QStringLiteral("Журнал ещё читается, показаны последние записи. ") + text;
    status_->setText(text);
}

bool JournalWindow::exportCsv(const QString& file, QString& error) {
    const JournalView* view = model_->view();
    if (view == nullptr || !view->complete) {
        error = QStringLiteral("журнал ещё читается");
        return false;
    }
    std::set<int> records;
    for (int row = 0; row < model_->rowCount(); ++row) {
        const JournalLine& line = model_->lineAt(row);
        records.insert(line.records.begin(), line.records.end());
    }
    // The records' own lines, read again: the file only grows, so they stand where they
    // were read from.
    QFile in(path_);
    QByteArray lines;
    if (!records.empty()) {
        if (!in.open(QIODevice::ReadOnly)) {
            error = in.errorString();
            return false;
        }
        const QByteArray data = in.readAll();
        for (const int r : records) {
            const auto [offset, length] = view->spans.at(std::size_t(r));
            lines += data.mid(offset, length) + '\n';
        }
    }
    const journal::JournalContents contents = journal::parseJournal(lines);
    if (contents.records.size() != records.size()) {
        error = QStringLiteral("журнал изменён, пока был открыт; откройте его снова");
        return false;
    }
    std::vector<const Record*> selected;
    for (const Record& record : contents.records)
        selected.push_back(&record);
    // A write's two records are on one line, so they are exported together, and a
    // "started" alone reads as interrupted here as in the whole journal.
    const QByteArray out = journal::csvBytes(selected, journal::Describer(contents));
    QSaveFile save(file);
    if (!save.open(QIODevice::WriteOnly) || save.write(out) != out.size() || !save.commit()) {
        error = save.errorString();
        return false;
    }
    return true;
}

void JournalWindow::askExport() {
    // Modal to this window only: the main window goes on working.
    auto* dialog = new QFileDialog(this, QStringLiteral("Экспорт в CSV"), QDir::homePath(),
                                   QStringLiteral("Файлы CSV (*.csv);;Все файлы (*)"));
    dialog->setObjectName(QStringLiteral("ExportDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    dialog->selectFile(QDateTime::currentDateTime().toString(
        QStringLiteral("'zemta-journal-'yyyyMMdd-HHmmss'.csv'")));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& file) {
        QString error;
        if (exportCsv(file, error))
            return;
        auto* box = new QMessageBox(QMessageBox::Critical, appinfo::kApplicationTitle,
                                    QStringLiteral("Не удалось записать файл %1: %2")
                                        .arg(QDir::toNativeSeparators(file), error),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->open();
    });
    dialog->open();
}
