// SPDX-License-Identifier: GPL-3.0-or-later
// The batch against fake tools in the working directory's bin/: what each
// row reports, which commands run, and how the batch copes with faults,
// with a user who keeps working, and with the window closing under it.

#include "jobtable.h"
#include "quorvel.h"
#include "testsupport.h"
#include "toolcommands.h"
#include "windowsupport.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QMutex>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace TestSupport;
using namespace WindowSupport;

namespace {

const QString PP = QStringLiteral("Pre process");
const QString CV = QStringLiteral("Converting");
const QString OK = QStringLiteral("Success");
const QString NO = QStringLiteral("Failed");

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

QStringList convertArguments(const QString &scale, const QString &input, const QString &target)
{
    return QProcess::splitCommand(buildConvertCommand(scale, input, target)).mid(1);
}

} // namespace

class BatchTest : public QObject
{
    Q_OBJECT

    QString m_log;
    QString m_pidFile;

    QList<QStringList> runs() const { return readToolLog(m_log); }
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
    void init()
    {
        const FakeTools tools = installFakeTools();
        m_log = tools.log;
        m_pidFile = tools.pidFile;
    }

    void aviSourceIsTranscodedOnly()
    {
        Quorvel window;
        StatusLog statuses(&window);
        DebugCapture debug;
        JobTable::appendRows(tableOf(window), { "/videos/holiday.avi" });
        convert(window);
        QVERIFY(waitForBatchEnd(window));

        QCOMPARE(statuses.entries(), QStringList({ "0:" + CV, "0:" + OK }));
        QCOMPARE(tableOf(window)->item(0, 3)->text(), OK);
        QCOMPARE(runs().size(), 1);
        QCOMPARE(runsOf("mencoder"), { convertArguments("320:240", "/videos/holiday.avi", out("holiday.avi")) });
        QCOMPARE(debug.startingWith("convert command:"),
                 QStringList { "convert command: "
                               + buildConvertCommand("320:240", "/videos/holiday.avi", out("holiday.avi")) });
    }

    void outcomesFollowTheToolsAndTheirFiles_data()
    {
        QTest::addColumn<QString>("ffmpeg");
        QTest::addColumn<QString>("mencoder");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("reason");
        const QString target = "%out/next.avi";
        QTest::newRow("both succeed") << "ok"
                                      << "ok" << QStringList { PP, OK, CV, OK } << "";
        QTest::newRow("everything on the other channels") << "stdout"
                                                          << "stderr" << QStringList { PP, OK, CV, OK } << "";
        QTest::newRow("non-zero exits with good results") << "nonzero"
                                                          << "nonzero" << QStringList { PP, OK, CV, OK } << "";
        QTest::newRow("markers split across reads") << "split"
                                                    << "split" << QStringList { PP, OK, CV, OK } << "";
        QTest::newRow("pre-process fails: the transcode finds nothing")
            << "none"
            << "ok" << QStringList { PP, NO, CV, NO }
            << "ffmpeg: /videos/next.mkv: Invalid data found when processing input";
        QTest::newRow("transcode fails") << "ok"
                                         << "none" << QStringList { PP, OK, CV, NO }
                                         << "mencoder: %out/PreProcess.avi: Invalid data found when processing input";
        QTest::newRow("markers only inside echoed paths")
            << "echo"
            << "echo" << QStringList { PP, NO, CV, NO } << "ffmpeg: Error opening input file /videos/next.mkv";
        QTest::newRow("ffmpeg's summary missing") << "nosummary"
                                                  << "ok" << QStringList { PP, NO, CV, NO } << "ffmpeg: video:";
        QTest::newRow("mencoder's summary missing")
            << "ok"
            << "nosummary" << QStringList { PP, OK, CV, NO } << "mencoder: Flushing video frames.";
        QTest::newRow("ffmpeg wrote no frames") << "noframes"
                                                << "ok" << QStringList { PP, NO, CV, NO } << "ffmpeg wrote no frames";
        QTest::newRow("mencoder wrote no frames")
            << "ok"
            << "noframes" << QStringList { PP, OK, CV, NO } << "mencoder wrote no frames";
        QTest::newRow("mencoder wrote no sound")
            << "ok"
            << "nosound" << QStringList { PP, OK, CV, NO } << "mencoder wrote no sound";
        QTest::newRow("empty temporary file")
            << "empty"
            << "ok" << QStringList { PP, NO, CV, NO } << "%out/PreProcess.avi is missing or empty";
        QTest::newRow("empty target") << "ok"
                                      << "empty" << QStringList { PP, OK, CV, NO } << target + " is missing or empty";
        QTest::newRow("short target") << "ok"
                                      << "short" << QStringList { PP, OK, CV, NO }
                                      << target + " is smaller than the 5000 bytes mencoder reported";
        QTest::newRow("both crash") << "crash"
                                    << "crash" << QStringList { PP, NO, CV, NO } << "ffmpeg crashed (signal 11)";
        QTest::newRow("crash after a good report")
            << "ok"
            << "crashlate" << QStringList { PP, OK, CV, NO } << "mencoder crashed (signal 11)";
        QTest::newRow("ffmpeg missing") << "missing"
                                        << "ok" << QStringList { PP, NO, CV, NO }
                                        << "ffmpeg was not found: %bin/ffmpeg";
        QTest::newRow("mencoder missing")
            << "ok"
            << "missing" << QStringList { PP, OK, CV, NO } << "mencoder was not found: %bin/mencoder";
    }

