// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The window's title during a batch: "Quorvel - 3 of 20 - 12 % - 8:40 left",
// "Quorvel - paused - 3 of 20 - 12 %"; `idle` alone between batches
// (`total` 0). The time left shows once there is an estimate (`leftMs` >= 0).
QString batchTitle(const QString &idle, int ended, int total, int percent, qint64 leftMs, bool paused);
