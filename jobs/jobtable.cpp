// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobtable.h"

#include "conversion.h"
#include "toolcommands.h"

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

QString defaultFolderText()
{
    return QStringLiteral("/output");
}

void appendRows(QTableWidget *table, const QStringList &paths, const QString &folderText)
{
    for (const QString &path : paths) {
        const int row = table->rowCount();
        table->insertRow(row);
        table->setItem(row, FileName, makeItem(path, leftAligned));
        table->setItem(row, TargetPath, makeItem(folderText, centred));
        table->setItem(row, TargetFileName, makeItem(targetFileName(path), centred));
    }
}

void setTargetFolder(QTableWidget *table, const QString &folderText)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *status = table->item(row, ProcessStatus);
        if (status && status->data(StageRole) == int(Stage::Succeeded))
            continue;
        if (QTableWidgetItem *item = table->item(row, TargetPath))
            item->setText(folderText);
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

void followSourceEdit(QTableWidget *table, const QTableWidgetItem *item)
{
    if (!item || item->column() != FileName)
        return;
    QTableWidgetItem *target = table->item(item->row(), TargetFileName);
    const QString name = targetFileName(item->text());
    if (target && target->text() != name)
        target->setText(name);
}

} // namespace JobTable
