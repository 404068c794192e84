// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "paths.h"

#include <QString>
#include <QStringList>

// The two tool command lines and every value that goes into them. All of it
// is pure text work on the process-wide paths: no file or process is touched.

// The four resolution labels, in the order the user is offered them.
QStringList resolutionLabels();

// "320x240" -> "320:240" and so on; empty when the label holds none of the
// four resolutions.
QString scaleForResolution(const QString &label);

// The one temporary file that the pre-process writes, in the output folder.
QString buildPreProcessPath();

// The output folder (the working directory's output/ unless another is
// named), a slash, the base name and ".avi".
QString buildTargetPath(const QString &baseName, const QString &outputFolder = outputPath);

// The result's file name for a source: its base name and ".avi".
QString targetFileName(const QString &sourcePath);

// ffmpeg rewriting the source into the temporary file; the tool is the
// working directory's bin/ffmpeg unless another is named.
QString buildPreProcessCommand(const QString &sourcePath, const QString &preProcessPath,
                               const QString &ffmpeg = ffmpegPath);

// mencoder transcoding the input into the target at the given scale; the
// tool is the working directory's bin/mencoder unless another is named.
QString buildConvertCommand(const QString &scale, const QString &inputPath, const QString &targetPath,
                            const QString &mencoder = mencoderPath);

// One ffmpeg pass from the source straight to the target, in the same format
// as the two steps make: Xvid (fourcc XVID) at 608 kbit/s without B-frames,
// H.263 quantisation, the given scale with a 4:3 display aspect; MPEG-1 Layer
// II sound at 128 kbit/s, 44100 Hz, stereo, when the source has sound.
QString buildDirectCommand(const QString &scale, const QString &sourcePath, const QString &targetPath,
                           const QString &ffmpeg = ffmpegPath);

// True when the source goes through the pre-process first: its suffix is not
// "avi" in any letter case.
bool needsPreProcess(const QString &sourcePath);

// Base name (file name up to its first ".") and suffix (after its last "."),
// as QFileInfo defines them.
QString baseNameOf(const QString &path);
QString suffixOf(const QString &path);
