// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStyledItemDelegate>

// Paints a status cell that holds a progress value (an int from 0 to 100
// under Qt::UserRole) as a bar behind its text: a translucent fill in the
// palette's highlight colour, so the text stays readable over it. A cell
// without a value paints as any other.
class StatusDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
