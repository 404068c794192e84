// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the system keeps a tool ("ffmpeg", "mencoder") when the working
// directory's bin/ has none, and what to tell a user who has neither.
// toolplaces_posix.cpp: Debian's /usr/bin (or $QUORVEL_REAL_FFMPEG,
// $QUORVEL_REAL_MENCODER). toolplaces_win.cpp: bin\ beside the program,
// then PATH.
QString systemTool(const QString &tool);
QString notInstalled(const QString &tool, const QString &looked);

// The tool the window runs, given the specified one (bin/ under the working
// directory). POSIX: that one, always. Windows: that one when it is there,
// else bin\ beside Quorvel.exe, else PATH; where none is, the specified one,
// so that the row's reason names the place to put it.
QString windowTool(const QString &specified);
