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
