// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "toolcommands.h"

#include <QString>

#include <functional>

class QSettings;

// How a batch converts: the window's remembered choices, and what
// quorvel-batch's options ask for. Each default is the member's own, but
// one on purpose: the window converts one row at a time unless told
// otherwise (the form's behaviour, and the machine stays usable), while
// quorvel-batch, run where a whole machine is given to it, takes one job
// per core (defaultJobsAtOnce()).
struct Settings {
    enum class Pipeline { TwoSteps, OnePass };
    using Picture = ::Picture;

    Pipeline pipeline = Pipeline::TwoSteps;
    int rowsAtOnce = 1; // the window: 1 .. maxRowsAtOnce()
    Picture picture = Picture::KeepShape;
    QString outputFolder; // empty: output/ under the working directory
    Format format = Format::Avi;

    bool operator==(const Settings &other) const
    {
        return pipeline == other.pipeline && rowsAtOnce == other.rowsAtOnce && picture == other.picture
            && outputFolder == other.outputFolder && format == other.format;
    }
    bool operator!=(const Settings &other) const { return !(*this == other); }
};

// One row per core: more would only make the rows wait for each other.
int maxRowsAtOnce();
// quorvel-batch's jobs at once when none are asked for: one per core.
inline int defaultJobsAtOnce()
{
    return maxRowsAtOnce();
}

// Every choice, in one table: its key in the settings file, how a value
// stored or typed for it is read into Settings (why it cannot be, or empty
// when it was), and how Settings writes it. The default is what a
// default-made Settings holds.
struct Choice {
    const char *key;
    std::function<QString(const QString &value, Settings &into)> read;
    std::function<QString(const Settings &from)> write;
};
const std::vector<Choice> &choices();
// The row for `key`; the program names only keys the table has.
const Choice &choice(const char *key);

// Reads the choices from `store`. A value that cannot be used (unknown word,
// rows out of range, a folder that has gone or cannot be written) falls back
// to its default with a warning naming the key and the value; an unreadable
// or corrupt store gives all the defaults with a warning naming the file.
Settings loadSettings(QSettings &store);
// Writes every choice, as readable text, and flushes the store to disk.
void saveSettings(QSettings &store, const Settings &settings);
