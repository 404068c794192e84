// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolplaces.h"

QString systemTool(const QString &tool)
{
    const QString chosen = qEnvironmentVariable(qPrintable(QStringLiteral("QUORVEL_REAL_") + tool.toUpper()));
    return chosen.isEmpty() ? QStringLiteral("/usr/bin/") + tool : chosen;
}

QString notInstalled(const QString &tool, const QString &looked)
{
    return QStringLiteral("%1 is not installed (%2 is missing); install it with: sudo apt install %1").arg(tool, looked);
}

QString windowTool(const QString &specified)
{
    return specified;
}
