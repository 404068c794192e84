// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "batchsources.h"
#include "toolsearch.h"

#include <QString>

#include <cstddef>
#include <mutex>
#include <vector>

class BatchReport;
class Stop;

// The conversions of one run, spread over worker threads: each worker takes
// the next source not yet taken and converts it with convertSource, the
// window's own conversion, until none is left or the run is stopped.
class BatchRun
{
public:
    // `tasks`, `tools` and `scale` are read by the workers and must not
    // change while they run.
    // With `direct`, each source is converted in one ffmpeg pass.
    BatchRun(const std::vector<BatchTask> &tasks, const Tools &tools, const QString &scale, bool direct,
             BatchReport &report, const Stop &stop);

    // One worker's loop; call it on each worker thread.
    void work();

    // After the workers have ended: a Stopped line for every source that
    // did not end. `why` is the reason printed.
    void reportUnfinished(const QString &why);

private:
    bool takeNext(int *index, BatchTask *task);
    void convertOne(int index, const BatchTask &task);
    bool stopping() const;

    const std::vector<BatchTask> &m_tasks;
    const Tools &m_tools;
    const QString &m_scale;
    const bool m_direct;
    BatchReport &m_report;
    const Stop &m_stop;

    std::mutex m_mutex;
    std::size_t m_next = 0;
};

// The reason of a Stopped line for a stop signal: "stopped by SIGINT" and
// the like.
QString stoppedBy(int signalNumber);
