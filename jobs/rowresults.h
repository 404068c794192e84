// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "conversion.h"

class QAbstractItemModel;
class QModelIndex;
struct Job;

// What a batch's run comes to, written into a row's status item as data
// (JobTable's roles): the row's words, its bar and its tooltip are made
// from these alone. `row` is the row's index in the job table's model now.
// GUI thread.
namespace RowResults {

// A row's tooltip, made from what its status item keeps of its latest run:
// the progress and time left while it converts, "Paused", "Done in 1:23",
// the reason it failed, or that it was stopped; nothing before a batch
// reaches it.
QString tip(const QModelIndex &status);

// A new batch: the row shows no bar and no tooltip until the batch reaches
// it; its stage and result stay until then.
void clearRun(QAbstractItemModel *model, int row);
// Its run starts (held at once if the batch is paused).
void started(QAbstractItemModel *model, int row, bool paused);
// A step starts (PreProcessing, Converting), or the step ends with its
// outcome (Succeeded, Failed), which the row shows until the next step.
void stepStarted(QAbstractItemModel *model, int row, Stage stage);
void stepEnded(QAbstractItemModel *model, int row, Stage outcome);
// How far the run has got (never down within a run) and for how long.
void progressed(QAbstractItemModel *model, int row, int percent, qint64 elapsedMs);
int progressOf(const QAbstractItemModel *model, int row);
// The run's end: its outcome, why it failed, and the file it wrote.
void finished(QAbstractItemModel *model, int row, const Job &job, const ConversionResult &result,
              qint64 elapsedMs);
void setPaused(QAbstractItemModel *model, int row, bool paused);
// A row kept from an earlier run shows how that run ended.
void restored(QAbstractItemModel *model, int row, Stage stage, const QString &reason);

} // namespace RowResults
