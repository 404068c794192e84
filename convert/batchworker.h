#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <optional>

// What a batch needs from the window it works for. Every function is called
// on the batch's own thread; the window answers the requests on the GUI
// thread, where its widgets live.
struct BatchHost {
    // Rows in the job table; read once, when the batch begins.
    std::function<int()> rowCount;
    // Selects row `row` and returns its source path; nothing when the row no
    // longer exists (rows deleted meanwhile) or the batch is being stopped.
    std::function<std::optional<QString>(int row)> selectRow;
    // The resolution label currently chosen.
    std::function<QString()> resolutionLabel;
    // A new status text for row `row`.
    std::function<void(int row, const QString &status)> report;
};

// Converts the job table's rows one after another: pre-process with ffmpeg
// when the source is not an AVI file, transcode with mencoder, report each
// step, remove the temporary file, pause. Returns when every row is done, or
// soon after stopRequested becomes true, with no tool left running.
void convertBatch(const BatchHost &host, const std::atomic_bool &stopRequested);
