// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobtable.h"

#include "conversion.h"
#include "toolcommands.h"

#include <QFileInfo>
#include <QTableWidget>

namespace JobTable {

namespace {

constexpr Qt::Alignment leftAligned = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;

QTableWidgetItem *makeItem(const QString &text, Qt::Alignment alignment)
{
    auto *item = new QTableWidgetItem(text);
    item->setTextAlignment(int(alignment));
    return item;
}

} // namespace

void appendRows(QTableWidget *table, const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    const QString targetFolderText = QStringLiteral("/output");
    for (const QString &path : paths) {
        const int row = table->rowCount();
        table->insertRow(row);
        table->setItem(row, FileName, makeItem(path, leftAligned));
        table->setItem(row, TargetPath, makeItem(targetFolderText, centred));
        table->setItem(row, TargetFileName, makeItem(targetFileName(path), centred));
    }
}

void removeCurrentRow(QTableWidget *table)
{
    const int row = table->currentRow();
    if (row == -1)
        return;
    table->removeRow(row);
    table->setCurrentCell(table->rowCount() - 1, FileName);
}

void setStatus(QTableWidget *table, int row, const QString &status)
{
    // setItem() would silently drop (and leak) an item for a missing row.
    if (row < 0 || row >= table->rowCount())
        return;
    // The item is kept, with what else it holds about the row's run.
    if (QTableWidgetItem *item = table->item(row, ProcessStatus))
        item->setText(status);
    else
        table->setItem(row, ProcessStatus, makeItem(status, centred));
}

std::optional<QString> selectRowSource(QTableWidget *table, int row)
{
    if (row < 0 || row >= table->rowCount())
        return std::nullopt;
    table->selectRow(row);
    const QTableWidgetItem *item = table->item(row, FileName);
    if (!item)
        return std::nullopt;
    return item->text();
}

bool hasSource(const QTableWidget *table, const QString &path)
{
    // Only a source with the same file name is looked at on disk: a link to
    // the file under another name is not found, and a large table costs no
    // file system calls.
    const QString fileName = QFileInfo(path).fileName();
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, FileName);
        if (item && item->text().endsWith(fileName) && QFileInfo(item->text()).fileName() == fileName
            && sameFile(item->text(), path))
            return true;
    }
    return false;
}

} // namespace JobTable
