// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// One source of a run and where its conversion writes.
struct BatchTask {
    QString source; // absolute, so that no tool reads it as an option
    QString target;
    QString temporary; // this source's own pre-process file
    // Known before any tool runs: the source shares its target with an
    // earlier one. Empty otherwise.
    QString failure;
};

// The sources that `paths` name, in order: each folder becomes the video
// files in it and its subfolders, each path absolute. A source whose target
// an earlier source already has is marked as failed.
std::vector<BatchTask> planTasks(const QStringList &paths, const QString &outputFolder);

// Why a source cannot be converted, found without a tool: it does not
// exist, cannot be read, is empty or is a text file. Empty when none of
// these holds. Any thread.
QString sourceProblem(const QString &source);

// The pre-process file of the `number`th source: in the output folder,
// named for this machine and process so that runs sharing a folder never
// meet, and with a dot in its base name so that it is never a target.
QString temporaryPathFor(const QString &outputFolder, int number);
