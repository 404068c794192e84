// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How progress and time read for a person, in the window and on a terminal.

// "1:05" under an hour, "1:02:03" from an hour up.
QString clockText(qint64 milliseconds);

// The time left for work that is `percent` done after `elapsedMs`, or -1
// while no estimate makes sense (in the first two seconds, or below 2 %).
qint64 estimateLeftMs(int percent, qint64 elapsedMs);

// "42 %, 1:10 left", or just "42 %" while there is no estimate.
QString progressText(int percent, qint64 elapsedMs);
