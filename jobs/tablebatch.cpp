// SPDX-License-Identifier: GPL-3.0-or-later
#include "tablebatch.h"

#include "conversion.h"
#include "handoff.h"
#include "jobtable.h"
#include "outputfolder.h"
#include "progresstext.h"
#include "runner.h"

#include <QAbstractItemModel>
#include <QDebug>
#include <QThreadPool>
#include <QtConcurrent>

TableBatch::TableBatch(QAbstractItemModel *model, Stop &stop)
    : m_model(model)
    , m_batchStop(stop)
{
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { followRemovals(); });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) { followEdits(topLeft, bottomRight); });
}

TableBatch::~TableBatch()
{
    m_batchStop.request();
    m_run.waitForFinished();
    // Pairs with the store that ends the run: its last touches of this
    // object happen before its destruction in standard C++ terms, not only
    // through the future's own locking.
    m_runEnded.load(std::memory_order_acquire);
}

void TableBatch::start(const PlanSettings &settings, int workers, std::chrono::milliseconds pause)
{
    m_run.waitForFinished(); // the last batch's thread is at its very end, if not gone
    const int rows = m_model->rowCount();
    QStringList sources;
    m_rows.clear();
    for (int row = 0; row < rows; ++row) {
        const QModelIndex source = m_model->index(row, JobTable::FileName);
        m_rows << QPersistentModelIndex(source);
        sources << source.data().toString();
        // A bar and a tooltip belong to a run: a row this batch has not
        // reached shows none. Its stage and result stay until it is reached.
        const QModelIndex status = m_model->index(row, JobTable::ProcessStatus);
        m_model->setData(status, QVariant(), JobTable::ProgressRole);
        m_model->setData(status, QVariant(), Qt::ToolTipRole);
    }
    m_progress = QVector<int>(rows, 0);
    m_done = QVector<bool>(rows, false);
    m_clocks = QVector<QElapsedTimer>(rows);
    m_pausedAtStart = QVector<qint64>(rows, 0);
    m_endedAt = QVector<qint64>(rows, -1);
    m_rowPauseMs = settings.direct ? 0 : qint64(pause.count());
    m_workers = qMax(1, workers);
    m_pausedMs = 0;
    m_paused = false;
    m_converted = 0;
    m_failed = 0;
    m_pause.resume();
    m_batchClock.start();
    m_begun = false;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_shared.clear();
        for (const QString &source : qAsConst(sources))
            m_shared.append(SharedRow { source, false });
        m_settings = settings;
    }
    m_plan = std::make_unique<Plan>(sources);
    m_next = 0;
    m_batchStop.reset();

    Runner::Hooks hooks;
    hooks.next = [this] { return next(); };
    hooks.more = [this] {
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (int number = m_next; number < m_shared.size(); ++number) {
            if (!m_shared.at(number).gone)
                return true;
        }
        return false;
    };
    hooks.started = [this](const Job &job) {
        postTo(this, [this, number = job.number] {
            m_clocks[number].start();
            m_pausedAtStart[number] = pausedMs();
            m_begun = true;
            const int row = rowOf(number);
            if (row >= 0) {
                const QModelIndex status = m_model->index(row, JobTable::ProcessStatus);
                m_model->setData(status, int(Stage::Waiting), JobTable::StageRole);
                m_model->setData(status, QVariant(), JobTable::ReasonRole);
                // Started just as the batch was paused: held all the same.
                m_model->setData(status, m_paused ? QVariant(true) : QVariant(), JobTable::PausedRole);
                emit rowStarted(row);
            }
            showBatchProgress();
        });
    };
    hooks.status = [this](const Job &job, Stage stage) {
        postTo(this, [this, number = job.number, stage] {
            const int row = rowOf(number);
            if (row < 0)
                return;
            // A step's own outcome is not the row's: only finish() ends it.
            if (stage == Stage::PreProcessing || stage == Stage::Converting)
                m_model->setData(m_model->index(row, JobTable::ProcessStatus), int(stage), JobTable::StageRole);
            emit statusChanged(row, stage);
            showProgress(number, 0); // a bar from the row's first status on
        });
    };
    hooks.progress = [this](const Job &job, int percent) {
        postTo(this, [this, number = job.number, percent] { showProgress(number, percent); });
    };
    hooks.finished = [this](const Job &job, const ConversionResult &result) {
        postTo(this, [this, job, result] { finish(job, result); });
    };
    m_runner = std::make_unique<Runner>(hooks, m_batchStop, workers, pause, &m_pause);
    m_runEnded.store(false, std::memory_order_release);
    m_run = QtConcurrent::run(QThreadPool::globalInstance(), this, &TableBatch::run);
}

