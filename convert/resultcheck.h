// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "toolrun.h"

#include <QString>

// Whether a tool step made a good file, judged from what the tool printed
// and the size of the file it wrote: no extra process, no decode. Each
// returns the failure's reason in plain words, or an empty string when the
// step succeeded.

// Every check starts with how the tool ended: by itself, and with status 0
// once it printed its summary (without one, its own last words say more).

// ffmpeg's pre-process into `outputPath`: its marker and closing summary,
// at least one frame in its last progress line, the whole length of its
// input, and a file that is not empty.
QString checkPreProcess(const ToolRun &run, const QString &outputPath);

// mencoder's transcode into `targetPath`: its marker, a closing summary with
// frames, sound when its input has sound, a file at least as large as the
// byte counts that the summary reports, and the whole `sourceSeconds` (when
// known, above zero) in the video that it reports.
QString checkTranscode(const ToolRun &run, const QString &targetPath, double sourceSeconds = -1);

// ffmpeg's one-pass conversion into `targetPath`: its closing summary, at
// least one frame in its last progress line, the whole length of its input, sound in the summary when its
// input has sound, and a file at least as large as the summary's sizes.
QString checkDirect(const ToolRun &run, const QString &targetPath);

// The reason for a run that never got to work, or ended by a signal; empty
// for a run that finished by itself.
QString runFailure(const ToolRun &run);

// "cut short: 1.7 s of 5.0 s" when a result lacks more than half a second
// and more than 2 % of its source; empty when it does not, or when either
// length is unknown (below zero).
QString cutShort(double sourceSeconds, double resultSeconds);
