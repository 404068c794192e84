// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the command line asks for, checked: a known size, a job count of at
// least one, at least one source. Paths are as given; folders are not
// opened yet.
struct BatchOptions {
    QString size; // "320x240" and the like
    QString scale; // the same size as mencoder's scale value, "320:240"
    // The window's choices: --direct, --stretch, --output, and --jobs as the
    // rows at once (one per core unless asked; more than the window offers
    // may be asked for).
    Settings choices;
    QString toolsFolder; // empty to look in the usual places
    bool dryRun = false;
    bool printTools = false; // say which tools a run would use, and end
    bool keepDone = false; // a source whose target is newer than it is not converted again
    QStringList paths;
};

// Reads the program's arguments. --help and --version print to standard
// output and end the program with status 0; anything else wrong ends up in
// `error` (one line, without the program's name) and no options come back.
std::optional<BatchOptions> parseBatchOptions(const QStringList &arguments, QString *error);
