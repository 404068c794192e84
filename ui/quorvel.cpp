// SPDX-License-Identifier: GPL-3.0-or-later
#include "quorvel.h"

#include "batchend.h"
#include "conversion.h"
#include "jobtable.h"
#include "outputfolder.h"
#include "paths.h"
#include "batchplan.h"
#include "batchtitle.h"
#include "settingsdialog.h"
#include "sourcefiles.h"
#include "statusdelegate.h"
#include "toolcommands.h"

#include <QComboBox>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTableWidget>
#include <QUrl>

#include <chrono>

namespace {

constexpr std::chrono::milliseconds pauseAfterRow(500);

// The desktop's usual place: ~/.config/Quorvel/Quorvel.ini on Linux.
std::unique_ptr<QSettings> settingsStore()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quorvel"),
                                       QStringLiteral("Quorvel"));
}

} // namespace

Quorvel::Quorvel(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    JobTable::prepare(ui.videoTableWidget);
    m_batch = std::make_unique<TableBatch>(ui.videoTableWidget->model(), m_closing);
    m_idleTitle = windowTitle();
    ui.videoTableWidget->setItemDelegateForColumn(JobTable::ProcessStatus, new StatusDelegate(ui.videoTableWidget));
    ui.stopConvertBtn->hide();
    m_settings = loadSettings(*settingsStore());
    JobTable::setTargetSuffix(ui.videoTableWidget, suffixFor(m_settings.format));

    QHeaderView *header = ui.videoTableWidget->horizontalHeader();
    header->setSectionResizeMode(JobTable::FileName, QHeaderView::Stretch);
    header->setSectionResizeMode(JobTable::TargetPath, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(JobTable::TargetFileName, QHeaderView::ResizeToContents);

    // The default output folder, when it is the one in use. A plain file
    // named "output" counts as existing; a failure is not reported.
    QDir workingDir;
    if (m_settings.outputFolder.isEmpty() && !workingDir.exists(outputPath))
        workingDir.mkdir(outputPath);

    connect(ui.settingBtn, &QPushButton::clicked, this, [this] {
        qDebug("setting button clicked.");
        openSettings();
    });
    connect(ui.addBtn, &QPushButton::clicked, this, [this] { addVideoFiles(); });
    connect(ui.deleteBtn, &QPushButton::clicked, this, [this] { deleteCurrentVideo(); });
    connect(ui.convertBtn, &QPushButton::clicked, this, [this] { startConvert(); });
    connect(ui.videoTableWidget, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem *item) { JobTable::followSourceEdit(ui.videoTableWidget, item); });

    // The batch's reports. The status cell shows what the row's data says;
    // each change goes out through the window's own signal.
    connect(m_batch.get(), &TableBatch::statusChanged, this, [this](int row, Stage) {
        if (const QTableWidgetItem *status = ui.videoTableWidget->item(row, JobTable::ProcessStatus))
            emit signalUpdateConvertStatus(row, status->text());
    });
    connect(m_batch.get(), &TableBatch::rowStarted, this, [this](int row) { ui.videoTableWidget->selectRow(row); });
    connect(m_batch.get(), &TableBatch::progressChanged, this,
            [this](int ended, int total, int percent, qint64 leftMs, bool paused) {
                setWindowTitle(batchTitle(m_idleTitle, ended, total, percent, leftMs, paused));
            });
    m_batchEnd = new BatchEnd(this);
    connect(m_batch.get(), &TableBatch::ended, this, [this](int converted, int failed, int total, bool stopped) {
        ui.stopConvertBtn->hide();
        m_pauseBtn->hide();
        m_pauseBtn->setText(tr("Pause"));
        m_batchEnd->batchEnded(converted, failed, total, stopped, outputFolderFor(m_settings.outputFolder));
    });
    connect(ui.resolutionCB, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { m_batch->setScale(chosenScale()); });
    connect(ui.stopConvertBtn, &QPushButton::clicked, this, [this] {
        qDebug("stop button clicked.");
        stopConvert();
    });

    // Pause, beside Stop while a batch runs (and Ctrl+P): the running rows'
    // tools are held, no row starts; "Resume" lets them go on.
    m_pauseBtn = new QPushButton(tr("Pause"), this);
    m_pauseBtn->setObjectName(QStringLiteral("pauseConvertBtn"));
    m_pauseBtn->setMinimumHeight(ui.stopConvertBtn->minimumHeight());
    ui.horizontalLayout->insertWidget(ui.horizontalLayout->indexOf(ui.stopConvertBtn) + 1, m_pauseBtn);
    m_pauseBtn->hide();
    connect(m_pauseBtn, &QPushButton::clicked, this, [this] { togglePause(); });
    auto *pauseKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this);
    connect(pauseKey, &QShortcut::activated, this, [this] { togglePause(); });

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
    // The batch never waits for this thread, so waiting for it here cannot
    // deadlock; its tools are stopped first.
    m_closing.request();
    m_batch.reset();
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
    JobTable::appendRows(ui.videoTableWidget, files, folderText());
}

