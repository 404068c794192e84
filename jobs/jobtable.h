// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "conversion.h"

#include <QString>
#include <QStringList>
#include <QVariant>

class QTableWidget;
class QTableWidgetItem;

// The job list is the table itself: one row per source file, identified by
// its index alone. Column 0 holds the source path, column 1 the output
// folder in use ("/output" for the working directory's), column 2 the target
// file name and column 3 the row's status, made from what its status item
// keeps of its latest run.
namespace JobTable {

enum Column { FileName = 0, TargetPath = 1, TargetFileName = 2, ProcessStatus = 3, ColumnCount = 4 };

// What the status item keeps of the row's latest run, as data: nothing is
// read back from the texts the row shows.
// - its progress, an int from 0 to 100; none before a batch reaches the row;
constexpr int ProgressRole = Qt::UserRole;
// - its stage, an int of Stage; none before a batch reaches the row;
constexpr int StageRole = Qt::UserRole + 1;
// - the file its last successful conversion wrote;
constexpr int ResultRole = Qt::UserRole + 2;
// - why it failed;
constexpr int ReasonRole = Qt::UserRole + 3;
// - the milliseconds it has been converting (paused time left out), as of
//   its last report;
constexpr int ElapsedRole = Qt::UserRole + 4;
// - true while it is held by a paused batch;
constexpr int PausedRole = Qt::UserRole + 5;
// - the outcome of the step that ended last (Succeeded or Failed, an int of
//   Stage), until the next step starts or the row's run ends.
constexpr int StepRole = Qt::UserRole + 6;

// The words a status cell shows: the outcome of the step that ended last,
// while there is one, else the row's stage ("Pre process", "Converting",
// "Success", "Failed", "Stopped"); nothing before a batch reaches the row.
QString statusText(const QVariant &stage, const QVariant &step);

// Makes every status cell of the table, whoever writes it first, centred
// and showing statusText() of its own data. appendRows() does it too.
void prepare(QTableWidget *table);

// The TargetPath text of the default output folder (outputPath): "/output".
QString defaultFolderText();

// Appends one row per path, in the list's order. Paths are taken as given:
// not checked for existence, type or duplicates.
void appendRows(QTableWidget *table, const QStringList &paths, const QString &folderText = defaultFolderText());

// Shows `folderText` as the TargetPath of every row not yet converted; a
// converted row keeps the folder its result went to.
void setTargetFolder(QTableWidget *table, const QString &folderText);

// Names every row not yet converted, and every row added or edited from now
// on, for results with `suffix` ("avi", "amv", "mp4"; "avi" until set); a
// converted row keeps the name its result has.
void setTargetSuffix(QTableWidget *table, const QString &suffix);

// Removes the current row, if there is one, and makes column 0 of the last
// row current.
void removeCurrentRow(QTableWidget *table);

// Shows `status` in the status cell of a row that no batch has reached; a
// row's stage, once it has one, decides what the cell shows. A row index
// outside the table changes nothing.
void setStatus(QTableWidget *table, int row, const QString &status);

// After a cell's text changed: when it is a source, its target file name
// follows it.
void followSourceEdit(QTableWidget *table, const QTableWidgetItem *item);

} // namespace JobTable
