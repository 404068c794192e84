// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "toolcommands.h"

#include <QString>

class QSettings;

// The window's remembered choices. QtCore only, so the command line could
// read them too.
struct Settings {
    enum class Pipeline { TwoSteps, OnePass };
    using Picture = ::Picture;

    Pipeline pipeline = Pipeline::TwoSteps;
    int rowsAtOnce = 1; // 1 .. maxRowsAtOnce()
    Picture picture = Picture::KeepShape;
    QString outputFolder; // empty: output/ under the working directory

    bool operator==(const Settings &other) const
    {
        return pipeline == other.pipeline && rowsAtOnce == other.rowsAtOnce && picture == other.picture
            && outputFolder == other.outputFolder;
    }
    bool operator!=(const Settings &other) const { return !(*this == other); }
};

// One row per core: more would only make the rows wait for each other.
int maxRowsAtOnce();

// Reads the choices from `store`. A value that cannot be used (unknown word,
// rows out of range, a folder that has gone or cannot be written) falls back
// to its default with a warning naming the key and the value; an unreadable
// or corrupt store gives all the defaults with a warning naming the file.
Settings loadSettings(QSettings &store);
// Writes every choice, as readable text, and flushes the store to disk.
void saveSettings(QSettings &store, const Settings &settings);

// Why `folder` cannot take the results ("does not exist", "is not a folder",
// "cannot be written"); empty when it can. The empty folder stands for the
// default, which the program makes itself, so it is never refused.
QString outputFolderProblem(const QString &folder);
