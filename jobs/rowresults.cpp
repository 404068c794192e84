// SPDX-License-Identifier: GPL-3.0-or-later
#include "rowresults.h"

#include "jobtable.h"
#include "plan.h"

#include "progresstext.h"

#include <QAbstractItemModel>

namespace RowResults {

namespace {

QModelIndex statusOf(const QAbstractItemModel *model, int row)
{
    return model->index(row, JobTable::ProcessStatus);
}

// Shows the row's tooltip again, made from what its status item keeps.
void retip(QAbstractItemModel *model, int row)
{
    const QModelIndex status = statusOf(model, row);
    model->setData(status, tip(status), Qt::ToolTipRole);
}

} // namespace

QString tip(const QModelIndex &status)
{
    const QVariant stage = status.data(JobTable::StageRole);
    const qint64 elapsedMs = status.data(JobTable::ElapsedRole).toLongLong();
    if (!stage.isValid())
        return QString();
    if (status.data(JobTable::PausedRole).toBool())
        return QStringLiteral("Paused");
    switch (Stage(stage.toInt())) {
    case Stage::Succeeded:
        return QStringLiteral("Done in %1").arg(clockText(elapsedMs));
    case Stage::Failed:
        return status.data(JobTable::ReasonRole).toString();
    case Stage::Stopped:
        return QStringLiteral("Stopped by the user");
    case Stage::Skipped:
    case Stage::Waiting:
    case Stage::PreProcessing:
    case Stage::Converting:
        break;
    }
    return progressText(status.data(JobTable::ProgressRole).toInt(), elapsedMs);
}

void clearRun(QAbstractItemModel *model, int row)
{
    model->setData(statusOf(model, row), QVariant(), JobTable::ProgressRole);
    model->setData(statusOf(model, row), QVariant(), Qt::ToolTipRole);
}

void started(QAbstractItemModel *model, int row, bool paused)
{
    const QModelIndex status = statusOf(model, row);
    model->setData(status, QVariant(), JobTable::ReasonRole);
    model->setData(status, QVariant(), JobTable::StepRole);
    model->setData(status, paused ? QVariant(true) : QVariant(), JobTable::PausedRole);
    retip(model, row);
}

void stepStarted(QAbstractItemModel *model, int row, Stage stage)
{
    const QModelIndex status = statusOf(model, row);
    // The stage before the step's outcome goes: the cell never shows the
    // stage that has ended.
    model->setData(status, int(stage), JobTable::StageRole);
    model->setData(status, QVariant(), JobTable::StepRole);
    retip(model, row);
}

void stepEnded(QAbstractItemModel *model, int row, Stage outcome)
{
    model->setData(statusOf(model, row), int(outcome), JobTable::StepRole);
    retip(model, row);
}

void progressed(QAbstractItemModel *model, int row, int percent, qint64 elapsedMs)
{
    const QModelIndex status = statusOf(model, row);
    const QVariant shown = status.data(JobTable::ProgressRole);
    model->setData(status, shown.isValid() ? qMax(shown.toInt(), percent) : percent, JobTable::ProgressRole);
    model->setData(status, elapsedMs, JobTable::ElapsedRole);
    retip(model, row);
}

int progressOf(const QAbstractItemModel *model, int row)
{
    return statusOf(model, row).data(JobTable::ProgressRole).toInt();
}

void finished(QAbstractItemModel *model, int row, const Job &job, const ConversionResult &result, qint64 elapsedMs)
{
    const QModelIndex status = statusOf(model, row);
    model->setData(status, elapsedMs, JobTable::ElapsedRole);
    model->setData(status, QVariant(), JobTable::PausedRole);
    model->setData(status, result.reason, JobTable::ReasonRole);
    if (result.outcome == Stage::Succeeded)
        model->setData(status, job.target, JobTable::ResultRole);
    model->setData(status, int(result.outcome), JobTable::StageRole);
    model->setData(status, QVariant(), JobTable::StepRole);
    retip(model, row);
}

void setPaused(QAbstractItemModel *model, int row, bool paused)
{
    model->setData(statusOf(model, row), paused ? QVariant(true) : QVariant(), JobTable::PausedRole);
    retip(model, row);
}

void restored(QAbstractItemModel *model, int row, Stage stage, const QString &reason)
{
    const QModelIndex status = statusOf(model, row);
    model->setData(status, reason, JobTable::ReasonRole);
    model->setData(status, int(stage), JobTable::StageRole);
    retip(model, row);
}

} // namespace RowResults
