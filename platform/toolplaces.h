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