    void outcomesFollowTheToolsAndTheirFiles()
    {
        QFETCH(QString, ffmpeg);
        QFETCH(QString, mencoder);
        QFETCH(QStringList, expected);
        QFETCH(QString, reason);
        if (ffmpeg == "missing")
            QFile::remove("bin/ffmpeg");
        if (mencoder == "missing")
            QFile::remove("bin/mencoder");
        qputenv("QUORVEL_FAKE_FFMPEG", ffmpeg.toUtf8());
        qputenv("QUORVEL_FAKE_MENCODER", mencoder.toUtf8());
        reason.replace("%out", QDir::current().filePath("output"));
        reason.replace("%bin", QDir::current().filePath("bin"));

        Quorvel window;
        StatusLog statuses(&window);
        DebugCapture debug;
        JobTable::appendRows(tableOf(window), { "/videos/trip.mp4", "/videos/next.mkv" });
        convert(window);
        QVERIFY(waitForBatchEnd(window));

        // The batch goes on after a failure; every row reports the same way.
        QCOMPARE(statuses.forRow(0), expected);
        QCOMPARE(statuses.forRow(1), expected);
        QCOMPARE(tableOf(window)->item(1, 3)->text(), expected.last());
        // The reason shows in the row's tooltip and on the terminal.
        if (reason.isEmpty()) {
            QVERIFY(tableOf(window)->item(1, 3)->toolTip().startsWith("Done in "));
            QVERIFY(debug.warnings().isEmpty());
        } else {
            QCOMPARE(tableOf(window)->item(1, 3)->toolTip(), reason);
            QCOMPARE(debug.warnings().last(), "Failed: /videos/next.mkv: " + reason);
        }

        const QString temp = out("PreProcess.avi");
        if (ffmpeg != "missing")
            QCOMPARE(runsOf("ffmpeg").first(), QStringList({ "-y", "-i", "/videos/trip.mp4", temp }));
        // The transcode reads the temporary file whatever the pre-process said.
        if (mencoder != "missing")
            QCOMPARE(runsOf("mencoder").last(), convertArguments("320:240", temp, out("next.avi")));
        QVERIFY(!QFile::exists(temp));
        // A failed row leaves no file under its name.
        QCOMPARE(QFile::exists(out("next.avi")), expected.last() == OK);
    }

    void staleTemporaryFileNeverBecomesTheResult()
    {
        writeFile(out("PreProcess.avi"), QByteArray(10000, 'v')); // another video, left by a crash
        qputenv("QUORVEL_FAKE_FFMPEG", "none");

        Quorvel window;
        StatusLog statuses(&window);
        JobTable::appendRows(tableOf(window), { "/videos/new.mp4" });
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(statuses.forRow(0), QStringList({ PP, NO, CV, NO }));
        QVERIFY(!QFile::exists(out("new.avi")));
        QVERIFY(!QFile::exists(out("PreProcess.avi")));
    }

