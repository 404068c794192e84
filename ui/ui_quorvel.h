// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QPushButton;
class QTableWidget;
class QWidget;

namespace Ui {

// The main window's widget tree. The pointers own nothing: every widget is a
// child of the window and the layouts belong to it, so all of them go with
// the window. They are meaningless until setupUi() has run.
struct QuorvelClass {
    QGridLayout *gridLayout;
    QTableWidget *videoTableWidget;
    QHBoxLayout *horizontalLayout;
    QPushButton *settingBtn;
    QComboBox *resolutionCB;
    QPushButton *addBtn;
    QPushButton *deleteBtn;
    QPushButton *convertBtn;
    QPushButton *stopConvertBtn;

    void setupUi(QWidget *window);
    void retranslateUi(QWidget *window);
};

} // namespace Ui
