// SPDX-License-Identifier: GPL-3.0-or-later
#include "tablebatch.h"

#include "conversion.h"
#include "jobtable.h"
#include "progresstext.h"
#include "runner.h"

#include <QAbstractItemModel>
#include <QDebug>
#include <QThreadPool>
#include <QtConcurrent>

namespace {

// Guards the hand-over of work from a worker to the GUI thread. Qt's event
// queue synchronises through futexes that ThreadSanitizer cannot see in
// Debian's Qt; with this lock around both ends the hand-over is plain
// std::mutex ordering, which it checks in full. Neither end waits for the
// other beyond taking the lock.
std::mutex guiHandOff;

} // namespace

TableBatch::TableBatch(QAbstractItemModel *model, Stop &stop, const QString &idleTitle)
    : m_model(model)
    , m_idleTitle(idleTitle)
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
        // reached shows none.
        const QModelIndex status = m_model->index(row, JobTable::ProcessStatus);
        m_model->setData(status, QVariant(), JobTable::ProgressRole);
        m_model->setData(status, QVariant(), Qt::ToolTipRole);
    }
    m_progress = QVector<int>(rows, 0);
    m_done = QVector<bool>(rows, false);
    m_clocks = QVector<QElapsedTimer>(rows);
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
    hooks.started = [this](const Job &job) {
        post([this, number = job.number] {
            m_clocks[number].start();
            m_begun = true;
            const int row = rowOf(number);
            if (row >= 0)
                emit rowStarted(row);
            showTitle();
        });
    };
    hooks.status = [this](const Job &job, const QString &status) {
        post([this, number = job.number, status] {
            const int row = rowOf(number);
            if (row < 0)
                return;
            emit statusChanged(row, status);
            showProgress(number, 0); // a bar from the row's first status on
        });
    };
    hooks.progress = [this](const Job &job, int percent) {
        post([this, number = job.number, percent] { showProgress(number, percent); });
    };
    hooks.finished = [this](const Job &job, const ConversionResult &result) {
        post([this, job, result] { finish(job, result); });
    };
    m_runner = std::make_unique<Runner>(hooks, m_batchStop, workers, pause);
    m_runEnded.store(false, std::memory_order_release);
    m_run = QtConcurrent::run(QThreadPool::globalInstance(), this, &TableBatch::run);
}

void TableBatch::run()
{
    // Pairs with the store in start(): what the GUI thread set up is
    // visible here, whichever pool thread runs this.
    m_runEnded.load(std::memory_order_acquire);
    m_runner->run();
    post([this] {
        m_runner.reset();
        m_rows.clear();
        showTitle();
        emit ended();
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

// Queues `work` to run on the GUI thread, with this object as its context:
// a call still queued when it goes is dropped with it. Everything this
// thread wrote before, the captures included, is visible to `work`.
template <typename Work>
void TableBatch::post(Work work)
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
    showTitle();
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
    if (row >= 0) {
        const QModelIndex status = m_model->index(row, JobTable::ProcessStatus);
        m_model->setData(status, percent, JobTable::ProgressRole);
        if (!m_done.at(number))
            m_model->setData(status, progressText(percent, m_clocks.at(number).elapsed()), Qt::ToolTipRole);
    }
    showTitle();
}

void TableBatch::finish(const Job &job, const ConversionResult &result)
{
    using Outcome = ConversionResult::Outcome;
    const int number = job.number;
    m_done[number] = true;
    if (result.outcome == Outcome::Failed)
        qWarning().noquote() << QStringLiteral("Failed: %1: %2").arg(job.source, result.reason);
    const int row = rowOf(number);
    if (row >= 0) {
        QString tip;
        switch (result.outcome) {
        case Outcome::Success:
            tip = QStringLiteral("Done in %1").arg(clockText(m_clocks.at(number).elapsed()));
            break;
        case Outcome::Failed:
            tip = result.reason;
            break;
        case Outcome::Stopped:
            tip = QStringLiteral("Stopped by the user");
            break;
        }
        m_model->setData(m_model->index(row, JobTable::ProcessStatus), tip, Qt::ToolTipRole);
    }
    showTitle();
}

void TableBatch::showTitle()
{
    if (!m_runner || !m_begun || m_rows.isEmpty()) {
        emit titleChanged(m_idleTitle);
        return;
    }
    // Rows ended (a row skipped or deleted counts as ended) over all rows,
    // and the whole batch's share done.
    int ended = 0;
    qint64 sum = 0;
    for (int number = 0; number < m_rows.size(); ++number) {
        ended += m_done.at(number) ? 1 : 0;
        sum += m_done.at(number) ? 100 : m_progress.at(number);
    }
    emit titleChanged(
        QStringLiteral("%1 - %2 of %3 - %4 %").arg(m_idleTitle).arg(ended).arg(m_rows.size()).arg(sum / m_rows.size()));
}
