#include "jobtable.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QTableWidget>

#include <vector>

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

// Columns that size to their contents measure every row on each insert;
// during a bulk insert they are switched to fixed width and restored after,
// which measures once and gives the same widths.
class ContentSizingPause
{
public:
    explicit ContentSizingPause(QHeaderView *header)
        : m_header(header)
    {
        for (int section = 0; section < header->count(); ++section) {
            if (header->sectionResizeMode(section) == QHeaderView::ResizeToContents) {
                m_sections.push_back(section);
                header->setSectionResizeMode(section, QHeaderView::Fixed);
            }
        }
    }
    ~ContentSizingPause()
    {
        for (int section : m_sections)
            m_header->setSectionResizeMode(section, QHeaderView::ResizeToContents);
    }
    ContentSizingPause(const ContentSizingPause &) = delete;
    ContentSizingPause &operator=(const ContentSizingPause &) = delete;

private:
    QHeaderView *m_header;
    std::vector<int> m_sections;
};

} // namespace

void appendRows(QTableWidget *table, const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    const ContentSizingPause pause(table->horizontalHeader());
    const QString targetFolderText = QStringLiteral("/output");
    for (const QString &path : paths) {
        const int row = table->rowCount();
        table->insertRow(row);
        table->setItem(row, FileName, makeItem(path, leftAligned));
        table->setItem(row, TargetPath, makeItem(targetFolderText, centred));
        table->setItem(row, TargetFileName, makeItem(QFileInfo(path).baseName() + QLatin1String(".avi"), centred));
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

} // namespace JobTable