void TableBatch::run()
{
    // Pairs with the store in start(): what the GUI thread set up is
    // visible here, whichever pool thread runs this.
    m_runEnded.load(std::memory_order_acquire);
    QString folder;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        folder = m_settings.outputFolder;
    }
    // The disk, away from the GUI thread: the folder made if need be, and
    // cleared of what a crashed or killed Quorvel left in it.
    const QString problem = prepareOutputFolder(folder);
    if (problem.isEmpty()) {
        if (const int removed = removeLeftovers(folder))
            qDebug().noquote() << QStringLiteral(
                                      "removed %1 file(s) left in %2 by a Quorvel that ended while converting")
                                      .arg(removed)
                                      .arg(folder);
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_settings.outputProblem = problem;
    }
    m_runner->run();
    postTo(this, [this] {
        const int total = m_rows.size();
        m_runner.reset();
        m_rows.clear();
        m_paused = false;
        m_pause.resume();
        showBatchProgress();
        emit ended(m_converted, m_failed, total, m_batchStop.isRequested());
    });
    m_runEnded.store(true, std::memory_order_release);
}

void TableBatch::setScale(const QString &scale)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_settings.scale = scale;
}

std::optional<Job> TableBatch::next()
{
    QString source;
    PlanSettings settings;
    int number = -1;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        while (m_next < m_shared.size() && m_shared.at(m_next).gone)
            ++m_next;
        if (m_next >= m_shared.size())
            return std::nullopt;
        number = m_next++;
        source = m_shared.at(number).source;
        settings = m_settings;
    }
    // Outside the lock: the plan looks at the file, which may take a while
    // on a slow disk, and the GUI thread must never wait for that.
    return m_plan->add(number, source, settings);
}

int TableBatch::rowOf(int number) const
{
    if (number < 0 || number >= m_rows.size() || !m_rows.at(number).isValid())
        return -1;
    return m_rows.at(number).row();
}

void TableBatch::followRemovals()
{
    for (int number = 0; number < m_rows.size(); ++number) {
        if (m_rows.at(number).isValid() || m_done.at(number))
            continue;
        m_done[number] = true;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_shared[number].gone = true;
        }
        if (m_runner)
            m_runner->stopJob(number);
    }
    showBatchProgress();
}

void TableBatch::followEdits(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    if (m_rows.isEmpty() || topLeft.column() > JobTable::FileName || bottomRight.column() < JobTable::FileName)
        return;
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (int number = 0; number < m_rows.size(); ++number) {
        const int row = rowOf(number);
        if (row >= topLeft.row() && row <= bottomRight.row())
            m_shared[number].source = m_rows.at(number).data().toString();
    }
}

void TableBatch::showProgress(int number, int percent)
{
    if (number < 0 || number >= m_progress.size())
        return;
    // Never down within a row's run.
    percent = qMax(m_progress.at(number), percent);
    m_progress[number] = percent;
    const int row = rowOf(number);
    if (row >= 0 && !m_done.at(number)) {
        const QModelIndex status = m_model->index(row, JobTable::ProcessStatus);
        m_model->setData(status, percent, JobTable::ProgressRole);
        m_model->setData(status, rowElapsed(number), JobTable::ElapsedRole);
        emit rowChanged(row);
    }
    showBatchProgress();
}

