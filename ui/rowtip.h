// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QTableWidgetItem;

// A row's tooltip, made from what its status item keeps of its latest run:
// the progress and time left while it converts, "Done in 1:23", the reason
// it failed, or that it was stopped; nothing before a batch reaches it.
QString rowTip(const QTableWidgetItem &status);

// The window's title during a batch: "Quorvel - 3 of 20 - 12 % - 8:40 left",
// "Quorvel - paused - 3 of 20 - 12 %"; `idle` alone between batches
// (`total` 0). The time left shows once there is an estimate (`leftMs` >= 0).
QString batchTitle(const QString &idle, int ended, int total, int percent, qint64 leftMs, bool paused);
