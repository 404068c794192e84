// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrun.h"

#include "batchreport.h"
#include "runner.h"
#include "stop.h"
#include "stopsignals.h"


BatchRun::BatchRun(const std::vector<Job> &jobs, BatchReport &report, Stop &stop, Pause &pause)
    : m_jobs(jobs)
    , m_report(report)
    , m_stop(stop)
    , m_pause(pause)
{
}

void BatchRun::run(int workers)
{
    Runner::Hooks hooks;
    hooks.next = [this]() -> std::optional<Job> {
        if (m_stop.isRequested() || m_next >= m_jobs.size())
            return std::nullopt;
        return m_jobs[m_next++];
    };
    hooks.more = [this] { return m_next < m_jobs.size(); };
    hooks.started = [this](const Job &job) { m_report.started(job.number, job.source); };
    hooks.status = [](const Job &, Stage) {};
    hooks.progress = [this](const Job &job, int percent) { m_report.progressed(job.number, percent); };
    hooks.finished = [this](const Job &job, const ConversionResult &result) { finished(job, result); };
    Runner(hooks, m_stop, workers, {}, &m_pause).run();
}

void BatchRun::finished(const Job &job, const ConversionResult &result)
{
    Stage status = result.outcome;
    // A stop signal that came while the tools ran may have reached them
    // too (a whole process group signalled, as a scheduler does): a tool
    // that ended early then looks like a failure, and the source was really
    // stopped. A result that passed its check was put in place whole before
    // the stop came, and stands.
    if (status == Stage::Failed && job.refusal.isEmpty() && m_stop.isRequested())
        status = Stage::Stopped;
    m_report.ended(job.number, status, job.source, job.target,
                   status == Stage::Stopped ? StopSignals::reason(StopSignals::received()) : result.reason);
}

void BatchRun::reportUnfinished(const QString &why)
{
    for (const Job &job : m_jobs)
        m_report.ended(job.number, Stage::Stopped, job.source, job.target, why);
}
