// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "plan.h"

struct Settings;

// The batch both programs run for `jobCount` sources with `choices` at
// `scale`: its output folder, pipeline and picture, the workers (the rows or
// jobs at once asked for, one per source at most), and each one-pass
// decoder's share of the cores.
struct BatchPlan {
    PlanSettings settings;
    int workers = 1;
};
BatchPlan batchPlanFor(const Settings &choices, const QString &scale, int jobCount);

// The decoder threads for one pass when `jobsAtOnce` jobs share `cores`:
// each its share of the cores, and 0 (ffmpeg's own choice, a thread per
// core) for a job that has them all.
int decoderThreadsFor(int jobsAtOnce, int cores);
