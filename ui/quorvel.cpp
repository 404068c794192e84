#include "quorvel.h"

#include "batchworker.h"
#include "guirequests.h"
#include "jobtable.h"
#include "paths.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {
constexpr int eventPumpIntervalMs = 200;
constexpr int answerPollMs = 10;
} // namespace

Quorvel::Quorvel(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    m_guiRequests = new GuiRequests(this);
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
    connect(ui.stopConvertBtn, &QPushButton::clicked, this, [] { qDebug("stop button clicked."); });
}

Quorvel::~Quorvel()
{
    // The batch gives up any request still waiting for this thread once it is
    // asked to stop, so waiting here without serving events cannot deadlock.
    m_stopRequested = true;
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
    isConverting.store(true, std::memory_order_release);
    m_batch = QtConcurrent::run(QThreadPool::globalInstance(), this, &Quorvel::convertAllVideos);
}

// Runs `read` on the GUI thread, where the widgets live, and waits for its
// answer. The wait gives up once the batch is asked to stop: the window's
// destructor waits for the batch without serving requests, and a request
// still queued then is dropped with the window.
template <typename Result, typename Read>
std::optional<Result> Quorvel::askGuiThread(Read read)
{
    struct Answer {
        std::mutex mutex;
        std::condition_variable ready;
        std::optional<Result> value;
    };
    const auto answer = std::make_shared<Answer>();
    m_guiRequests->post([answer, read] {
        Result value = read();
        const std::lock_guard<std::mutex> lock(answer->mutex);
        answer->value = std::move(value);
        answer->ready.notify_one();
    });

    std::unique_lock<std::mutex> lock(answer->mutex);
    while (!answer->value) {
        if (m_stopRequested)
            return std::nullopt;
        answer->ready.wait_for(lock, std::chrono::milliseconds(answerPollMs));
    }
    return std::move(answer->value);
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
    host.rowCount = [this] {
        return askGuiThread<int>([this] { return ui.videoTableWidget->rowCount(); }).value_or(0);
    };
    host.selectRow = [this](int row) {
        return askGuiThread<std::optional<QString>>(
                   [this, row] { return JobTable::selectRowSource(ui.videoTableWidget, row); })
            .value_or(std::nullopt);
    };
    host.resolutionLabel = [this] {
        return askGuiThread<QString>([this] { return ui.resolutionCB->currentText(); }).value_or(QString());
    };
    host.report = [this](int row, const QString &status) { emit signalUpdateConvertStatus(row, status); };
    convertBatch(host, m_stopRequested);
}