void Quorvel::deleteCurrentVideo()
{
    // A row under conversion stops when it is gone; the batch goes on.
    JobTable::removeCurrentRow(ui.videoTableWidget);
}

void Quorvel::addDroppedFiles(const QList<QUrl> &urls)
{
    QStringList paths;
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    JobTable::appendRows(ui.videoTableWidget, expandSources(paths), folderText());
}

void Quorvel::stopConvert()
{
    if (isConverting())
        m_batch->stop();
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
    // Where this row's own conversion wrote its result, whatever the output
    // folder is today.
    const QTableWidgetItem *status = table->item(row, JobTable::ProcessStatus);
    const QString target = status ? status->data(JobTable::ResultRole).toString() : QString();
    const bool converted = status && status->data(JobTable::StageRole) == int(Stage::Succeeded)
        && QFileInfo(target).isFile();

    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *openFolder = menu->addAction(tr("Open output folder"));
    QAction *play = menu->addAction(tr("Play"));
    openFolder->setEnabled(converted);
    play->setEnabled(converted);
    connect(openFolder, &QAction::triggered, this,
            [folder = QFileInfo(target).absolutePath()] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
    connect(play, &QAction::triggered, this, [target] { QDesktopServices::openUrl(QUrl::fromLocalFile(target)); });
    menu->popup(table->viewport()->mapToGlobal(position));
}

void Quorvel::updateConvertStatus(int rowNum, QString statusStr)
{
    JobTable::setStatus(ui.videoTableWidget, rowNum, statusStr);
}

void Quorvel::startConvert()
{
    if (isConverting()) {
        qDebug("In convert process, please wait.");
        return;
    }
    ui.stopConvertBtn->show();
    m_pauseBtn->show();
    const BatchPlan plan = batchPlanFor(m_settings, chosenScale(), ui.videoTableWidget->rowCount());
    m_batch->start(plan.settings, plan.workers, pauseAfterRow);
}

void Quorvel::togglePause()
{
    if (!isConverting())
        return;
    m_batch->setPaused(!m_batch->isPaused());
    m_pauseBtn->setText(m_batch->isPaused() ? tr("Resume") : tr("Pause"));
}

void Quorvel::applySettings(const Settings &settings)
{
    m_settings = settings;
    saveSettings(*settingsStore(), m_settings);
    JobTable::setTargetFolder(ui.videoTableWidget, folderText());
    JobTable::setTargetSuffix(ui.videoTableWidget, suffixFor(m_settings.format));
}

// While a batch runs the dialog only shows the choices: the batch keeps the
// ones it started with.
void Quorvel::openSettings()
{
    SettingsDialog dialog(m_settings, outputPath, isConverting(), this);
    dialog.offerWhenDone(*m_batchEnd);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // When done applies to the running batch too, and lasts this session.
    if (accepted || isConverting())
        m_batchEnd->setWhenDone(dialog.whenDone());
    if (accepted && !isConverting())
        applySettings(dialog.chosen());
}

QString Quorvel::chosenScale() const
{
    return ui.resolutionCB->currentData().toString();
}

QString Quorvel::folderText() const
{
    return m_settings.outputFolder.isEmpty() ? JobTable::defaultFolderText() : outputFolderFor(m_settings.outputFolder);
}
