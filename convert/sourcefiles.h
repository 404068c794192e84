// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// The sources that a folder holds: the video files in it and in its
// subfolders, chosen by content type (the type is video/... or inherits it,
// so extensionless or misnamed files count by their content), sorted by
// path. Anything else is skipped.
QStringList videoFilesIn(const QString &folder);

// Paths as a user hands them over (dropped, or named on a command line): a
// folder becomes the video files in it, a file stays as given; in order.
QStringList expandSources(const QStringList &paths);
