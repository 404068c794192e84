// SPDX-License-Identifier: GPL-3.0-or-later
#include "progresstext.h"

namespace {
constexpr qint64 estimateAfterMs = 2000;
constexpr int estimateFromPercent = 2;
} // namespace

QString clockText(qint64 milliseconds)
{
    const qint64 seconds = qMax<qint64>(0, (milliseconds + 500) / 1000);
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds / 60 % 60;
    const QChar zero = QLatin1Char('0');
    if (hours > 0)
        return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes, 2, 10, zero).arg(seconds % 60, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(minutes).arg(seconds % 60, 2, 10, zero);
}

qint64 estimateLeftMs(int percent, qint64 elapsedMs)
{
    if (elapsedMs < estimateAfterMs || percent < estimateFromPercent)
        return -1;
    if (percent >= 100)
        return 0;
    return elapsedMs * (100 - percent) / percent;
}

QString progressText(int percent, qint64 elapsedMs)
{
    const QString done = QStringLiteral("%1 %").arg(percent);
    const qint64 left = estimateLeftMs(percent, elapsedMs);
    return left < 0 ? done : done + QStringLiteral(", ") + clockText(left) + QStringLiteral(" left");
}
