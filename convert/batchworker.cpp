// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchworker.h"

#include "stop.h"
#include "toolcommands.h"

#include <chrono>

namespace {
constexpr std::chrono::milliseconds pauseAfterRow(500);
} // namespace

void convertBatch(const BatchHost &host, const Stop &batchStop, const Stop &rowStop)
{
    const int rows = host.takeRows();
    for (int batchRow = 0; batchRow < rows && !batchStop.isRequested(); ++batchRow) {
        const std::optional<BatchRow> row = host.selectRow(batchRow);
        if (!row)
            continue; // deleted before the batch reached it: no tool, no status

        ConversionJob job;
        job.source = row->source;
        job.temporaryPath = buildPreProcessPath();
        job.targetPath = buildTargetPath(baseNameOf(row->source));
        job.temporaryIsASource = row->temporaryIsASource;
        ConversionSteps steps;
        steps.report = [&](const QString &status) { host.report(batchRow, status); };
        steps.scale = [&] { return scaleForResolution(host.resolutionLabel()); };
        steps.progress = [&](int percent) { host.progress(batchRow, percent); };

        ConversionResult result = convertSource(job, steps, rowStop);
        if (result.outcome == ConversionResult::Outcome::Stopped)
            host.report(batchRow, stoppedText); // lands nowhere when the row was deleted
        host.finished(batchRow, result);
        // A stop during the pause ends the batch before the next row.
        if (!batchStop.sleepFor(pauseAfterRow))
            break;
    }
}
