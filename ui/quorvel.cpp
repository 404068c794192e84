// SPDX-License-Identifier: GPL-3.0-or-later
#include "quorvel.h"

#include "batchworker.h"
#include "conversion.h"
#include "jobtable.h"
#include "paths.h"
#include "progresstext.h"
#include "sourcefiles.h"
#include "statusdelegate.h"
#include "toolcommands.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QTableWidget>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent>

#include <memory>
#include <mutex>

namespace {
constexpr int eventPumpIntervalMs = 200;

// Guards the hand-over of work from the batch's thread to the GUI thread.
// Qt's event queue synchronises through futexes that ThreadSanitizer cannot
// see in Debian's Qt; with this lock around both ends the hand-over is plain
// std::mutex ordering, which it checks in full.
std::mutex guiHandOff;
} // namespace

Quorvel::Quorvel(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    m_idleTitle = windowTitle();
    ui.videoTableWidget->setItemDelegateForColumn(JobTable::ProcessStatus, new StatusDelegate(ui.videoTableWidget));
    ui.settingBtn->hide();
    ui.stopConvertBtn->hide();

    // Pumps pending events every 200 ms. Owned by the window so it goes with it.
    auto *eventPump = new QTimer(this);
    connect(eventPump, &QTimer::timeout, [] { QCoreApplication::processEvents(); });
    eventPump->start(eventPumpIntervalMs);

    QHeaderView *header = ui.videoTableWidget->horizontalHeader();
    header->setSectionResizeMode(JobTable::FileName, QHeaderView::Stretch);
    header->setSectionResizeMode(JobTable::TargetPath, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(JobTable::TargetFileName, QHeaderView::ResizeToContents);

    // A plain file named "output" counts as existing; a failure is not reported.
    QDir workingDir;
    if (!workingDir.exists(outputPath))
        workingDir.mkdir(outputPath);

    connect(ui.settingBtn, &QPushButton::clicked, this, [] { qDebug("setting button clicked."); });
    connect(ui.addBtn, &QPushButton::clicked, this, [this] { addVideoFiles(); });
    connect(ui.deleteBtn, &QPushButton::clicked, this, [this] { deleteCurrentVideo(); });
    connect(this, &Quorvel::signalUpdateConvertStatus, this,
            [this](int rowNum, const QString &statusStr) { updateConvertStatus(rowNum, statusStr); });
    connect(ui.convertBtn, &QPushButton::clicked, this, [this] { startConvert(); });
    connect(ui.stopConvertBtn, &QPushButton::clicked, this, [this] {
        qDebug("stop button clicked.");
        stopConvert();
    });

    // Keys: Esc stops a running batch; Delete in the table removes the current
    // row (an open cell editor takes the key first, so editing is unchanged);
    // Ctrl+O adds files.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { stopConvert(); });
    auto *deleteKey = new QShortcut(QKeySequence::Delete, ui.videoTableWidget, nullptr, nullptr,
                                    Qt::WidgetWithChildrenShortcut);
    connect(deleteKey, &QShortcut::activated, this, [this] { deleteCurrentVideo(); });
    auto *open = new QShortcut(QKeySequence::Open, this);
    connect(open, &QShortcut::activated, this, [this] { addVideoFiles(); });

    // Files and folders dropped anywhere on the window become rows.
    setAcceptDrops(true);

    ui.videoTableWidget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui.videoTableWidget, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &position) { showRowMenu(position); });
}

Quorvel::~Quorvel()
{
    // A batch that waits for an answer from this thread gives up when the
    // window closes, so waiting here without serving events cannot deadlock.
    m_closing.request();
    m_batch.waitForFinished();
    // Pairs with the release store that ends the batch: the batch's last
    // touches of this window happen before its destruction in standard C++
    // terms, not only through the future's own locking.
    isConverting.load(std::memory_order_acquire);
}

void Quorvel::addVideoFiles()
{
    const QString startFolder = QFileInfo(QStringLiteral(".")).absolutePath();
    const QStringList files = QFileDialog::getOpenFileNames(this, tr("Select files"), startFolder,
                                                            tr("All files(*.*)"));
    if (files.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Warning"), QStringLiteral("Failed to open the file."),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    JobTable::appendRows(ui.videoTableWidget, files);
}

void Quorvel::deleteCurrentVideo()
{
    JobTable::removeCurrentRow(ui.videoTableWidget);
    // The row under conversion is gone: stop its tool; the batch goes on.
    if (m_runningBatchRow >= 0 && !m_batchRows.at(m_runningBatchRow).isValid())
        m_rowStop.request();
}

void Quorvel::addDroppedFiles(const QList<QUrl> &urls)
{
    QStringList paths;
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    JobTable::appendRows(ui.videoTableWidget, expandSources(paths));
}

void Quorvel::stopConvert()
{
    if (isConverting)
        m_batchStop.request();
}

void Quorvel::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void Quorvel::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasUrls())
        return;
    event->acceptProposedAction();
    addDroppedFiles(event->mimeData()->urls());
}

