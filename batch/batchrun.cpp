// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrun.h"

#include "batchreport.h"
#include "conversion.h"
#include "stop.h"
#include "stopsignals.h"

#include <QElapsedTimer>
#include <QFile>

#include <csignal>

BatchRun::BatchRun(const std::vector<BatchTask> &tasks, const Tools &tools, const QString &scale, bool direct,
                   BatchReport &report, const Stop &stop)
    : m_tasks(tasks)
    , m_tools(tools)
    , m_scale(scale)
    , m_direct(direct)
    , m_report(report)
    , m_stop(stop)
{
}

void BatchRun::work()
{
    int index = 0;
    BatchTask task;
    while (!stopping() && takeNext(&index, &task))
        convertOne(index, task);
}

bool BatchRun::takeNext(int *index, BatchTask *task)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_next >= m_tasks.size())
        return false;
    *index = int(m_next);
    *task = m_tasks[m_next];
    ++m_next;
    return true;
}

// A stop signal counts from the moment it is sent, before the main thread
// has turned it into the stop's request.
bool BatchRun::stopping() const
{
    return m_stop.isRequested() || StopSignals::received() != 0;
}

void BatchRun::convertOne(int index, const BatchTask &task)
{
    using Status = BatchReport::Status;
    m_report.started(index, task.source);
    QElapsedTimer clock;
    clock.start();
    const auto end = [&](Status status, const QString &reason) {
        m_report.ended(index, status, task.source, task.target, clock.elapsed() / 1000.0, reason);
    };

    QString problem = task.failure;
    if (problem.isEmpty())
        problem = sourceProblem(task.source);
    if (!problem.isEmpty()) {
        end(Status::Failed, problem);
        return;
    }

    ConversionJob job;
    job.source = task.source;
    job.temporaryPath = task.temporary;
    job.targetPath = task.target;
    job.ffmpeg = m_tools.ffmpeg;
    job.mencoder = m_tools.mencoder;
    ConversionSteps steps;
    steps.report = [](const QString &) {};
    steps.scale = [this] { return m_scale; };
    steps.progress = [&](int percent) { m_report.progressed(index, percent); };
    const ConversionResult result = m_direct ? convertSourceDirect(job, steps, m_stop)
                                             : convertSource(job, steps, m_stop);

    Status status = result.outcome;
    // A stop signal that came while the tools ran may have reached them
    // too (a whole process group signalled, as a scheduler does): a tool
    // that ended early then looks like a failure, or wrote a cut-short file
    // that looks whole. Either way the source was stopped.
    if (status != Status::Stopped && stopping()) {
        if (status == Status::Success)
            QFile::remove(task.target);
        status = Status::Stopped;
    }
    end(status, status == Status::Stopped ? stoppedBy(StopSignals::received()) : result.reason);
}

void BatchRun::reportUnfinished(const QString &why)
{
    for (std::size_t index = 0; index < m_tasks.size(); ++index) {
        if (!m_report.hasEnded(int(index)))
            m_report.ended(int(index), BatchReport::Status::Stopped, m_tasks[index].source, m_tasks[index].target, 0,
                           why);
    }
}

QString stoppedBy(int signalNumber)
{
    switch (signalNumber) {
    case SIGINT:
        return QStringLiteral("stopped by SIGINT");
    case SIGTERM:
        return QStringLiteral("stopped by SIGTERM");
    case SIGHUP:
        return QStringLiteral("stopped by SIGHUP");
    default:
        return QStringLiteral("stopped");
    }
}
