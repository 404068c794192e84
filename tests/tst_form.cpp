// SPDX-License-Identifier: GPL-3.0-or-later
// The window's widget tree as the user sees it: names, classes, texts,
// sizes and spacing, which controls show.

#include "quorvel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void windowIsNamedTitledAndSized()
    {
        Quorvel window;
        QCOMPARE(window.objectName(), QStringLiteral("QuorvelClass"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Quorvel"));
        QCOMPARE(window.size(), QSize(1200, 600));
        QVERIFY(window.isWindow());
    }

    void namedWindowKeepsItsName()
    {
        QWidget window;
        window.setObjectName("alreadyNamed");
        Ui::QuorvelClass form;
        form.setupUi(&window);
        QCOMPARE(window.objectName(), QStringLiteral("alreadyNamed"));
        QCOMPARE(form.addBtn->text(), QStringLiteral("Add"));
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<int>("position");
        QTest::newRow("setting") << "settingBtn"
                                 << "QPushButton"
                                 << "Setting" << true << 0;
        QTest::newRow("resolution") << "resolutionCB"
                                    << "QComboBox"
                                    << "320x240" << true << 1;
        QTest::newRow("add") << "addBtn"
                             << "QPushButton"
                             << "Add" << true << 2;
        QTest::newRow("delete") << "deleteBtn"
                                << "QPushButton"
                                << "Delete" << true << 3;
        QTest::newRow("convert") << "convertBtn"
                                 << "QPushButton"
                                 << "Convert" << true << 4;
        QTest::newRow("stop") << "stopConvertBtn"
                              << "QPushButton"
                              << "Stop" << false << 5;
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, text);
        QFETCH(bool, visible);
        QFETCH(int, position);

        Quorvel window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *control = window.findChild<QWidget *>(name);
        QVERIFY(control);
        QCOMPARE(QString::fromLatin1(control->metaObject()->className()), className);
        QCOMPARE(control->parentWidget(), &window);
        if (auto *button = qobject_cast<QPushButton *>(control))
            QCOMPARE(button->text(), text);
        else
            QCOMPARE(qobject_cast<QComboBox *>(control)->currentText(), text);
        QCOMPARE(control->isVisible(), visible);
        QCOMPARE(control->minimumHeight(), 34);
        QCOMPARE(control->maximumHeight(), 34);
        QCOMPARE(control->maximumWidth(), QWIDGETSIZE_MAX);
        QCOMPARE(control->font().bold(), name == QLatin1String("convertBtn"));
        if (name == QLatin1String("convertBtn"))
            QCOMPARE(control->font().weight(), 75);

        auto *row = window.findChild<QHBoxLayout *>("horizontalLayout");
        QVERIFY(row);
        QCOMPARE(row->indexOf(control), position);
        QCOMPARE(row->stretch(position), 0);
    }

    void resolutionsInOrder()
    {
        Quorvel window;
        auto *box = window.findChild<QComboBox *>("resolutionCB");
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        QCOMPARE(items, QStringList({ "320x240", "160x128", "128x128", "220x176" }));
        QCOMPARE(box->currentIndex(), 0);
    }

    void tableStartsWithFourTitledColumnsAndNoRows()
    {
        Quorvel window;
        auto *table = window.findChild<QTableWidget *>("videoTableWidget");
        QVERIFY(table);
        QCOMPARE(table->columnCount(), 4);
        QCOMPARE(table->rowCount(), 0);
        const QStringList titles { "FileName", "TargetPath", "TargetFileName", "ProcessStatus" };
        for (int column = 0; column < 4; ++column)
            QCOMPARE(table->horizontalHeaderItem(column)->text(), titles.at(column));
        QHeaderView *header = table->horizontalHeader();
        QCOMPARE(header->sectionResizeMode(0), QHeaderView::Stretch);
        QCOMPARE(header->sectionResizeMode(1), QHeaderView::ResizeToContents);
        QCOMPARE(header->sectionResizeMode(2), QHeaderView::ResizeToContents);
        QCOMPARE(header->sectionResizeMode(3), QHeaderView::Interactive);
    }

    void layoutKeepsMarginsAndSpacingAtAnySize_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("as built") << QSize(1200, 600);
        QTest::newRow("small") << QSize(640, 300);
        QTest::newRow("large") << QSize(1600, 1000);
    }

    void layoutKeepsMarginsAndSpacingAtAnySize()
    {
        QFETCH(QSize, size);
        Quorvel window;
        window.resize(size);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), size);

        auto *grid = window.findChild<QGridLayout *>("gridLayout");
        QCOMPARE(window.layout(), grid);
        QCOMPARE(grid->contentsMargins(), QMargins(2, 2, 2, 13));
        QCOMPARE(grid->spacing(), 6);
        QCOMPARE(window.findChild<QHBoxLayout *>("horizontalLayout")->spacing(), 6);

        auto *table = window.findChild<QTableWidget *>("videoTableWidget");
        auto *add = window.findChild<QPushButton *>("addBtn");
        auto *remove = window.findChild<QPushButton *>("deleteBtn");
        QCOMPARE(table->geometry().topLeft(), QPoint(2, 2));
        QCOMPARE(table->width(), size.width() - 4);
        QCOMPARE(add->height(), 34);
        QCOMPARE(add->geometry().bottom(), size.height() - 13 - 1);
        QCOMPARE(add->geometry().top() - table->geometry().bottom() - 1, 6);
        QCOMPARE(remove->geometry().left() - add->geometry().right() - 1, 6);
    }
};

QTEST_MAIN(FormTest)
#include "tst_form.moc"
