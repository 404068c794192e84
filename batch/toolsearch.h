// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

struct Tools {
    QString ffmpeg;
    QString mencoder;
};

// The tools a run uses, as absolute paths. With a folder named, its ffmpeg
// and mencoder. Otherwise, for each tool, bin/<tool> under the working
// directory when it is there, else the tool that the installed package uses:
// Debian's ffmpeg, and Debian's mencoder behind the package's launcher in
// libexec/quorvel beside this program's bin/. When a tool cannot run,
// nothing comes back and `error` says what is missing and which Debian
// package to install. Without `needMencoder` (the one-pass conversion) only
// ffmpeg is looked for.
std::optional<Tools> findTools(const QString &folder, bool needMencoder, QString *error);
