// SPDX-License-Identifier: GPL-3.0-or-later
#include "rowtip.h"

#include "conversion.h"
#include "jobtable.h"
#include "progresstext.h"

#include <QTableWidgetItem>

QString rowTip(const QTableWidgetItem &status)
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

QString batchTitle(const QString &idle, int ended, int total, int percent, qint64 leftMs, bool paused)
{
    if (total == 0)
        return idle;
    QString title = idle + (paused ? QStringLiteral(" - paused") : QString())
        + QStringLiteral(" - %1 of %2 - %3 %").arg(ended).arg(total).arg(percent);
    if (!paused && leftMs >= 0)
        title += QStringLiteral(" - %1 left").arg(clockText(leftMs));
    return title;
}
