// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the Windows tests read of the stand-in tool's processes.

#include "files.h"

#include <QDir>
#include <QList>
#include <QString>

namespace StandIn {

// The ids the stand-in (mode "hang") and its child noted in `folder`.
inline QList<qint64> pidsIn(const QString &folder)
{
    QList<qint64> pids;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        pids << name.toLongLong();
    return pids;
}

// Whether every process noted in `folder` has ended.
inline bool allEnded(const QString &folder)
{
    for (const qint64 pid : pidsIn(folder)) {
        if (processAlive(pid))
            return false;
    }
    return true;
}

} // namespace StandIn
