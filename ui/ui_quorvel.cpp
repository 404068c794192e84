// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui_quorvel.h"

#include "jobtable.h"
#include "toolcommands.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMetaObject>
#include <QPushButton>
#include <QTableWidget>

namespace Ui {

namespace {

constexpr int controlHeight = 34;

template <typename Control>
Control *makeControl(QWidget *window, QHBoxLayout *row, const char *objectName, bool bold = false)
{
    auto *control = new Control(window);
    control->setObjectName(QString::fromLatin1(objectName));
    control->setMinimumSize(QSize(0, controlHeight));
    control->setMaximumSize(QSize(QWIDGETSIZE_MAX, controlHeight));
    if (bold) {
        QFont font;
        font.setWeight(QFont::Bold);
        control->setFont(font);
    }
    row->addWidget(control);
    return control;
}

QString text(const char *source)
{
    return QCoreApplication::translate("QuorvelClass", source, nullptr, -1);
}

} // namespace

void QuorvelClass::setupUi(QWidget *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("QuorvelClass"));
    window->resize(1200, 600);

    gridLayout = new QGridLayout(window);
    gridLayout->setSpacing(6);
    gridLayout->setContentsMargins(11, 11, 11, 11);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    gridLayout->setContentsMargins(2, 2, 2, 13);

    videoTableWidget = new QTableWidget(window);
    if (videoTableWidget->columnCount() < JobTable::ColumnCount)
        videoTableWidget->setColumnCount(JobTable::ColumnCount);
    for (int column = 0; column < JobTable::ColumnCount; ++column)
        videoTableWidget->setHorizontalHeaderItem(column, new QTableWidgetItem());
    videoTableWidget->setObjectName(QStringLiteral("videoTableWidget"));
    gridLayout->addWidget(videoTableWidget, 0, 0, 1, 1);

    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setSpacing(6);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));

    settingBtn = makeControl<QPushButton>(window, horizontalLayout, "settingBtn");
    resolutionCB = makeControl<QComboBox>(window, horizontalLayout, "resolutionCB");
    addBtn = makeControl<QPushButton>(window, horizontalLayout, "addBtn");
    deleteBtn = makeControl<QPushButton>(window, horizontalLayout, "deleteBtn");
    convertBtn = makeControl<QPushButton>(window, horizontalLayout, "convertBtn", true);
    stopConvertBtn = makeControl<QPushButton>(window, horizontalLayout, "stopConvertBtn");

    gridLayout->addLayout(horizontalLayout, 1, 0, 1, 1);

    retranslateUi(window);

    // The window declares no on_<object>_<signal> slots; every connection is
    // made explicitly by the window, so this connects nothing.
    QMetaObject::connectSlotsByName(window);
}

void QuorvelClass::retranslateUi(QWidget *window)
{
    window->setWindowTitle(text("Quorvel"));
    videoTableWidget->horizontalHeaderItem(JobTable::FileName)->setText(text("FileName"));
    videoTableWidget->horizontalHeaderItem(JobTable::TargetPath)->setText(text("TargetPath"));
    videoTableWidget->horizontalHeaderItem(JobTable::TargetFileName)->setText(text("TargetFileName"));
    videoTableWidget->horizontalHeaderItem(JobTable::ProcessStatus)->setText(text("ProcessStatus"));
    settingBtn->setText(text("Setting"));
    // Each size carries its scale as data: what is chosen never depends on
    // how the label reads.
    const int chosen = resolutionCB->currentIndex();
    resolutionCB->clear();
    const QStringList labels = resolutionLabels();
    for (const QString &label : labels)
        resolutionCB->addItem(text(label.toLatin1().constData()), scaleForResolution(label));
    resolutionCB->setCurrentIndex(qMax(0, chosen));
    addBtn->setText(text("Add"));
    deleteBtn->setText(text("Delete"));
    convertBtn->setText(text("Convert"));
    stopConvertBtn->setText(text("Stop"));
}

} // namespace Ui
