// SPDX-License-Identifier: GPL-3.0-or-later
#include "statusdelegate.h"

#include "jobtable.h"

#include <QApplication>
#include <QPainter>

namespace {
constexpr int barAlpha = 80;
} // namespace

void StatusDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QVariant value = index.data(JobTable::ProgressRole);
    if (!value.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    const QWidget *view = item.widget;
    const QStyle *style = view ? view->style() : QApplication::style();

    // The cell's own background (selection, hover) first, without its text.
    const QString text = item.text;
    item.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, view);

    const bool selected = item.state & QStyle::State_Selected;
    // A row held by a paused batch: its bar in the colour of disabled text.
    const bool paused = index.data(JobTable::PausedRole).toBool();
    QColor fill = paused ? item.palette.color(QPalette::Disabled, QPalette::Text)
                         : item.palette.color(selected ? QPalette::HighlightedText : QPalette::Highlight);
    fill.setAlpha(barAlpha);
    QRect bar = item.rect.adjusted(2, 3, -2, -3);
    bar.setWidth(bar.width() * qBound(0, value.toInt(), 100) / 100);
    painter->fillRect(bar, fill);

    style->drawItemText(painter, item.rect.adjusted(4, 0, -4, 0), int(item.displayAlignment), item.palette,
                        item.state & QStyle::State_Enabled, text,
                        selected ? QPalette::HighlightedText : QPalette::Text);
}
