// SPDX-License-Identifier: GPL-3.0-or-later
#include "tablebatch.h"

#include "handoff.h"
#include "jobtable.h"
#include "names.h"
#include "outputfolder.h"
#include "rowresults.h"
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
        RowResults::clearRun(m_model, row);
    }
    m_done = QVector<bool>(rows, false);
    m_clock.start(rows, settings.direct ? 0 : qint64(pause.count()), workers);
    m_converted = 0;
    m_failed = 0;
    m_pause.resume();
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

    // The runner's reports, each handed to this thread as it comes.
    Runner::Hooks hooks;
    hooks.next = [this] { return next(); };
    hooks.more = [this] { return more(); };
    hooks.started = [this](const Job &job) { postTo(this, [this, number = job.number] { rowStart(number); }); };
    hooks.status = [this](const Job &job, Stage stage) {
        postTo(this, [this, number = job.number, stage] { rowStatus(number, stage); });
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

bool TableBatch::more()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (int number = m_next; number < m_shared.size(); ++number) {
        if (!m_shared.at(number).gone)
            return true;
    }
    return false;
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
        if (!m_clock.hasStarted(number))
            m_clock.rowDropped(number);
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

void TableBatch::rowStart(int number)
{
    m_clock.rowStarted(number);
    m_begun = true;
    const int row = rowOf(number);
    if (row >= 0) {
        // Started just as the batch was paused: held all the same.
        RowResults::started(m_model, row, isPaused());
        emit rowStarted(row);
    }
    showBatchProgress();
}

void TableBatch::rowStatus(int number, Stage stage)
{
    const int row = rowOf(number);
    if (row < 0)
        return;
    // A step's own outcome is not the row's: only finish() ends it.
    if (stage == Stage::PreProcessing || stage == Stage::Converting)
        RowResults::stepStarted(m_model, row, stage);
    else
        RowResults::stepEnded(m_model, row, stage);
    emit statusChanged(row, stage);
    showProgress(number, 0); // a bar from the row's first status on
}

void TableBatch::showProgress(int number, int percent)
{
    const int row = rowOf(number);
    if (row >= 0 && !m_done.at(number)) {
        RowResults::progressed(m_model, row, percent, m_clock.rowElapsed(number));
    }
    showBatchProgress();
}

void TableBatch::finish(const Job &job, const ConversionResult &result)
{
    const int number = job.number;
    m_done[number] = true;
    m_clock.rowEnded(number);
    m_converted += result.outcome == Stage::Succeeded ? 1 : 0;
    m_failed += result.outcome == Stage::Failed ? 1 : 0;
    if (result.outcome == Stage::Failed)
        qWarning().noquote() << QStringLiteral("Failed: %1: %2").arg(job.source, result.reason);
    const int row = rowOf(number);
    if (row >= 0) {
        RowResults::finished(m_model, row, job, result, m_clock.rowElapsed(number));
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
        sum += m_done.at(number) ? 100 : RowResults::progressOf(m_model, rowOf(number));
    }
    const int percent = int(sum / m_rows.size());
    emit progressChanged(ended, m_rows.size(), percent, m_clock.leftMs(percent), isPaused());
}

void TableBatch::setPaused(bool paused)
{
    if (!m_runner || paused == isPaused())
        return;
    if (paused)
        m_pause.pause();
    else
        m_pause.resume();
    m_clock.setPaused(paused);
    for (int number = 0; number < m_rows.size(); ++number) {
        const int row = rowOf(number);
        if (row < 0 || m_done.at(number) || !m_clock.hasStarted(number))
            continue;
        RowResults::setPaused(m_model, row, paused);
    }
    showBatchProgress();
}
