// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QTableWidgetItem;

// A row's tooltip, made from what its status item keeps of its latest run:
// the progress and time left while it converts, "Done in 1:23", the reason
// it failed, or that it was stopped; nothing before a batch reaches it.
QString rowTip(const QTableWidgetItem &status);