void Quorvel::showRowMenu(const QPoint &position)
{
    QTableWidget *table = ui.videoTableWidget;
    const int row = table->rowAt(position.y());
    if (row < 0)
        return;
    const QTableWidgetItem *source = table->item(row, JobTable::FileName);
    const QTableWidgetItem *status = table->item(row, JobTable::ProcessStatus);
    const QString target = source ? buildTargetPath(baseNameOf(source->text())) : QString();
    const bool converted = status && status->text() == successText && QFileInfo(target).isFile();

    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *openFolder = menu->addAction(tr("Open output folder"));
    QAction *play = menu->addAction(tr("Play"));
    openFolder->setEnabled(converted);
    play->setEnabled(converted);
    connect(openFolder, &QAction::triggered, this, [] { QDesktopServices::openUrl(QUrl::fromLocalFile(outputPath)); });
    connect(play, &QAction::triggered, this, [target] { QDesktopServices::openUrl(QUrl::fromLocalFile(target)); });
    menu->popup(table->viewport()->mapToGlobal(position));
}

void Quorvel::updateConvertStatus(int rowNum, QString statusStr)
{
    JobTable::setStatus(ui.videoTableWidget, rowNum, statusStr);
    // Paint the new text now rather than when the event loop comes round.
    QCoreApplication::processEvents();
}

void Quorvel::startConvert()
{
    if (isConverting) {
        qDebug("In convert process, please wait.");
        return;
    }
    m_batchStop.reset();
    m_rowStop.reset();
    m_runningBatchRow = -1;
    ui.stopConvertBtn->show();
    isConverting.store(true, std::memory_order_release);
    m_batch = QtConcurrent::run(QThreadPool::globalInstance(), this, &Quorvel::convertAllVideos);
}

// Queues `work` to run on the GUI thread, with the window as its context: a
// call still queued when the window goes is dropped with it. Everything this
// thread wrote before, the captures included, is visible to `work`.
template <typename Work>
void Quorvel::postToGuiThread(Work work)
{
    const std::lock_guard<std::mutex> handOff(guiHandOff);
    QMetaObject::invokeMethod(
        this,
        [work = std::move(work)]() mutable {
            {
                const std::lock_guard<std::mutex> handOff(guiHandOff);
            }
            work();
        },
        Qt::QueuedConnection);
}

// Runs `read` on the GUI thread, where the widgets live, and waits for its
// answer. A blocking queued call would deadlock with the destructor, which
// waits for the batch without serving events: this wait ends when the window
// closes instead.
template <typename Result, typename Read>
std::optional<Result> Quorvel::askGuiThread(Read read)
{
    struct Answer {
        std::mutex mutex;
        std::optional<Result> value;
    };
    const auto answer = std::make_shared<Answer>();
    postToGuiThread([this, answer, read] {
        Result value = read();
        {
            const std::lock_guard<std::mutex> lock(answer->mutex);
            answer->value = std::move(value);
        }
        m_closing.wake();
    });

    const bool answered = m_closing.waitUntil([&] {
        const std::lock_guard<std::mutex> lock(answer->mutex);
        return answer->value.has_value();
    });
    if (!answered)
        return std::nullopt;
    const std::lock_guard<std::mutex> lock(answer->mutex);
    return std::move(answer->value);
}

int Quorvel::takeBatchRows()
{
    QTableWidget *table = ui.videoTableWidget;
    const int rows = table->rowCount();
    m_batchRows.clear();
    for (int row = 0; row < rows; ++row) {
        m_batchRows << QPersistentModelIndex(table->model()->index(row, JobTable::FileName));
        // A bar and a tooltip belong to a run: a row this batch has not
        // reached shows none.
        if (QTableWidgetItem *status = table->item(row, JobTable::ProcessStatus)) {
            status->setData(JobTable::ProgressRole, QVariant());
            status->setToolTip(QString());
        }
    }
    m_batchSources = QVector<QString>(rows);
    m_batchProgress = QVector<int>(rows, 0);
    return rows;
}

int Quorvel::tableRowOf(int batchRow) const
{
    if (batchRow < 0 || batchRow >= m_batchRows.size() || !m_batchRows.at(batchRow).isValid())
        return -1;
    return m_batchRows.at(batchRow).row();
}

