// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "conversion.h"
#include "names.h"
#include "plan.h"

#include <QString>

#include <cstddef>
#include <vector>

class BatchReport;
class Pause;
class Stop;

// The command line's side of a run: hands the planned jobs to the runner in
// order and prints what becomes of each.
class BatchRun
{
public:
    // `jobs` must not change while the run lasts.
    BatchRun(const std::vector<Job> &jobs, BatchReport &report, Stop &stop, Pause &pause);

    // Converts every job on `workers` threads; returns when all have ended.
    void run(int workers);

    // After run(): a Stopped line for every source that did not end. `why`
    // is the reason printed.
    void reportUnfinished(const QString &why);

private:
    void finished(const Job &job, const ConversionResult &result);

    const std::vector<Job> &m_jobs;
    BatchReport &m_report;
    Stop &m_stop;
    Pause &m_pause;
    std::size_t m_next = 0; // taken by one worker at a time
};
