// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QString>

#include <cstdio>

// One figure per line: "name: value unit (target ...)".
inline void printFigure(const char *name, double value, const char *unit, const char *target, const char *how)
{
    std::printf("%s: %.3f %s (target %s) -- %s\n", name, value, unit, target, how);
    std::fflush(stdout);
}

// A line of /proc/self/status, in kB.
inline long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Resets the peak resident size that VmHWM reports.
inline bool resetPeakRss()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}