    void temporaryFileThatIsASourceInTheTableIsKept()
    {
        QFile original(out("PreProcess.avi"));
        writeFile(out("PreProcess.avi"), "the user's own video");

        Quorvel window;
        StatusLog statuses(&window);
        JobTable::appendRows(tableOf(window), { "/videos/clip.mp4", out("PreProcess.avi") });
        convert(window);
        QVERIFY(waitForBatchEnd(window));

        QCOMPARE(statuses.forRow(0), QStringList({ PP, NO, CV, NO }));
        QCOMPARE(tableOf(window)->item(0, 3)->toolTip(),
                 "the temporary file " + out("PreProcess.avi") + " is a source in the table");
        QVERIFY(runsOf("ffmpeg").isEmpty());
        // Row 1 is that very file: its transcode would write over it.
        QCOMPARE(statuses.forRow(1), QStringList({ CV, NO }));
        QCOMPARE(tableOf(window)->item(1, 3)->toolTip(), QStringLiteral("the target would overwrite the source"));
        QVERIFY(runsOf("mencoder").isEmpty());
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), QByteArray("the user's own video"));
    }

    void failingRunKeepsAGoodEarlierFile_data()
    {
        QTest::addColumn<QString>("mencoder");
        QTest::addColumn<bool>("kept");
        QTest::newRow("tool never touched it") << "none" << true;
        QTest::newRow("tool cut it short") << "short" << false;
        QTest::newRow("tool emptied it") << "empty" << false;
    }

    void failingRunKeepsAGoodEarlierFile()
    {
        QFETCH(QString, mencoder);
        QFETCH(bool, kept);
        writeFile(out("holiday.avi"), QByteArray(20000, 'g'));
        qputenv("QUORVEL_FAKE_MENCODER", mencoder.toUtf8());

        Quorvel window;
        JobTable::appendRows(tableOf(window), { "/videos/holiday.avi" });
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(tableOf(window)->item(0, 3)->text(), NO);
        QCOMPARE(QFile::exists(out("holiday.avi")), kept);
        if (kept)
            QCOMPARE(QFileInfo(out("holiday.avi")).size(), 20000);
    }

    void aviInAnyCaseIsNotPreProcessed_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("preProcessed");
        QTest::newRow("avi") << "/v/a.avi" << false;
        QTest::newRow("AVI") << "/v/b.AVI" << false;
        QTest::newRow("Avi") << "/v/c.Avi" << false;
        QTest::newRow("no suffix") << "/v/clip" << true;
        QTest::newRow("avi inside the name") << "/v/d.avi.mp4" << true;
    }

    void aviInAnyCaseIsNotPreProcessed()
    {
        QFETCH(QString, source);
        QFETCH(bool, preProcessed);
        Quorvel window;
        JobTable::appendRows(tableOf(window), { source });
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(runsOf("ffmpeg").size(), preProcessed ? 1 : 0);
        QCOMPARE(runsOf("mencoder").size(), 1);
        QCOMPARE(runsOf("mencoder").first().at(16), preProcessed ? out("PreProcess.avi") : source);
        QCOMPARE(runsOf("mencoder").first().at(18), out(baseNameOf(source) + ".avi"));
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
        JobTable::appendRows(tableOf(window), { "/v/one.avi", "/v/two.avi" });
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
        JobTable::appendRows(tableOf(window), { "/v/first.avi" });
        convert(window);
        QTRY_COMPARE(runs().size(), 1);
        JobTable::appendRows(tableOf(window), { "/v/later.avi" });
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
        JobTable::appendRows(table, { "/v/r0.avi", "/v/r1.avi", "/v/r2.avi" });
        convert(window);
        QTRY_COMPARE(runs().size(), 2); // r1 converts
        table->setCurrentCell(0, 0);
        window.deleteCurrentVideo(); // r0, done already
        QVERIFY(waitForBatchEnd(window));

        QCOMPARE(runsOf("mencoder").size(), 3);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("/v/r1.avi"));
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
        JobTable::appendRows(table, { "/v/r0.avi", "/v/r1.avi", "/v/r2.avi" });
        convert(window);
        QTRY_VERIFY(readPid(m_pidFile) > 0);
        const qint64 toolPid = readPid(m_pidFile);
        QCOMPARE(table->currentRow(), 1);
        QVERIFY(QFile::exists(out("r1.avi"))); // the tool's partial output

        QElapsedTimer clock;
        clock.start();
        window.deleteCurrentVideo();
        QTRY_VERIFY_WITH_TIMEOUT(processGone(toolPid), 1000);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(waitForBatchEnd(window));

        QVERIFY(!QFile::exists(out("r1.avi")));
        QCOMPARE(runsOf("mencoder").size(), 3);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(1, 0)->text(), QStringLiteral("/v/r2.avi"));
        QCOMPARE(table->item(1, 3)->text(), OK);
        QCOMPARE(statuses.entries(), QStringList({ "0:" + CV, "0:" + OK, "1:" + CV, "1:" + CV, "1:" + OK }));
    }

    void deleteARowNotReachedYet()
    {
        qputenv("QUORVEL_FAKE_DELAY", "0.5");
        Quorvel window;
        StatusLog statuses(&window);
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { "/v/r0.avi", "/v/r1.avi", "/v/r2.avi" });
        convert(window);
        QTRY_COMPARE(runs().size(), 1);
        table->setCurrentCell(1, 0);
        window.deleteCurrentVideo(); // r1: skipped, no tool, no status
        QVERIFY(waitForBatchEnd(window));

        const QList<QStringList> transcodes = runsOf("mencoder");
        QCOMPARE(transcodes.size(), 2);
        QCOMPARE(transcodes.at(0).at(16), QStringLiteral("/v/r0.avi"));
        QCOMPARE(transcodes.at(1).at(16), QStringLiteral("/v/r2.avi"));
        QCOMPARE(statuses.entries(), QStringList({ "0:" + CV, "0:" + OK, "1:" + CV, "1:" + OK }));
        QCOMPARE(table->item(1, 0)->text(), QStringLiteral("/v/r2.avi"));
    }

    void resolutionIsReadForEveryRow()
    {
        qputenv("QUORVEL_FAKE_DELAY", "1"); // time to act while a tool runs, even on a loaded machine
        Quorvel window;
        JobTable::appendRows(tableOf(window), { "/v/a.avi", "/v/b.mp4" });
        auto *resolution = window.findChild<QComboBox *>("resolutionCB");
        convert(window);
        QTRY_COMPARE(runs().size(), 1);
        resolution->setCurrentText("160x128");
        // Changed while row 1's pre-process runs: its transcode uses the new one.
        QTRY_COMPARE(runsOf("ffmpeg").size(), 1);
        resolution->setCurrentText("220x176");
        QVERIFY(waitForBatchEnd(window));

        const QList<QStringList> transcodes = runsOf("mencoder");
        QCOMPARE(transcodes.size(), 2);
        QCOMPARE(transcodes.at(0).at(7), QStringLiteral("scale=320:240"));
        QCOMPARE(transcodes.at(1).at(7), QStringLiteral("scale=220:176"));
    }

    void editedSourcePathIsTheOneUsed()
    {
        Quorvel window;
        JobTable::appendRows(tableOf(window), { "/v/old.avi" });
        tableOf(window)->item(0, 0)->setText("/v/new name.avi");
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(runsOf("mencoder").first().at(16), QStringLiteral("/v/new name.avi"));
        QCOMPARE(runsOf("mencoder").first().at(18), out("new name.avi"));
    }

    void temporaryFileIsRemovedAfterEveryPreProcessedRow()
    {
        Quorvel window;
        JobTable::appendRows(tableOf(window), { "/v/a.mp4", "/v/b.avi", "/v/c.mkv" });
        StatusLog statuses(&window);
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(runsOf("ffmpeg").size(), 2);
        QVERIFY(!QFile::exists(out("PreProcess.avi")));
        QVERIFY(QFile::exists(out("a.avi")));
        QVERIFY(QFile::exists(out("c.avi")));
        QCOMPARE(statuses.forRow(2), QStringList({ PP, OK, CV, OK }));
    }

    void sameBaseNameSharesTheTarget()
    {
        Quorvel window;
        JobTable::appendRows(tableOf(window), { "/one/clip.avi", "/two/clip.final.mp4" });
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        const QList<QStringList> transcodes = runsOf("mencoder");
        QCOMPARE(transcodes.size(), 2);
        QCOMPARE(transcodes.at(0).at(18), out("clip.avi"));
        QCOMPARE(transcodes.at(1).at(18), out("clip.avi"));
    }

    void toolNeverWritesOverItsInput_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("ffmpegRuns");
        QTest::newRow("source is the target") << "output/clip.avi" << QStringList { CV, NO } << 0;
        QTest::newRow("source reached through ..") << "output/../output/clip.avi" << QStringList { CV, NO } << 0;
        QTest::newRow("base name PreProcess") << "elsewhere/PreProcess.mp4" << QStringList { PP, OK, CV, NO } << 1;
    }

    void toolNeverWritesOverItsInput()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, expected);
        QFETCH(int, ffmpegRuns);
        const QString path = QDir::current().filePath(source);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile original(path);
        writeFile(path, "the user's own video");

        Quorvel window;
        StatusLog statuses(&window);
        JobTable::appendRows(tableOf(window), { path });
        convert(window);
        QVERIFY(waitForBatchEnd(window));

        QCOMPARE(statuses.forRow(0), expected);
        QCOMPARE(runsOf("ffmpeg").size(), ffmpegRuns);
        QVERIFY(runsOf("mencoder").isEmpty());
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), QByteArray("the user's own video"));
        QVERIFY(!QFile::exists(out("PreProcess.avi")));
    }

    void sourceThatIsTheTemporaryFileIsKept()
    {
        // A source reached through a link whose suffix is not avi, pointing
        // at the temporary file's path: the pre-process would write over it
        // and the clean-up would delete it.
        QFile original(out("PreProcess.avi"));
        writeFile(out("PreProcess.avi"), "the user's own video");
        const QString link = QDir::current().filePath("link.mp4");
        QFile::remove(link);
        QVERIFY(QFile::link(out("PreProcess.avi"), link));

        Quorvel window;
        StatusLog statuses(&window);
        JobTable::appendRows(tableOf(window), { link });
        convert(window);
        QVERIFY(waitForBatchEnd(window));

        QCOMPARE(statuses.forRow(0), QStringList({ PP, NO, CV, NO }));
        QVERIFY(runsOf("ffmpeg").isEmpty());
        // Nor is it handed to the transcode in place of the source's own content.
        QVERIFY(runsOf("mencoder").isEmpty());
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), QByteArray("the user's own video"));
    }

    void unwritableOutputFolderFailsEveryStep()
    {
        QDir("output").removeRecursively();
        writeFile("output", "a file where the folder should be");

        Quorvel window;
        StatusLog statuses(&window);
        JobTable::appendRows(tableOf(window), { "/v/a.mp4", "/v/b.avi" });
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(statuses.forRow(0), QStringList({ PP, NO, CV, NO }));
        QCOMPARE(statuses.forRow(1), QStringList({ CV, NO }));
        QVERIFY(QFileInfo("output").isFile());
    }

    void closingTheWindowEndsTheBatchAndItsTool()
    {
        qputenv("QUORVEL_FAKE_FFMPEG", "hang");
        auto *window = new Quorvel;
        JobTable::appendRows(tableOf(*window), { "/v/long.mp4", "/v/next.mp4" });
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
        QVERIFY(!QFile::exists(out("PreProcess.avi")));
        // Nothing is left that could still reach the destroyed window.
        QTest::qWait(100);
    }

    void closingWhileAnsweringNothingDeadlocks()
    {
        // Destroyed right after Convert: the batch's first request to the GUI
        // thread is still queued and must be given up, not waited for.
        for (int round = 0; round < 20; ++round) {
            auto *window = new Quorvel;
            JobTable::appendRows(tableOf(*window), { "/v/a.avi" });
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
