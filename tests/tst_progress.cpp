// SPDX-License-Identifier: GPL-3.0-or-later
// What the user sees of the work: the bar in each row, the time left, how a
// row ended, the batch in the window's title, and how often the GUI thread
// hears of progress when a tool floods its output.

#include "jobtable.h"
#include "progresstext.h"
#include "quorvel.h"
#include "tablebatch.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtTest>

using namespace TestSupport;
using namespace WindowSupport;

namespace {

// Every change of a status item's progress, tooltip, text and the window
// title, as the GUI thread makes them.
struct Seen {
    qint64 ms;
    int row;
    QVariant progress;
    QString text;
    QString toolTip;
    QString title;
};

class ProgressLog
{
public:
    explicit ProgressLog(Quorvel *window, QTableWidget *table)
    {
        m_clock.start();
        QObject::connect(table->model(), &QAbstractItemModel::dataChanged, window,
                         [=](const QModelIndex &from, const QModelIndex &to) {
                             for (int row = from.row(); row <= to.row(); ++row) {
                                 const QModelIndex status = table->model()->index(row, JobTable::ProcessStatus);
                                 if (from.column() <= JobTable::ProcessStatus && to.column() >= JobTable::ProcessStatus)
                                     m_seen.push_back({ m_clock.elapsed(), row, status.data(JobTable::ProgressRole),
                                                        status.data().toString(),
                                                        status.data(Qt::ToolTipRole).toString(),
                                                        window->windowTitle() });
                             }
                         });
        QObject::connect(window, &QWidget::windowTitleChanged, window,
                         [=](const QString &title) { m_titles << title; });
    }
    const QVector<Seen> &seen() const { return m_seen; }
    const QStringList &titles() const { return m_titles; }
    QList<int> values(int row, const QString &text = QString()) const
    {
        QList<int> found;
        for (const Seen &entry : m_seen)
            if (entry.row == row && entry.progress.isValid() && (text.isEmpty() || entry.text == text))
                found << entry.progress.toInt();
        return found;
    }

private:
    QElapsedTimer m_clock;
    QVector<Seen> m_seen;
    QStringList m_titles;
};

} // namespace

class ProgressTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { installFakeTools(); }

    void texts_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("text");
        QTest::newRow("first two seconds") << 50 << qint64(1999) << "50 %";
        QTest::newRow("below 2 %") << 1 << qint64(60000) << "1 %";
        QTest::newRow("estimate") << 42 << qint64(42000) << "42 %, 0:58 left";
        QTest::newRow("minutes") << 10 << qint64(60000) << "10 %, 9:00 left";
        QTest::newRow("from an hour up") << 25 << qint64(1800000) << "25 %, 1:30:00 left";
        QTest::newRow("done") << 100 << qint64(5000) << "100 %, 0:00 left";
    }

    void texts()
    {
        QFETCH(int, percent);
        QFETCH(qint64, elapsedMs);
        QFETCH(QString, text);
        QCOMPARE(progressText(percent, elapsedMs), text);
    }

    void barTimeLeftAndTitleWhileAStepRuns()
    {
        qputenv("QUORVEL_FAKE_MENCODER", "slow");
        qputenv("QUORVEL_FAKE_SECONDS", "3");
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("long film.mp4") });
        ProgressLog log(&window, table);
        QVERIFY(!table->item(0, 3));
        convert(window);
        QVERIFY(waitForBatchEnd(window));

        // The pre-process spends 0-50, the transcode 50-100, never down.
        const QList<int> values = log.values(0);
        QVERIFY(!values.isEmpty());
        QCOMPARE(values.first(), 0);
        QCOMPARE(values.last(), 100);
        for (int i = 1; i < values.size(); ++i)
            QVERIFY2(values.at(i) >= values.at(i - 1), qPrintable(QString::number(i)));
        for (int value : log.values(0, "Pre process"))
            QVERIFY(value <= 50);
        // A three-second step moves the bar visibly while it runs.
        QList<int> converting = log.values(0, "Converting");
        std::sort(converting.begin(), converting.end());
        converting.erase(std::unique(converting.begin(), converting.end()), converting.end());
        QVERIFY2(converting.size() >= 3, qPrintable(QString::number(converting.size())));
        QVERIFY(converting.first() >= 50);

        // The tooltip tells how far, and after two seconds how long is left.
        const QRegularExpression running(QStringLiteral("^\\d+ %(, \\d+:\\d\\d left)?$"));
        bool estimated = false;
        for (const Seen &entry : log.seen()) {
            if (entry.text == "Converting" && !entry.toolTip.isEmpty()) {
                QVERIFY2(running.match(entry.toolTip).hasMatch(), qPrintable(entry.toolTip));
                estimated = estimated || entry.toolTip.endsWith(" left");
            }
        }
        QVERIFY(estimated);
        QVERIFY(QRegularExpression("^Done in 0:0[3-9]$").match(table->item(0, 3)->toolTip()).hasMatch());
        QCOMPARE(table->item(0, 3)->data(JobTable::ProgressRole).toInt(), 100);

        // The title follows the batch and is the window's own again after it.
        const QRegularExpression title(QStringLiteral("^Quorvel - 0 of 1 - (\\d+) %$"));
        int titled = 0;
        for (const QString &text : log.titles())
            titled += title.match(text).hasMatch();
        QVERIFY(titled >= 3);
        QCOMPARE(window.windowTitle(), QStringLiteral("Quorvel"));
    }

    void failedRowKeepsItsLastValueAndSaysWhy()
    {
        qputenv("QUORVEL_FAKE_MENCODER", "none");
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("a.mp4"), source("b.avi") });
        ProgressLog log(&window, table);
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("Failed"));
        QCOMPARE(table->item(0, 3)->data(JobTable::ProgressRole).toInt(), log.values(0).last());
        QVERIFY(log.values(0).last() >= 50); // the pre-process was done
        QVERIFY(table->item(0, 3)->toolTip().startsWith("mencoder: "));
        QCOMPARE(table->item(1, 3)->text(), QStringLiteral("Failed"));
        QVERIFY(log.values(1).last() < 100);
    }

    void titleCountsTheBatchRows()
    {
        qputenv("QUORVEL_FAKE_DELAY", "0.3");
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("a.avi"), source("b.avi") });
        ProgressLog log(&window, table);
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QStringList counted;
        for (const QString &title : log.titles())
            counted << title.section(" - ", 1, 1);
        // Rows ended over all rows.
        QVERIFY(counted.contains("0 of 2"));
        QVERIFY(counted.contains("1 of 2"));
        QVERIFY(log.titles().contains("Quorvel - 2 of 2 - 100 %"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Quorvel"));
    }

    void rowNotReachedHasNoBar()
    {
        qputenv("QUORVEL_FAKE_DELAY", "0.5");
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("a.avi"), source("b.avi") });
        convert(window);
        QTRY_VERIFY(table->item(0, 3));
        QVERIFY(table->item(0, 3)->data(JobTable::ProgressRole).isValid());
        QVERIFY(!table->item(1, 3));
        QVERIFY(waitForBatchEnd(window));
    }

    // However fast a tool prints, the GUI thread hears of it at most ten
    // times a second per row.
    void floodIsThrottled()
    {
        qputenv("QUORVEL_FAKE_MENCODER", "flood");
        qputenv("QUORVEL_FAKE_SECONDS", "2");
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("a.avi") });
        ProgressLog log(&window, table);
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QVector<qint64> changes;
        QVariant last;
        for (const Seen &entry : log.seen()) {
            if (entry.progress.isValid() && entry.progress != last)
                changes << entry.ms;
            last = entry.progress;
        }
        QVERIFY2(changes.size() >= 5, qPrintable(QString::number(changes.size())));
        // In any one second, counting the row's start and its end too.
        for (int i = 0; i < changes.size(); ++i) {
            int inSecond = 0;
            for (int j = i; j < changes.size() && changes.at(j) - changes.at(i) < 1000; ++j)
                ++inSecond;
            QVERIFY2(inSecond <= 12, qPrintable(QString::number(inSecond)));
        }
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("Success"));
    }

    void barIsPaintedBehindTheText()
    {
        Quorvel window;
        window.resize(800, 300);
        window.show();
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("a.avi"), source("b.avi") });
        JobTable::setStatus(table, 0, "Converting");
        JobTable::setStatus(table, 1, "Converting");
        table->item(0, 3)->setData(JobTable::ProgressRole, 50);
        table->clearSelection();
        table->setCurrentItem(nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage shot = table->viewport()->grab().toImage();
        const QRect withBar = table->visualItemRect(table->item(0, 3));
        const QRect without = table->visualItemRect(table->item(1, 3));
        // Left of the text the bar tints the cell; past its half it does not.
        const QPoint left(withBar.left() + 6, withBar.center().y() - withBar.height() / 2 + 5);
        const QPoint right(withBar.right() - 6, left.y());
        QVERIFY(shot.pixel(left) != shot.pixel(QPoint(without.left() + 6, without.top() + 5)));
        QCOMPARE(shot.pixel(right), shot.pixel(QPoint(without.right() - 6, without.top() + 5)));
    }

    // The batch's time left, from the speed so far and the pause after each
    // row: on 8 similar rows, at each row's end from the second on, within
    // 15 % of the time that was really left.
    void batchTimeLeftIsClose()
    {
        qputenv("QUORVEL_FAKE_MENCODER", "slow");
        qputenv("QUORVEL_FAKE_SECONDS", "1");
        QTableWidget table(0, 4);
        QStringList sources;
        for (int i = 0; i < 8; ++i)
            sources << source(QStringLiteral("t%1.avi").arg(i));
        JobTable::appendRows(&table, sources);
        Stop closing;
        TableBatch batch(table.model(), closing);
        QElapsedTimer clock;
        QList<QPair<qint64, qint64>> estimates; // when a row ended, the time left given then
        int rowsEnded = 0;
        bool over = false;
        connect(&batch, &TableBatch::progressChanged, this, [&](int ended, int, int, qint64 left) {
            if (ended > rowsEnded && left >= 0)
                estimates << qMakePair(clock.elapsed(), left);
            rowsEnded = ended;
        });
        connect(&batch, &TableBatch::ended, this, [&] { over = true; });
        PlanSettings settings;
        settings.scale = QStringLiteral("320:240");
        clock.start();
        batch.start(settings, 1, std::chrono::milliseconds(500));
        QTRY_VERIFY_WITH_TIMEOUT(over, 60000);
        const qint64 end = clock.elapsed();
        QVERIFY2(estimates.size() >= 6, qPrintable(QString::number(estimates.size())));
        for (int row = 1; row < estimates.size() - 1; ++row) {
            const qint64 actual = end - estimates.at(row).first;
            const qint64 estimate = estimates.at(row).second;
            QVERIFY2(qAbs(estimate - actual) <= actual * 15 / 100,
                     qPrintable(QStringLiteral("row %1: %2 ms left, %3 estimated").arg(row).arg(actual).arg(estimate)));
        }
    }
};

QTEST_MAIN(ProgressTest)
#include "tst_progress.moc"
