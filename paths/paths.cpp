// SPDX-License-Identifier: GPL-3.0-or-later
#include "paths.h"

#include <QDir>

// QUORVEL_TOOL_SUFFIX is the platform's suffix of programs (".exe" on
// Windows), set by the build. Defined together and in this order: the three derived paths read
// currentPath during static initialisation, which the order within one
// translation unit guarantees. No separator is normalised; a working
// directory that ends in "/" yields a doubled one, which the file system
// accepts.
const QString currentPath = QDir::currentPath();
const QString ffmpegPath = currentPath + "/bin/ffmpeg" QUORVEL_TOOL_SUFFIX;
const QString mencoderPath = currentPath + "/bin/mencoder" QUORVEL_TOOL_SUFFIX;
const QString outputPath = currentPath + "/output";
