// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class QTableWidget;
class QTableWidgetItem;

// The job list is the table itself: one row per source file, identified by
// its index alone. Column 0 holds the source path (the only column read
// back), column 1 the output folder in use ("/output" for the working
// directory's), column 2 the target file name and column 3 the latest status
// text.
namespace JobTable {

enum Column { FileName = 0, TargetPath = 1, TargetFileName = 2, ProcessStatus = 3 };

// The status item's progress of the row's latest run, an int from 0 to 100;
// no value before the batch reaches the row.
constexpr int ProgressRole = Qt::UserRole;

// The TargetPath text of the working directory's output folder.
QString defaultFolderText();

// Appends one row per path, in the list's order. Paths are taken as given:
// not checked for existence, type or duplicates.
void appendRows(QTableWidget *table, const QStringList &paths, const QString &folderText = defaultFolderText());

// Shows `folderText` as every row's TargetPath.
void setTargetFolder(QTableWidget *table, const QString &folderText);

// Removes the current row, if there is one, and makes column 0 of the last
// row current.
void removeCurrentRow(QTableWidget *table);

// Shows `status` in the row's status cell; a row index outside the table
// changes nothing.
void setStatus(QTableWidget *table, int row, const QString &status);

// After a cell's text changed: when it is a source, its target file name
// follows it.
void followSourceEdit(QTableWidget *table, const QTableWidgetItem *item);

} // namespace JobTable
