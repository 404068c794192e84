// SPDX-License-Identifier: GPL-3.0-or-later
// The window's batch against fake tools in the working directory's bin/:
// statuses on the right rows, and a user who keeps working while it runs
// (adds, deletes, edits, a new size, a dialog) or closes the window. What
// each tool behaviour makes of a row is the runner's, tested there.

#include "jobtable.h"
#include "paths.h"
#include "quorvel.h"
#include "settings.h"
#include "testsupport.h"
#include "toolcommands.h"
#include "windowsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMap>
#include <QMutex>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <csignal>

using namespace TestSupport;
using namespace WindowSupport;

namespace {

// The state letters of this test's tool processes still there (a zombie
// counts: not reaped), by process id.
QMap<qint64, char> toolStates()
{
    QMap<qint64, char> found;
    const QString parent = QString::number(QCoreApplication::applicationPid());
    for (const QString &pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.value(1) == parent.toUtf8())
            found.insert(pid.toLongLong(), fields.value(0).at(0));
    }
    return found;
}

int childProcesses()
{
    return toolStates().size();
}

// Every status the batch emits, in emission order, as "row:text".
class StatusLog
{
public:
    explicit StatusLog(Quorvel *window)
    {
        QObject::connect(
            window, &Quorvel::signalUpdateConvertStatus, window,
            [this](int row, const QString &text) {
                QMutexLocker lock(&m_mutex);
                m_entries << QString::number(row) + ':' + text;
            },
            Qt::DirectConnection);
    }
    QStringList entries() const
    {
        QMutexLocker lock(&m_mutex);
        return m_entries;
    }
    QStringList forRow(int row) const
    {
        QStringList texts;
        const QString prefix = QString::number(row) + ':';
        for (const QString &entry : entries())
            if (entry.startsWith(prefix))
                texts << entry.mid(prefix.size());
        return texts;
    }

private:
    mutable QMutex m_mutex;
    QStringList m_entries;
};

} // namespace

class BatchTest : public QObject
{
    Q_OBJECT

    QString m_log;
    QString m_pidFile;

