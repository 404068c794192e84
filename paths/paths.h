// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the program finds its tools and writes its results: the one
// definition of each, which everything else follows. All four are fixed
// from the working directory once, before main() runs, and never written again,
// so any thread may read them without a lock.
extern const QString currentPath;
extern const QString ffmpegPath;
extern const QString mencoderPath;
extern const QString outputPath;