void TableBatch::finish(const Job &job, const ConversionResult &result)
{
    const int number = job.number;
    m_done[number] = true;
    m_endedAt[number] = workMs();
    m_converted += result.outcome == Stage::Succeeded ? 1 : 0;
    m_failed += result.outcome == Stage::Failed ? 1 : 0;
    if (result.outcome == Stage::Failed)
        qWarning().noquote() << QStringLiteral("Failed: %1: %2").arg(job.source, result.reason);
    const int row = rowOf(number);
    if (row >= 0) {
        const QModelIndex status = m_model->index(row, JobTable::ProcessStatus);
        m_model->setData(status, int(result.outcome), JobTable::StageRole);
        m_model->setData(status, rowElapsed(number), JobTable::ElapsedRole);
        m_model->setData(status, QVariant(), JobTable::PausedRole);
        m_model->setData(status, result.reason, JobTable::ReasonRole);
        if (result.outcome == Stage::Succeeded)
            m_model->setData(status, job.target, JobTable::ResultRole);
        emit rowChanged(row);
    }
    showBatchProgress();
}

void TableBatch::showBatchProgress()
{
    if (!m_runner || !m_begun || m_rows.isEmpty()) {
        emit progressChanged(0, 0, 0, -1, false);
        return;
    }
    // A row skipped or deleted counts as ended, and as done.
    int ended = 0;
    qint64 sum = 0;
    for (int number = 0; number < m_rows.size(); ++number) {
        ended += m_done.at(number) ? 1 : 0;
        sum += m_done.at(number) ? 100 : m_progress.at(number);
    }
    const int percent = int(sum / m_rows.size());
    emit progressChanged(ended, m_rows.size(), percent, leftMs(percent), m_paused);
}

void TableBatch::setPaused(bool paused)
{
    if (!m_runner || paused == m_paused)
        return;
    m_paused = paused;
    if (paused) {
        m_pause.pause();
        m_pausedClock.start();
    } else {
        m_pausedMs += m_pausedClock.elapsed();
        m_pause.resume();
    }
    for (int number = 0; number < m_rows.size(); ++number) {
        const int row = rowOf(number);
        if (row < 0 || m_done.at(number) || !m_clocks.at(number).isValid())
            continue;
        m_model->setData(m_model->index(row, JobTable::ProcessStatus), paused ? QVariant(true) : QVariant(),
                         JobTable::PausedRole);
        emit rowChanged(row);
    }
    showBatchProgress();
}

qint64 TableBatch::pausedMs() const
{
    return m_pausedMs + (m_paused ? m_pausedClock.elapsed() : 0);
}

qint64 TableBatch::workMs() const
{
    return m_batchClock.elapsed() - pausedMs();
}

// From the speed so far, over every row still to convert, the rows at once
// included; the time the batch was paused does not count. The pause after
// each row is no conversion: those behind are taken out of the speed, and
// those ahead (the last row's included) are added to the time left.
qint64 TableBatch::leftMs(int percent) const
{
    const qint64 now = workMs();
    qint64 behind = 0;
    qint64 ahead = 0;
    for (int number = 0; number < m_rows.size(); ++number) {
        const qint64 ended = m_endedAt.at(number);
        if (ended >= 0) {
            const qint64 paused = qMin(m_rowPauseMs, now - ended);
            behind += paused;
            ahead += m_rowPauseMs - paused;
        } else if (!m_done.at(number)) {
            ahead += m_rowPauseMs;
        }
    }
    const qint64 converting = estimateLeftMs(percent, now - behind / m_workers);
    return converting < 0 ? converting : converting + ahead / m_workers;
}

qint64 TableBatch::rowElapsed(int number) const
{
    return m_clocks.at(number).elapsed() - (pausedMs() - m_pausedAtStart.at(number));
}
