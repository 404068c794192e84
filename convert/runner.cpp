// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner.h"

#include "stop.h"

#include <thread>
#include <vector>

Runner::Runner(Hooks hooks, Stop &stop, int workers, std::chrono::milliseconds pause)
    : m_hooks(std::move(hooks))
    , m_stop(stop)
    , m_workers(std::max(1, workers))
    , m_pause(pause)
{
}

void Runner::run()
{
    std::vector<std::thread> others;
    others.reserve(std::size_t(m_workers - 1));
    for (int worker = 1; worker < m_workers; ++worker)
        others.emplace_back([this] { work(); });
    work();
    for (std::thread &thread : others)
        thread.join();
}

void Runner::stopJob(int number)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto running = m_running.find(number);
    if (running != m_running.end())
        running->second->request();
}

void Runner::work()
{
    while (!m_stop.isRequested()) {
        Stop jobStop(m_stop);
        std::optional<Job> job;
        {
            // Taken and registered in one go: a stopJob() for a job that
            // has just been taken finds it.
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop.isRequested() || !(job = m_hooks.next()))
                return;
            m_running[job->number] = &jobStop;
        }
        m_hooks.started(*job);
        ConversionSteps steps;
        steps.report = [&](const QString &status) { m_hooks.status(*job, status); };
        steps.progress = [&](int percent) { m_hooks.progress(*job, percent); };
        const ConversionResult result = convertJob(*job, steps, jobStop);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_running.erase(job->number);
        }
        if (result.outcome == ConversionResult::Outcome::Stopped)
            m_hooks.status(*job, stoppedText);
        m_hooks.finished(*job, result);
        // The pause belongs to the two steps, after every such job, the last
        // one included; a job in one pass leaves nothing to settle, and its
        // worker goes straight on. A stop during the pause ends the batch
        // before the next job.
        if (!job->direct && m_pause.count() > 0 && !m_stop.sleepFor(m_pause))
            return;
    }
}
