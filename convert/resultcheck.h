// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "toolrun.h"

#include <QString>

// Whether a tool step made a good file, judged from what the tool printed
// and the size of the file it wrote: no extra process, no decode. Each
// returns the failure's reason in plain words, or an empty string when the
// step succeeded.

// ffmpeg's pre-process into `outputPath`: its marker and closing summary,
// at least one frame in its last progress line, and a file that is not empty.
QString checkPreProcess(const ToolRun &run, const QString &outputPath);

// mencoder's transcode into `targetPath`: its marker, a closing summary with
// frames, sound when its input has sound, and a file at least as large as
// the byte counts that the summary reports.
QString checkTranscode(const ToolRun &run, const QString &targetPath);

// ffmpeg's one-pass conversion into `targetPath`: its closing summary, at
// least one frame in its last progress line, sound in the summary when its
// input has sound, and a file at least as large as the summary's sizes.
QString checkDirect(const ToolRun &run, const QString &targetPath);

// The reason for a run that never got to work, or ended by a crash; empty
// for a run that finished by itself.
QString runFailure(const ToolRun &run);
