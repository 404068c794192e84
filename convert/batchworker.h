// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "conversion.h"

#include <QString>

#include <functional>
#include <optional>

class Stop;

// A row of the batch, as the window reads it when the batch reaches it.
struct BatchRow {
    QString source;
    // The temporary path is the source of some row in the table (looked for
    // only when the row goes through the pre-process).
    bool temporaryIsASource = false;
};

// What a batch needs from the window it works for. Every function is called
// on the batch's own thread; the window answers on the GUI thread, where its
// widgets live. The batch names its rows by their place in the batch (0 to
// the count that takeRows returned, minus one), never by a table index: the
// window keeps track of where each of them has moved.
struct BatchHost {
    // Fixes the batch's rows, those in the table now, and tells how many.
    std::function<int()> takeRows;
    // Selects the batch's row and reads it; nothing when it was deleted or the
    // batch is being stopped.
    std::function<std::optional<BatchRow>(int batchRow)> selectRow;
    // The resolution label currently chosen.
    std::function<QString()> resolutionLabel;
    // A new status text for the row, shown before this returns.
    std::function<void(int batchRow, const QString &status)> report;
    // The row's progress, 0 to 100.
    std::function<void(int batchRow, int percent)> progress;
    // The row's conversion has ended.
    std::function<void(int batchRow, const ConversionResult &result)> finished;
};

// Converts the batch's rows one after another, in table order, each once,
// with a 500 ms pause after each. `rowStop` (a child of `batchStop`) stops the
// row being converted and lets the batch go on; `batchStop` ends the batch
// with no tool left running. A row stopped by the batch's stop reads "Stopped".
void convertBatch(const BatchHost &host, const Stop &batchStop, const Stop &rowStop);
