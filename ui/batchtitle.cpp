// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchtitle.h"

#include "progresstext.h"

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
