// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where results go, for both programs.

// The folder chosen (absolute), or output/ under the working directory when
// none is.
QString outputFolderFor(const QString &chosen);

// Makes `folder` when it is missing and proves that it takes files; why it
// cannot take the results, or empty when it can. Reads and writes the disk:
// never on the GUI thread.
QString prepareOutputFolder(const QString &folder);

// Why `folder` cannot be chosen for the results ("does not exist", "is not
// a folder", "cannot be written"); empty when it can. The empty folder
// stands for the default, which is made when a batch starts, so it is never
// refused.
QString outputFolderProblem(const QString &folder);
