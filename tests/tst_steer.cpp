// SPDX-License-Identifier: GPL-3.0-or-later
// Steering the batch from the window: Stop and Esc at every stage, files and
// folders dropped on the window, the keys, the row's context menu, and the
// pause that follows a two-step row.

#include "jobtable.h"
#include "quorvel.h"
#include "settings.h"
#include "testsupport.h"
#include "urlcatcher.h"
#include "windowsupport.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace TestSupport;
using namespace WindowSupport;

class SteerTest : public QObject
{
    Q_OBJECT

    QString m_log;
    QString m_pidFile;

    QString out(const QString &name) const { return QDir::current().filePath("output/" + name); }
    int toolRuns(const QString &tool) const
    {
        int runs = 0;
        for (const QStringList &run : readToolLog(m_log))
            runs += run.first() == tool;
        return runs;
    }
    void drop(Quorvel &window, const QList<QUrl> &urls)
    {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = tableOf(window)->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &dropped);
    }
    QStringList sources(Quorvel &window)
    {
        QStringList paths;
        for (int row = 0; row < tableOf(window)->rowCount(); ++row)
            paths << tableOf(window)->item(row, 0)->text();
        return paths;
    }

private slots:
    void init()
    {
        const FakeTools tools = installFakeTools();
        m_log = tools.log;
        m_pidFile = tools.pidFile;
    }

    void stopWhileAToolRuns_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("earlierFileKept");
        QTest::addColumn<QString>("key");
        QTest::newRow("pre-process, Stop") << QByteArray("QUORVEL_FAKE_FFMPEG") << "a.mp4" << true << "";
        QTest::newRow("transcode, Stop") << QByteArray("QUORVEL_FAKE_MENCODER") << "a.avi" << true << "";
        QTest::newRow("transcode after a pre-process, Esc")
            << QByteArray("QUORVEL_FAKE_MENCODER") << "a.mp4" << true << "Esc";
    }

    void stopWhileAToolRuns()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QString, name);
        QFETCH(bool, earlierFileKept);
        QFETCH(QString, key);
        writeFile(out("a.avi"), QByteArray(20000, 'g')); // a good file from an earlier batch
        qputenv(variable.constData(), "hang");

        Quorvel window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        JobTable::appendRows(tableOf(window), { source(name), source("b.avi") });
        QVERIFY(button(window, "stopConvertBtn")->isHidden());
        button(window, "convertBtn")->click();
        QVERIFY(!button(window, "stopConvertBtn")->isHidden());
        QTRY_VERIFY(readPid(m_pidFile) > 0);
        const qint64 toolPid = readPid(m_pidFile);

        DebugCapture debug;
        QElapsedTimer clock;
        clock.start();
        if (key == "Esc")
            QTest::keyClick(&window, Qt::Key_Escape);
        else
            button(window, "stopConvertBtn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(processGone(toolPid), 1000);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(debug.count("stop button clicked."), key == "Esc" ? 0 : 1);

        QTableWidget *table = tableOf(window);
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("Stopped"));
        QCOMPARE(table->item(0, 3)->toolTip(), QStringLiteral("Stopped by the user"));
        QVERIFY(!table->item(1, 3)); // never reached
        QCOMPARE(QDir("output").entryList(QDir::Files), earlierFileKept ? QStringList("a.avi") : QStringList());
        QVERIFY(button(window, "stopConvertBtn")->isHidden());
        QCOMPARE(window.windowTitle(), QStringLiteral("Quorvel"));

        // Idle again: Convert starts a new batch over every row.
        qunsetenv(variable.constData());
        button(window, "convertBtn")->click();
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(table->item(0, 3)->text(), OK);
        QCOMPARE(table->item(1, 3)->text(), OK);
    }

    void stopDuringThePauseEndsTheBatchBeforeTheNextRow()
    {
        Quorvel window;
        JobTable::appendRows(tableOf(window), { source("a.avi"), source("b.avi") });
        button(window, "convertBtn")->click();
        QTRY_COMPARE(tableOf(window)->item(0, 3) ? tableOf(window)->item(0, 3)->text() : QString(), OK);
        button(window, "stopConvertBtn")->click();
        QVERIFY(waitForBatchEnd(window, 400)); // well before the pause would end
        QTest::qWait(700);
        QCOMPARE(toolRuns("mencoder"), 1);
        QCOMPARE(tableOf(window)->item(0, 3)->text(), OK);
        QVERIFY(!tableOf(window)->item(1, 3));
    }

    void escWhenIdleDoesNothing()
    {
        Quorvel window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        JobTable::appendRows(tableOf(window), { source("a.avi") });
        DebugCapture debug;
        QTest::keyClick(&window, Qt::Key_Escape);
        QTest::qWait(50);
        QVERIFY(debug.lines().isEmpty());
        QCOMPARE(tableOf(window)->rowCount(), 1);
        QVERIFY(!tableOf(window)->item(0, 3));
        QVERIFY(window.isVisible());

        // It stays the key that cancels a cell's edit.
        QTableWidget *table = tableOf(window);
        table->setFocus();
        table->editItem(table->item(0, 0));
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->setText(source("changed.avi"));
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(!table->findChild<QLineEdit *>() || !table->findChild<QLineEdit *>()->isVisible());
        QCOMPARE(table->item(0, 0)->text(), source("a.avi"));
    }

    // A two-step row is followed by half a second's pause on its worker, the
    // last row included, and the batch ends only after it. A row in one pass
    // goes straight on to the next, and its batch ends with its last row.
    void pauseAfterEachRow_data()
    {
        QTest::addColumn<bool>("onePass");
        QTest::newRow("two steps") << false;
        QTest::newRow("one pass") << true;
    }
    void pauseAfterEachRow()
    {
        QFETCH(bool, onePass);
        Quorvel window;
        Settings settings;
        settings.pipeline = onePass ? Settings::Pipeline::OnePass : Settings::Pipeline::TwoSteps;
        window.applySettings(settings);
        const auto remembered = qScopeGuard([&window] { window.applySettings(Settings()); });
        QElapsedTimer clock;
        QList<qint64> starts;
        QList<qint64> ends;
        connect(&window, &Quorvel::signalUpdateConvertStatus, &window,
                [&](int, const QString &text) { (text == CV ? starts : ends) << clock.elapsed(); });
        JobTable::appendRows(tableOf(window), { source("a.avi"), source("b.avi"), source("c.avi") });
        clock.start();
        button(window, "convertBtn")->click();
        while (window.isBatchRunning() && clock.elapsed() < 30000)
            QTest::qWait(2);
        const qint64 idle = clock.elapsed();
        QCOMPARE(starts.size(), 3);
        QCOMPARE(ends.size(), 3);
        QCOMPARE(tableOf(window)->item(2, 3)->text(), OK);
        for (int row = 0; row < 3; ++row) {
            const qint64 gap = (row < 2 ? starts.at(row + 1) : idle) - ends.at(row);
            const QString what = QStringLiteral("row %1: %2 ms").arg(row).arg(gap);
            if (onePass)
                QVERIFY2(gap < 400, qPrintable(what));
            else
                QVERIFY2(gap >= 490, qPrintable(what));
        }
    }

    // Paused in the pause after the last row: nothing is left to start, so
    // the batch ends all the same, well before it would be resumed.
    void pauseAfterTheLastRowEndsTheBatch()
    {
        Quorvel window;
        JobTable::appendRows(tableOf(window), { source("a.avi") });
        connect(&window, &Quorvel::signalUpdateConvertStatus, &window, [&window](int, const QString &text) {
            if (text == OK)
                button(window, "pauseConvertBtn")->click();
        });
        button(window, "convertBtn")->click();
        QVERIFY(waitForBatchEnd(window, 3000));
        QCOMPARE(tableOf(window)->item(0, 3)->text(), OK);
        QCOMPARE(window.windowTitle(), QStringLiteral("Quorvel"));
    }

    void dropFilesAndFolders()
    {
        const QString drops = QDir::current().filePath("drops");
        QDir(drops).removeRecursively();
        writeFile(drops + "/single/notes.txt", "dropped on its own: added as given");
        writeFile(drops + "/tree/b.mkv", "");
        writeFile(drops + "/tree/a.mp4", "");
        writeFile(drops + "/tree/cover.jpg", "");
        writeFile(drops + "/tree/readme.txt", "not a video");
        writeFile(drops + "/tree/deeper/c.avi", "");
        writeFile(drops + "/tree/deeper/no suffix", QByteArray("RIFF\x10\0\0\0AVI LIST", 16));
        QDir().mkpath(drops + "/empty");

        Quorvel window;
        drop(window,
             { QUrl::fromLocalFile(drops + "/single/notes.txt"), QUrl::fromLocalFile(drops + "/tree"),
               QUrl("https://example.org/clip.mp4") });
        QCOMPARE(sources(window),
                 QStringList({ drops + "/single/notes.txt", drops + "/tree/a.mp4", drops + "/tree/b.mkv",
                               drops + "/tree/deeper/c.avi", drops + "/tree/deeper/no suffix" }));
        QCOMPARE(tableOf(window)->item(1, 1)->text(), QStringLiteral("/output"));
        QCOMPARE(tableOf(window)->item(1, 2)->text(), QStringLiteral("a.avi"));

        // Nothing usable: no rows, no box.
        drop(window, { QUrl::fromLocalFile(drops + "/empty") });
        QCOMPARE(tableOf(window)->rowCount(), 5);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void dropDuringABatchWaitsForTheNext()
    {
        qputenv("QUORVEL_FAKE_DELAY", "0.3");
        const QString clip = QDir::current().filePath("drops/late.avi");
        writeFile(clip, "");
        Quorvel window;
        JobTable::appendRows(tableOf(window), { source("a.avi") });
        button(window, "convertBtn")->click();
        QTRY_COMPARE(toolRuns("mencoder"), 1);
        drop(window, { QUrl::fromLocalFile(clip) });
        QCOMPARE(tableOf(window)->rowCount(), 2);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(toolRuns("mencoder"), 1);
        QVERIFY(!tableOf(window)->item(1, 3));
    }

    void deleteKeyAndCellEditing()
    {
        Quorvel window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { "/v/a.avi", "/v/b.avi" });
        table->setFocus();
        table->setCurrentCell(0, 0);

        // While a cell is edited, Delete edits its text.
        table->editItem(table->item(0, 0));
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->setCursorPosition(0);
        QTest::keyClick(editor, Qt::Key_Delete);
        QCOMPARE(editor->text(), QStringLiteral("v/a.avi"));
        QCOMPARE(table->rowCount(), 2);
        table->setFocus(); // leaving the editor commits it
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("v/a.avi"));

        // Otherwise it removes the current row, as the Delete button does.
        table->setFocus();
        table->setCurrentCell(0, 0);
        QTest::keyClick(table, Qt::Key_Delete);
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("/v/b.avi"));
    }

    void ctrlOOpensTheAddDialog()
    {
        Quorvel window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QString caption;
        QTimer::singleShot(100, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (dialog) {
                caption = dialog->windowTitle();
                QTimer::singleShot(100, [] {
                    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                        box->accept();
                });
                dialog->reject();
            }
        });
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(caption, QStringLiteral("Select files"));
    }

    // The row menu goes to where that row's own conversion wrote its result,
    // also after the output folder has changed; rows that failed, or whose
    // result has gone, offer nothing.
    void contextMenuLeadsToTheResult()
    {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("file", &catcher, "open");
        Quorvel window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTableWidget *table = tableOf(window);
        const QString missing = QDir::current().filePath("videos/missing.avi");
        JobTable::appendRows(table, { source("done.avi"), missing, source("gone.avi") });
        writeFile(out("missing.avi"), "an earlier file of that name");
        button(window, "convertBtn")->click();
        QVERIFY(waitForBatchEnd(window));
        QVERIFY(QFile::remove(out("gone.avi")));

        const QString elsewhere = QDir::current().filePath("elsewhere");
        QDir().mkpath(elsewhere);
        Settings moved;
        moved.outputFolder = elsewhere;
        window.applySettings(moved);
        const auto restore = qScopeGuard([&window] { window.applySettings(Settings()); });
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("/output")); // where its result is
        QCOMPARE(table->item(1, 1)->text(), elsewhere);

        const auto menuFor = [&](int row) -> QMenu * {
            const QPoint at = table->visualItemRect(table->item(row, 0)).center();
            emit table->customContextMenuRequested(at);
            return qobject_cast<QMenu *>(QApplication::activePopupWidget());
        };
        for (int row : { 1, 2 }) {
            QMenu *menu = menuFor(row);
            QVERIFY(menu);
            QCOMPARE(menu->actions().size(), 2);
            QVERIFY(!menu->actions().at(0)->isEnabled());
            QVERIFY(!menu->actions().at(1)->isEnabled());
            menu->close();
        }
        QMenu *menu = menuFor(0);
        QVERIFY(menu);
        QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("Open output folder"));
        QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("Play"));
        menu->actions().at(0)->trigger();
        menu->close();
        menuFor(0)->actions().at(1)->trigger();
        QCOMPARE(catcher.opened,
                 QList<QUrl>({ QUrl::fromLocalFile(QDir::current().filePath("output")),
                               QUrl::fromLocalFile(out("done.avi")) }));
        QDesktopServices::unsetUrlHandler("file");
    }
};

QTEST_MAIN(SteerTest)
#include "tst_steer.moc"
