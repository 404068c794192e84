// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner.h"

#include "pause.h"
#include "stop.h"

#include <thread>
#include <vector>

Runner::Runner(Hooks hooks, Stop &stop, int workers, std::chrono::milliseconds pause, Pause *hold)
    : m_hooks(std::move(hooks))
    , m_stop(stop)
    , m_workers(std::max(1, workers))
    , m_pause(pause)
    , m_hold(hold)
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
    m_stopAsked.insert(number);
    const auto running = m_running.find(number);
    if (running != m_running.end())
        running->second->request();
}

void Runner::work()
{
    while (!m_stop.isRequested()) {
        // No job starts while the batch is paused, also after the pause
        // that follows a row; the end of the batch is not held.
        if (m_hooks.more) {
            const std::lock_guard<std::mutex> planning(m_planning);
            if (!m_hooks.more())
                return;
        }
        if (m_hold)
            m_hold->waitWhilePaused(m_stop);
        Stop jobStop(m_stop);
        std::optional<Job> job;
        {
            // One worker plans at a time, so jobs start in the batch's order.
            // Planning reads the source, which a slow disk can make long:
            // the lock that stopJob() takes is not held meanwhile, and a stop
            // asked for a job while it was being planned is kept for it.
            const std::lock_guard<std::mutex> planning(m_planning);
            if (m_stop.isRequested() || !(job = m_hooks.next()))
                return;
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_running[job->number] = &jobStop;
            if (m_stopAsked.count(job->number) != 0)
                jobStop.request();
        }
        m_hooks.started(*job);
        ConversionSteps steps;
        steps.pause = m_hold;
        steps.report = [&](Stage stage) { m_hooks.status(*job, stage); };
        steps.progress = [&](int percent) { m_hooks.progress(*job, percent); };
        const ConversionResult result = convertJob(*job, steps, jobStop);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_running.erase(job->number);
        }
        if (result.outcome == Stage::Stopped)
            m_hooks.status(*job, Stage::Stopped);
        m_hooks.finished(*job, result);
        // The pause belongs to the two steps, after every such job, the last
        // one included; a job in one pass leaves nothing to settle, and its
        // worker goes straight on. A stop during the pause ends the batch
        // before the next job.
        if (!job->direct && m_pause.count() > 0 && !m_stop.sleepFor(m_pause))
            return;
    }
}
