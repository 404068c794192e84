// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobtable.h"

#include "conversion.h"
#include "names.h"
#include "paths.h"
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

// A status cell: centred, and its words made from the row's data whenever
// they are asked for, so that they never disagree with it. The table makes
// every item it needs from this one (its prototype).
class StatusItem : public QTableWidgetItem
{
public:
    StatusItem() { setTextAlignment(int(centred)); }
    QTableWidgetItem *clone() const override { return new StatusItem(*this); }
    QVariant data(int role) const override
    {
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            const QVariant stage = QTableWidgetItem::data(StageRole);
            const QVariant step = QTableWidgetItem::data(StepRole);
            if (stage.isValid() || step.isValid())
                return statusText(stage, step);
        }
        return QTableWidgetItem::data(role);
    }
};

// The suffix the table's rows are named for, kept on the table itself.
constexpr char suffixProperty[] = "quorvelTargetSuffix";

QString targetSuffix(const QTableWidget *table)
{
    const QVariant suffix = table->property(suffixProperty);
    return suffix.isValid() ? suffix.toString() : QStringLiteral("avi");
}

// A row whose last run succeeded: its names are its result's.
bool isConverted(const QTableWidget *table, int row)
{
    const QTableWidgetItem *status = table->item(row, ProcessStatus);
    return status && status->data(StageRole) == int(Stage::Succeeded);
}

} // namespace

QString statusText(const QVariant &stage, const QVariant &step)
{
    return stageText(Stage((step.isValid() ? step : stage).toInt()));
}

void prepare(QTableWidget *table)
{
    if (!dynamic_cast<const StatusItem *>(table->itemPrototype()))
        table->setItemPrototype(new StatusItem);
}

QString defaultFolderText()
{
    return QLatin1Char('/') + QFileInfo(outputPath).fileName();
}

void appendRows(QTableWidget *table, const QStringList &paths, const QString &folderText)
{
    prepare(table);
    const QString suffix = targetSuffix(table);
    for (const QString &path : paths) {
        const int row = table->rowCount();
        table->insertRow(row);
        table->setItem(row, FileName, makeItem(path, leftAligned));
        table->setItem(row, TargetPath, makeItem(folderText, centred));
        table->setItem(row, TargetFileName, makeItem(targetFileName(path, suffix), centred));
    }
}

void setTargetFolder(QTableWidget *table, const QString &folderText)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        if (QTableWidgetItem *item = table->item(row, TargetPath); item && !isConverted(table, row))
            item->setText(folderText);
    }
}

void setTargetSuffix(QTableWidget *table, const QString &suffix)
{
    table->setProperty(suffixProperty, suffix);
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *source = table->item(row, FileName);
        if (QTableWidgetItem *item = table->item(row, TargetFileName); item && source && !isConverted(table, row))
            item->setText(targetFileName(source->text(), suffix));
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
    prepare(table);
    QTableWidgetItem *item = table->item(row, ProcessStatus);
    if (!item) {
        item = table->itemPrototype()->clone();
        table->setItem(row, ProcessStatus, item);
    }
    item->setText(status);
}

void followSourceEdit(QTableWidget *table, const QTableWidgetItem *item)
{
    if (!item || item->column() != FileName)
        return;
    QTableWidgetItem *target = table->item(item->row(), TargetFileName);
    const QString name = targetFileName(item->text(), targetSuffix(table));
    if (target && target->text() != name)
        target->setText(name);
}

} // namespace JobTable
