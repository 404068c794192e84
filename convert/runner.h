// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "conversion.h"
#include "plan.h"

#include <QtGlobal>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>

class Pause;
class Stop;

// Runs a batch's jobs on N workers, each taking the next job as it comes
// free, until none is left or the batch is stopped. It reports what happens
// to each job and never waits for whoever listens: every hook is called on
// the worker's own thread and must return at once.
class Runner
{
public:
    struct Hooks {
        // The next job, planned now; nothing when none is left. Called by
        // one worker at a time, in turn, so jobs start in the batch's order,
        // and outside any lock that stopJob() takes: it may read files.
        std::function<std::optional<Job>()> next;
        // Whether a job is left for next(), asked like next() one worker at
        // a time; none: always. A paused batch holds a worker only while
        // one is, so that a batch with nothing left to start ends, paused or
        // not.
        std::function<bool()> more;
        std::function<void(const Job &)> started;
        // Each stage the job reports, and Stopped after a stop.
        std::function<void(const Job &, Stage)> status;
        std::function<void(const Job &, int percent)> progress;
        std::function<void(const Job &, const ConversionResult &)> finished;
    };

    // `stop` ends the whole batch with no tool left running. `pause` follows
    // each two-step job on its worker (a job stopped alone included); a job
    // in one pass is followed by none. While `hold` is paused its tools are
    // stopped and no job starts.
    Runner(Hooks hooks, Stop &stop, int workers, std::chrono::milliseconds pause = {}, Pause *hold = nullptr);
    Q_DISABLE_COPY(Runner)

    // Runs the batch to its end on the calling thread and workers - 1 more.
    void run();

    // Stops the job with this number, if it is running or once it starts,
    // and lets the batch go on. Any thread; it never waits for a job to be
    // planned.
    void stopJob(int number);

private:
    void work();

    Hooks m_hooks;
    Stop &m_stop;
    const int m_workers;
    const std::chrono::milliseconds m_pause;
    Pause *m_hold;

    std::mutex m_planning; // the workers' alone: never held by stopJob()
    std::mutex m_mutex;
    std::map<int, Stop *> m_running; // by job number
    std::set<int> m_stopAsked; // job numbers
};
