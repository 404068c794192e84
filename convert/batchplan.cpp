// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchplan.h"

#include "outputfolder.h"
#include "settings.h"
#include "toolplaces.h"

#include <QThread>

#include <algorithm>

BatchPlan batchPlanFor(const Settings &choices, const QString &scale, int jobCount)
{
    BatchPlan plan;
    plan.workers = std::max(1, std::min(choices.rowsAtOnce, jobCount));
    plan.settings.scale = scale;
    plan.settings.ffmpeg = windowTool(ffmpegPath);
    plan.settings.mencoder = windowTool(mencoderPath);
    plan.settings.outputFolder = outputFolderFor(choices.outputFolder);
    plan.settings.direct = choices.pipeline == Settings::Pipeline::OnePass;
    plan.settings.format = choices.format;
    plan.settings.picture = choices.picture;
    plan.settings.decoderThreads = decoderThreadsFor(plan.workers, QThread::idealThreadCount());
    return plan;
}

int decoderThreadsFor(int jobsAtOnce, int cores)
{
    // A decoder starts a thread per core. With several jobs at once the
    // cores are busy already, and those threads only take turns on them:
    // two 720p H.264 rows at once on two cores take a fifth less time when
    // each decodes on one thread, and a lone row is faster with them all.
    if (jobsAtOnce <= 1)
        return 0;
    return std::max(1, cores / jobsAtOnce);
}