std::optional<BatchRow> Quorvel::selectBatchRow(int batchRow)
{
    // Reset here, on the GUI thread, so that a Delete is always measured
    // against the row that the batch is really working on.
    m_runningBatchRow = batchRow;
    m_rowStop.reset();
    m_rowClock.start();
    const int row = tableRowOf(batchRow);
    const std::optional<QString> source = JobTable::selectRowSource(ui.videoTableWidget, row);
    if (!source) {
        m_batchProgress[batchRow] = 100; // deleted: nothing left to do for it
        return std::nullopt;
    }
    showBatchInTitle();
    m_batchSources[batchRow] = *source;
    // Only a row that goes through the pre-process needs the temporary file,
    // and so the look through the whole table for it as a source.
    return BatchRow { *source,
                      needsPreProcess(*source) && JobTable::hasSource(ui.videoTableWidget, buildPreProcessPath()) };
}

void Quorvel::showBatchProgress(int batchRow, int percent)
{
    if (batchRow < 0 || batchRow >= m_batchProgress.size())
        return;
    // Never down within a row's run.
    percent = qMax(m_batchProgress.at(batchRow), percent);
    m_batchProgress[batchRow] = percent;
    if (QTableWidgetItem *status = ui.videoTableWidget->item(tableRowOf(batchRow), JobTable::ProcessStatus)) {
        status->setData(JobTable::ProgressRole, percent);
        if (batchRow == m_runningBatchRow)
            status->setToolTip(progressText(percent, m_rowClock.elapsed()));
    }
    showBatchInTitle();
}

void Quorvel::finishBatchRow(int batchRow, const ConversionResult &result)
{
    using Outcome = ConversionResult::Outcome;
    if (result.outcome == Outcome::Failed)
        qWarning().noquote() << QStringLiteral("Failed: %1: %2").arg(m_batchSources.value(batchRow), result.reason);
    QTableWidgetItem *status = ui.videoTableWidget->item(tableRowOf(batchRow), JobTable::ProcessStatus);
    if (!status)
        return;
    switch (result.outcome) {
    case Outcome::Success:
        status->setToolTip(QStringLiteral("Done in %1").arg(clockText(m_rowClock.elapsed())));
        break;
    case Outcome::Failed:
        status->setToolTip(result.reason);
        break;
    case Outcome::Stopped:
        status->setToolTip(QStringLiteral("Stopped by the user"));
        break;
    }
}

void Quorvel::showBatchInTitle()
{
    if (m_runningBatchRow < 0 || m_batchProgress.isEmpty()) {
        setWindowTitle(m_idleTitle);
        return;
    }
    qint64 sum = 0;
    for (int percent : qAsConst(m_batchProgress))
        sum += percent;
    setWindowTitle(QStringLiteral("%1 - %2 of %3 - %4 %")
                       .arg(m_idleTitle)
                       .arg(m_runningBatchRow + 1)
                       .arg(m_batchProgress.size())
                       .arg(sum / m_batchProgress.size()));
}

void Quorvel::endBatch()
{
    ui.stopConvertBtn->hide();
    m_runningBatchRow = -1;
    m_batchProgress.clear();
    showBatchInTitle();
}

void Quorvel::convertAllVideos()
{
    // Pairs with the store in startConvert: everything the GUI thread did
    // before starting the batch is visible here, whichever pool thread runs it.
    if (!isConverting.load(std::memory_order_acquire))
        return;
    // Cleared on every way out of the batch, an exception included.
    const auto batchEnded = qScopeGuard([this] { isConverting.store(false, std::memory_order_release); });

    BatchHost host;
    host.takeRows = [this] { return askGuiThread<int>([this] { return takeBatchRows(); }).value_or(0); };
    host.selectRow = [this](int batchRow) {
        return askGuiThread<std::optional<BatchRow>>([this, batchRow] { return selectBatchRow(batchRow); })
            .value_or(std::nullopt);
    };
    host.resolutionLabel = [this] {
        return askGuiThread<QString>([this] { return ui.resolutionCB->currentText(); }).value_or(QString());
    };
    host.report = [this](int batchRow, const QString &status) {
        askGuiThread<bool>([this, batchRow, status] {
            const int row = tableRowOf(batchRow);
            if (row >= 0) {
                emit signalUpdateConvertStatus(row, status);
                showBatchProgress(batchRow, 0); // a bar from the row's first status on
            }
            return true;
        });
    };
    host.progress = [this](int batchRow, int percent) {
        postToGuiThread([this, batchRow, percent] { showBatchProgress(batchRow, percent); });
    };
    host.finished = [this](int batchRow, const ConversionResult &result) {
        postToGuiThread([this, batchRow, result] { finishBatchRow(batchRow, result); });
    };
    convertBatch(host, m_batchStop, m_rowStop);
    postToGuiThread([this] { endBatch(); });
}
