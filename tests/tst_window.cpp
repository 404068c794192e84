// SPDX-License-Identifier: GPL-3.0-or-later
// What a row's status cell shows through a whole batch: the form's words in
// the order the row reaches them, made from the row's own data, centred
// whatever wrote the cell first.

#include "jobtable.h"
#include "settings.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QAbstractItemModel>
#include <QTableWidget>
#include <QtTest>

using namespace TestSupport;
using namespace WindowSupport;

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { installFakeTools(); }

    void statusCellsFollowTheRows_data()
    {
        QTest::addColumn<bool>("onePass");
        QTest::addColumn<QString>("failing"); // the tool that fails the third row
        QTest::addColumn<QStringList>("first"); // a source that is not AVI
        QTest::addColumn<QStringList>("third");
        QTest::newRow("two steps") << false << "MENCODER" << QStringList { PP, OK, CV, OK }
                                   << QStringList { PP, OK, CV, NO };
        QTest::newRow("two steps, the pre-process fails")
            << false << "FFMPEG" << QStringList { PP, OK, CV, OK } << QStringList { PP, NO, CV, NO };
        QTest::newRow("one pass") << true << "FFMPEG" << QStringList { CV, OK } << QStringList { CV, NO };
    }

    void statusCellsFollowTheRows()
    {
        QFETCH(bool, onePass);
        QFETCH(QString, failing);
        QFETCH(QStringList, first);
        QFETCH(QStringList, third);
        const QString bad = source("bad.mp4");
        qputenv("QUORVEL_FAKE_FAIL_ON", (failing.toLower() + ":bad").toUtf8());
        Quorvel window;
        Settings settings;
        settings.pipeline = onePass ? Settings::Pipeline::OnePass : Settings::Pipeline::TwoSteps;
        window.applySettings(settings);
        const auto remembered = qScopeGuard([&window] { window.applySettings(Settings()); });
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("a.mp4"), source("b.avi"), bad });

        // The words as the signal tells them, and as the cell shows them at
        // each change of its data.
        QVector<QStringList> told(3);
        QVector<QStringList> shown(3);
        connect(&window, &Quorvel::signalUpdateConvertStatus, this,
                [&](int row, const QString &text) { told[row] << text; });
        connect(table->model(), &QAbstractItemModel::dataChanged, this, [&](const QModelIndex &topLeft) {
            const QString text = topLeft.siblingAtColumn(JobTable::ProcessStatus).data().toString();
            if (topLeft.column() == JobTable::ProcessStatus && !text.isEmpty()
                && (shown[topLeft.row()].isEmpty() || shown[topLeft.row()].last() != text))
                shown[topLeft.row()] << text;
        });
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(told, QVector<QStringList>({ first, { CV, OK }, third }));
        // What the cell showed never strays from what was told: a repeated
        // word shows as one.
        for (int row = 0; row < 3; ++row) {
            QStringList once;
            for (const QString &word : qAsConst(told[row]))
                if (once.isEmpty() || once.last() != word)
                    once << word;
            QCOMPARE(shown[row].join(","), once.join(","));
            QCOMPARE(table->item(row, JobTable::ProcessStatus)->textAlignment(), int(Qt::AlignHCenter | Qt::AlignVCenter));
        }
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