    QList<QStringList> runs() const { return readToolLog(m_log); }
    // A tool run's argument after `option`; mencoder's input stands before "-o".
    static QString after(const QStringList &run, const QString &option) { return run.value(run.indexOf(option) + 1); }
    static QString inputOf(const QStringList &run) { return run.value(run.indexOf("-o") - 1); }
    // Results being written, under their working names.
    static QStringList workingFiles()
    {
        return QDir("output").entryList({ ".quorvel-*.part" }, QDir::Files | QDir::Hidden);
    }
    QList<QStringList> runsOf(const QString &tool) const
    {
        QList<QStringList> found;
        for (const QStringList &run : runs())
            if (run.first() == tool)
                found << run.mid(1);
        return found;
    }
    QString out(const QString &name) const { return QDir::current().filePath("output/" + name); }

private slots:
    // The window's settings live in the working directory, never the
    // user's, and each test starts from the defaults.
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QDir::current().filePath("config").toUtf8()); }

    void init()
    {
        const FakeTools tools = installFakeTools();
        m_log = tools.log;
        m_pidFile = tools.pidFile;
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Quorvel", "Quorvel").clear();
    }

    void aviSourceIsTranscodedOnly()
    {
        Quorvel window;
        StatusLog statuses(&window);
        DebugCapture debug;
        JobTable::appendRows(tableOf(window), { source("holiday.avi") });
        convert(window);
        QVERIFY(waitForBatchEnd(window));

        QCOMPARE(statuses.entries(), QStringList({ "0:" + CV, "0:" + OK }));
        QCOMPARE(tableOf(window)->item(0, 3)->text(), OK);
        QCOMPARE(runs().size(), 1);
        const QStringList transcode = runsOf("mencoder").first();
        QCOMPARE(inputOf(transcode), source("holiday.avi"));
        QCOMPARE(QDir("output").entryList(QDir::Files | QDir::Hidden), QStringList("holiday.avi"));
        // The debug line reads back into the very command that ran.
        const QStringList lines = debug.startingWith("convert command: ");
        QCOMPARE(lines.size(), 1);
        QCOMPARE(QProcess::splitCommand(lines.first().mid(17)), QStringList(mencoderPath) + transcode);
        QCOMPARE(tableOf(window)->currentRow(), 0); // selected as it started
    }

    void emptyTableEndsAtOnce()
    {
        Quorvel window;
        StatusLog statuses(&window);
        DebugCapture debug;
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QVERIFY(statuses.entries().isEmpty());
        QVERIFY(runs().isEmpty());
        QVERIFY(debug.lines().isEmpty());
    }

    void secondConvertIsRefusedWhileABatchRuns()
    {
        qputenv("QUORVEL_FAKE_DELAY", "0.3");
        Quorvel window;
        StatusLog statuses(&window);
        DebugCapture debug;
        JobTable::appendRows(tableOf(window), { source("one.avi"), source("two.avi") });
        convert(window);
        QTRY_COMPARE(runs().size(), 1);
        convert(window);
        QVERIFY(waitForBatchEnd(window));

        QCOMPARE(debug.count("In convert process, please wait."), 1);
        QCOMPARE(runsOf("mencoder").size(), 2);
        QCOMPARE(statuses.entries(), QStringList({ "0:" + CV, "0:" + OK, "1:" + CV, "1:" + OK }));

        // Idle again: a new batch converts every row once more.
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(runsOf("mencoder").size(), 4);
        QCOMPARE(debug.count("In convert process, please wait."), 1);
    }

    void rowsAddedDuringABatchWaitForTheNext()
    {
        qputenv("QUORVEL_FAKE_DELAY", "0.3");
        Quorvel window;
        StatusLog statuses(&window);
        JobTable::appendRows(tableOf(window), { source("first.avi") });
        convert(window);
        QTRY_COMPARE(runs().size(), 1);
        JobTable::appendRows(tableOf(window), { source("later.avi") });
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(runsOf("mencoder").size(), 1);
        QVERIFY(statuses.forRow(1).isEmpty());
        QVERIFY(!tableOf(window)->item(1, 3));
    }

    // Statuses follow the rows, wherever a Delete moves them.
    void deleteBeforeTheRunningRow()
    {
        qputenv("QUORVEL_FAKE_DELAY", "0.5");
        Quorvel window;
        StatusLog statuses(&window);
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("r0.avi"), source("r1.avi"), source("r2.avi") });
        convert(window);
        QTRY_COMPARE(statuses.entries().size(), 3); // r1 converts
        table->setCurrentCell(0, 0);
        window.deleteCurrentVideo(); // r0, done already
        QVERIFY(waitForBatchEnd(window));

        QCOMPARE(runsOf("mencoder").size(), 3);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 0)->text(), source("r1.avi"));
        QCOMPARE(table->item(0, 3)->text(), OK);
        QCOMPARE(table->item(1, 3)->text(), OK);
        // r1's outcome was shown at its new index, and r2 was converted once.
        QCOMPARE(statuses.entries(), QStringList({ "0:" + CV, "0:" + OK, "1:" + CV, "0:" + OK, "1:" + CV, "1:" + OK }));
    }

    void deleteTheRunningRow()
    {
        qputenv("QUORVEL_FAKE_HANG_ON", "r1");
        Quorvel window;
        StatusLog statuses(&window);
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("r0.avi"), source("r1.avi"), source("r2.avi") });
        convert(window);
        QTRY_VERIFY(readPid(m_pidFile) > 0);
        const qint64 toolPid = readPid(m_pidFile);
        QTRY_COMPARE(table->currentRow(), 1); // the selection comes as a queued report
        QCOMPARE(workingFiles().size(), 1); // the tool's partial output, under its working name

        QElapsedTimer clock;
        clock.start();
        window.deleteCurrentVideo();
        QTRY_VERIFY_WITH_TIMEOUT(processGone(toolPid), 1000);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(waitForBatchEnd(window));

        QVERIFY(!QFile::exists(out("r1.avi")));
        QVERIFY(workingFiles().isEmpty());
        QCOMPARE(runsOf("mencoder").size(), 3);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(1, 0)->text(), source("r2.avi"));
        QCOMPARE(table->item(1, 3)->text(), OK);
        QCOMPARE(statuses.entries(), QStringList({ "0:" + CV, "0:" + OK, "1:" + CV, "1:" + CV, "1:" + OK }));
    }

    void deleteARowNotReachedYet()
    {
        qputenv("QUORVEL_FAKE_DELAY", "0.5");
        Quorvel window;
        StatusLog statuses(&window);
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("r0.avi"), source("r1.avi"), source("r2.avi") });
        convert(window);
        QTRY_COMPARE(runs().size(), 1);
        table->setCurrentCell(1, 0);
        window.deleteCurrentVideo(); // r1: skipped, no tool, no status
        QVERIFY(waitForBatchEnd(window));

        const QList<QStringList> transcodes = runsOf("mencoder");
        QCOMPARE(transcodes.size(), 2);
        QCOMPARE(inputOf(transcodes.at(0)), source("r0.avi"));
        QCOMPARE(inputOf(transcodes.at(1)), source("r2.avi"));
        QCOMPARE(statuses.entries(), QStringList({ "0:" + CV, "0:" + OK, "1:" + CV, "1:" + OK }));
        QCOMPARE(table->item(1, 0)->text(), source("r2.avi"));
    }

    void sizeChosenDuringABatchAppliesToTheRowsThatStartAfter()
    {
        qputenv("QUORVEL_FAKE_DELAY", "0.5");
        Quorvel window;
        JobTable::appendRows(tableOf(window), { source("a.avi"), source("b.avi") });
        convert(window);
        QTRY_COMPARE(runs().size(), 1);
        window.findChild<QComboBox *>("resolutionCB")->setCurrentText("220x176");
        QVERIFY(waitForBatchEnd(window));

        const QList<QStringList> transcodes = runsOf("mencoder");
        QCOMPARE(transcodes.size(), 2);
        QCOMPARE(after(transcodes.at(0), "-force-avi-aspect"), QStringLiteral("320:240"));
        QCOMPARE(after(transcodes.at(1), "-force-avi-aspect"), QStringLiteral("220:176"));
    }

    // The first row keeps its result; the second says why it wrote nothing.
    void sameBaseNameTwice()
    {
        Quorvel window;
        StatusLog statuses(&window);
        DebugCapture debug;
        JobTable::appendRows(tableOf(window), { source("x/clip.mp4"), source("y/clip.mkv") });
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(statuses.forRow(0), QStringList({ PP, OK, CV, OK }));
        QCOMPARE(statuses.forRow(1), QStringList({ NO }));
        const QString reason = "same target as " + source("x/clip.mp4");
        QCOMPARE(tableOf(window)->item(1, 3)->toolTip(), reason);
        QCOMPARE(debug.warnings(), QStringList("Failed: " + source("y/clip.mkv") + ": " + reason));
        QCOMPARE(runsOf("mencoder").size(), 1);
    }

    void toolEndedFromOutsideFailsItsRow()
    {
        qputenv("QUORVEL_FAKE_FFMPEG", "term");
        qputenv("QUORVEL_FAKE_SECONDS", "4");
        Quorvel window;
        StatusLog statuses(&window);
        JobTable::appendRows(tableOf(window), { source("clip.mp4") });
        convert(window);
        QTRY_VERIFY(readPid(m_pidFile) > 0);
        QTest::qWait(300);
        ::kill(pid_t(readPid(m_pidFile)), SIGTERM);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(statuses.forRow(0), QStringList({ PP, NO, CV, NO }));
        QCOMPARE(tableOf(window)->item(0, 3)->toolTip(), QStringLiteral("ffmpeg exited with status 255"));
        QVERIFY(QDir("output").entryList(QDir::Files).isEmpty());
    }

    // A modal dialog runs its own event loop: the batch's reports keep
    // arriving, and the next rows start, while it is open.
    void dialogOpenDuringABatchDoesNotStallIt()
    {
        qputenv("QUORVEL_FAKE_DELAY", "0.2");
        Quorvel window;
        StatusLog statuses(&window);
        JobTable::appendRows(tableOf(window), { source("a.avi"), source("b.avi"), source("c.avi") });
        window.show();
        convert(window);
        bool allDoneWhileOpen = false;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget(), 5000);
            QElapsedTimer clock;
            clock.start();
            while (statuses.forRow(2).value(1) != OK && clock.elapsed() < 10000)
                QTest::qWait(20);
            allDoneWhileOpen = statuses.forRow(2).value(1) == OK;
            QApplication::activeModalWidget()->close();
        });
        QFileDialog::getOpenFileNames(&window, "Select files");
        QVERIFY(allDoneWhileOpen);
        QVERIFY(waitForBatchEnd(window));
    }

    void editedSourcePathIsTheOneUsed()
    {
        Quorvel window;
        JobTable::appendRows(tableOf(window), { source("old.avi") });
        tableOf(window)->item(0, 0)->setText(source("new name.avi"));
        QCOMPARE(tableOf(window)->item(0, 2)->text(), QStringLiteral("new name.avi"));
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(inputOf(runsOf("mencoder").first()), source("new name.avi"));
        QVERIFY(QFile::exists(out("new name.avi")));
    }

    // The Setting dialog's choices reach the commands, the targets and the
    // TargetPath column from the next batch on, and outlive the window.
    void settingsShapeTheNextBatchAndAreRemembered()
    {
        const QString folder = QDir::current().filePath("elsewhere");
        QDir().mkpath(folder);
        Settings chosen;
        chosen.pipeline = Settings::Pipeline::OnePass;
        chosen.picture = Picture::Stretch;
        chosen.outputFolder = folder;
        {
            Quorvel window;
            JobTable::appendRows(tableOf(window), { source("a.mp4") });
            QCOMPARE(tableOf(window)->item(0, 1)->text(), QStringLiteral("/output"));
            window.applySettings(chosen);
            QCOMPARE(tableOf(window)->item(0, 1)->text(), folder);
            convert(window);
            QVERIFY(waitForBatchEnd(window));
            QCOMPARE(tableOf(window)->item(0, 3)->text(), OK);
        }
        QCOMPARE(runs().size(), 1); // one pass: ffmpeg alone
        const QStringList pass = runsOf("ffmpeg").first();
        QCOMPARE(after(pass, "-i"), source("a.mp4"));
        QCOMPARE(QFileInfo(pass.last()).path(), folder);
        QVERIFY(!pass.join(' ').contains("pad=")); // stretched: no bars
        QVERIFY(QFile::exists(folder + "/a.avi"));

        Quorvel restarted;
        QVERIFY(restarted.settings() == chosen);
    }

    // Two rows convert at once, each with its own status and bar; a Delete
    // stops its row alone, and Stop stops every running row.
    void severalRowsAtOnce()
    {
        if (maxRowsAtOnce() < 2)
            QSKIP("one core: one row at a time");
        qputenv("QUORVEL_FAKE_HANG_ON", "hang");
        Quorvel window;
        Settings settings;
        settings.rowsAtOnce = 2;
        window.applySettings(settings);
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table,
                             { source("hang-a.avi"), source("hang-b.avi"), source("c.avi"), source("hang-d.avi") });
        convert(window);
        QTRY_COMPARE(runsOf("mencoder").size(), 2);
        QTRY_VERIFY(table->item(0, 3) && table->item(1, 3));
        QCOMPARE(table->item(0, 3)->text(), CV);
        QCOMPARE(table->item(1, 3)->text(), CV);
        QVERIFY(table->item(0, 3)->data(JobTable::ProgressRole).isValid());
        QVERIFY(table->item(1, 3)->data(JobTable::ProgressRole).isValid());

        table->setCurrentCell(0, 0);
        window.deleteCurrentVideo(); // hang-a: stopped alone; c takes its worker, then hang-d
        QTRY_COMPARE(table->item(1, 3) ? table->item(1, 3)->text() : QString(), OK); // c, now row 1
        QCOMPARE(table->item(0, 3)->text(), CV); // hang-b runs on
        QTRY_COMPARE(table->item(2, 3) ? table->item(2, 3)->text() : QString(), CV); // hang-d
        QTRY_COMPARE(runsOf("mencoder").size(), 4); // the status comes just before the tool starts

        window.stopConvert(); // both running rows
        QVERIFY(waitForBatchEnd(window, 5000));
        QCOMPARE(table->item(0, 3)->text(), ST);
        QCOMPARE(table->item(2, 3)->text(), ST);
        QCOMPARE(QDir("output").entryList(QDir::Files), QStringList({ "c.avi" }));
        QCOMPARE(childProcesses(), 0);
    }

    // The output folder is made again when a batch starts; one that cannot
    // take results fails every row with the reason, and no tool runs.
    void outputFolderIsReadiedWhenABatchStarts()
    {
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("a.avi"), source("b.mp4") });
        QVERIFY(QDir("output").removeRecursively());
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(table->item(0, 3)->text(), OK);
        QVERIFY(QFile::exists(out("a.avi")));

        const QString blocked = QDir::current().filePath("blocked");
        writeFile(blocked, "a file where the folder should be");
        Settings settings;
        settings.outputFolder = blocked;
        window.applySettings(settings);
        const auto restore = qScopeGuard([&window] { window.applySettings(Settings()); });
        const int earlierRuns = runs().size();
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        for (int row = 0; row < 2; ++row) {
            QCOMPARE(table->item(row, 3)->text(), QStringLiteral("Failed"));
            QCOMPARE(table->item(row, 3)->toolTip(),
                     QStringLiteral("the output folder %1 is not a folder").arg(blocked));
        }
        QCOMPARE(runs().size(), earlierRuns);
    }

    // Pause holds the running rows' tools (stopped, state T) and starts no
    // row; the title and the bars say so. Resume lets every row end
    // Success. Stop, Delete and closing while paused leave no process.
    void pauseAndResume_data()
    {
        QTest::addColumn<int>("rowsAtOnce");
        QTest::addColumn<QString>("then");
        QTest::newRow("one row, resumed") << 1 << "resume";
        QTest::newRow("two rows, resumed") << 2 << "resume";
        QTest::newRow("two rows, stopped") << 2 << "stop";
        QTest::newRow("one row, deleted") << 1 << "delete";
        QTest::newRow("two rows, closed") << 2 << "close";
    }

    void pauseAndResume()
    {
        QFETCH(int, rowsAtOnce);
        QFETCH(QString, then);
        if (maxRowsAtOnce() < rowsAtOnce)
            QSKIP("one core: one row at a time");
        qputenv("QUORVEL_FAKE_MENCODER", "slow");
        qputenv("QUORVEL_FAKE_SECONDS", "2");
        // Gone at the end of the test whatever happens, and its tools with it.
        auto window = std::make_unique<Quorvel>();
        Settings settings;
        settings.rowsAtOnce = rowsAtOnce;
        window->applySettings(settings);
        const auto restore = qScopeGuard([] { Quorvel().applySettings(Settings()); });
        QTableWidget *table = tableOf(*window);
        JobTable::appendRows(table, { source("a.avi"), source("b.avi"), source("c.avi") });
        convert(*window);
        QTRY_COMPARE(childProcesses(), rowsAtOnce);
        auto *pause = window->findChild<QPushButton *>("pauseConvertBtn");
        QVERIFY(pause && !pause->isHidden());
        pause->click();
        QCOMPARE(pause->text(), QStringLiteral("Resume"));
        const auto states = [] {
            QString text;
            const QMap<qint64, char> tools = toolStates();
            for (auto tool = tools.cbegin(); tool != tools.cend(); ++tool)
                text += QStringLiteral("%1:%2 ").arg(tool.key()).arg(QChar(tool.value()));
            return text;
        };
        // Stopped: T, or D for a tool that was starting a child of its own
        // with vfork, and waits for it, stopped, to exec.
        const auto held = [] {
            const QMap<qint64, char> tools = toolStates();
            return !tools.isEmpty() && tools.keys('T').size() + tools.keys('D').size() == tools.size();
        };
        QTRY_VERIFY2(held(), qPrintable(states()));
        const int started = runsOf("mencoder").size();
        QTest::qWait(2500); // longer than a row takes: none ends, none starts
        QCOMPARE(runsOf("mencoder").size(), started);
        QVERIFY2(held(), qPrintable(states()));
        QVERIFY2(window->windowTitle().startsWith("Quorvel - paused - 0 of 3 - "), qPrintable(window->windowTitle()));
        QCOMPARE(table->item(0, 3)->toolTip(), QStringLiteral("Paused"));
        QVERIFY(table->item(0, 3)->data(JobTable::PausedRole).toBool());
        QCOMPARE(table->item(0, 3)->text(), CV); // the form's word stays

        if (then == "resume") {
            pause->click();
            QVERIFY(waitForBatchEnd(*window, 20000));
            for (int row = 0; row < 3; ++row)
                QCOMPARE(table->item(row, 3)->text(), OK);
        } else if (then == "stop") {
            window->stopConvert();
            QVERIFY(waitForBatchEnd(*window, 3000));
            QCOMPARE(table->item(0, 3)->text(), ST);
        } else if (then == "delete") {
            table->setCurrentCell(0, 0);
            window->deleteCurrentVideo(); // the batch goes on, still paused
            QTRY_VERIFY(toolStates().isEmpty());
            QVERIFY(window->isBatchRunning());
            pause->click();
            QVERIFY(waitForBatchEnd(*window, 20000));
            QCOMPARE(table->item(1, 3)->text(), OK);
        }
        QElapsedTimer clock;
        clock.start();
        window.reset();
        QVERIFY(clock.elapsed() < 2000);
        QTRY_COMPARE(childProcesses(), 0);
    }

    void closingTheWindowEndsTheBatchAndItsTool()
    {
        qputenv("QUORVEL_FAKE_FFMPEG", "hang");
        auto *window = new Quorvel;
        JobTable::appendRows(tableOf(*window), { source("long.mp4"), source("next.mp4") });
        window->show();
        convert(*window);
        QTRY_VERIFY(readPid(m_pidFile) > 0);
        const qint64 toolPid = readPid(m_pidFile);
        QVERIFY(processRunning(toolPid));

        QElapsedTimer clock;
        clock.start();
        delete window;
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(processGone(toolPid));
        QCOMPARE(runsOf("ffmpeg").size(), 1);
        QVERIFY(runsOf("mencoder").isEmpty());
        QVERIFY(QDir("output").entryList(QDir::Files).isEmpty());
        // Nothing is left that could still reach the destroyed window.
        QTest::qWait(100);
    }

    void closingWhileAnsweringNothingDeadlocks()
    {
        // Destroyed right after Convert, its batch not yet started or its
        // first reports still queued.
        for (int round = 0; round < 20; ++round) {
            auto *window = new Quorvel;
            JobTable::appendRows(tableOf(*window), { source("a.avi") });
            convert(*window);
            QElapsedTimer clock;
            clock.start();
            delete window;
            QVERIFY(clock.elapsed() < 2000);
        }
    }
};

QTEST_MAIN(BatchTest)
#include "tst_batch.moc"
