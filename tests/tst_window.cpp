// SPDX-License-Identifier: GPL-3.0-or-later
// The window's own wiring: the hidden buttons' debug lines and the status
// signal reaching the table from another thread.

#include "quorvel.h"
#include "testsupport.h"

#include <QApplication>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <thread>

using namespace TestSupport;

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void buttonsWriteOneDebugLineEach_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("line");
        QTest::newRow("setting") << "settingBtn"
                                 << "setting button clicked.";
        QTest::newRow("stop") << "stopConvertBtn"
                              << "stop button clicked.";
    }

    void buttonsWriteOneDebugLineEach()
    {
        QFETCH(QString, button);
        QFETCH(QString, line);
        Quorvel window;
        auto *table = window.findChild<QTableWidget *>("videoTableWidget");
        table->insertRow(0);
        DebugCapture debug;
        // Setting opens its dialog, closed here unchanged.
        QTimer::singleShot(0, [] {
            if (QWidget *dialog = QApplication::activeModalWidget())
                dialog->close();
        });
        emit window.findChild<QPushButton *>(button)->clicked(false);
        QCOMPARE(debug.lines(), QStringList { line });
        QCOMPARE(table->rowCount(), 1);
        QVERIFY(!window.isBatchRunning());
    }

    void statusFromAnotherThreadShowsInOrder()
    {
        Quorvel window;
        auto *table = window.findChild<QTableWidget *>("videoTableWidget");
        table->setRowCount(4);

        std::thread worker([&window] {
            emit window.signalUpdateConvertStatus(2, QStringLiteral("Pre process"));
            emit window.signalUpdateConvertStatus(2, QStringLiteral("Converting"));
            emit window.signalUpdateConvertStatus(1, QStringLiteral("Failed"));
        });
        worker.join();
        // Delivered queued: nothing shows until the GUI thread gets to it.
        QVERIFY(!table->item(2, 3));
        QTRY_VERIFY(table->item(1, 3));
        QCOMPARE(table->item(2, 3)->text(), QStringLiteral("Converting"));
        QCOMPARE(table->item(1, 3)->text(), QStringLiteral("Failed"));
        QCOMPARE(table->item(2, 3)->textAlignment(), int(Qt::AlignHCenter | Qt::AlignVCenter));
        QVERIFY(!table->item(0, 3));
        QVERIFY(!table->item(3, 3));
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
