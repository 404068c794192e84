// SPDX-License-Identifier: GPL-3.0-or-later
// One tool run and the stop that ends it: how a run ended, output read to
// the last byte, and a stop that wakes every wait at once and leaves no
// process behind.

#include "resultcheck.h"
#include "stop.h"
#include "testsupport.h"
#include "toolrun.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <future>

#include <csignal>
#include <pthread.h>

using namespace TestSupport;
using Tool = ToolOutput::Tool;

Q_DECLARE_METATYPE(ToolCommand)

namespace {

ToolCommand shell(const QString &script)
{
    return ToolCommand("/bin/sh") << "-c" << script;
}

} // namespace

class ToolRunTest : public QObject
{
    Q_OBJECT

private slots:
    void howTheRunEnded_data()
    {
        QTest::addColumn<ToolCommand>("command");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("code"); // the signal of a crash, else the exit status
        QTest::addColumn<bool>("marker");
        const int finished = int(ToolRun::End::Finished);
        QTest::newRow("stdout") << shell("echo 'Flushing video frames'") << finished << 0 << true;
        QTest::newRow("stderr") << shell("echo 'Flushing video frames' >&2") << finished << 0 << true;
        QTest::newRow("exit 3 is still finished")
            << shell("echo 'Flushing video frames'; exit 3") << finished << 3 << true;
        QTest::newRow("written in pieces")
            << shell("printf 'Flushing vi'; sleep 0.2; printf 'deo frames'") << finished << 0 << true;
        QTest::newRow("last words just before exit")
            << shell("sleep 0.2; printf '\\nFlushing video frames.'; exec true") << finished << 0 << true;
        QTest::newRow("crash after the marker")
            << shell("echo 'Flushing video frames'; kill -SEGV $$") << int(ToolRun::End::Crashed) << 11 << true;
        QTest::newRow("killed") << shell("kill -KILL $$") << int(ToolRun::End::Crashed) << 9 << false;
        QTest::newRow("missing program") << (ToolCommand("/nonexistent/bin/mencoder") << "-o"
                                                                                      << "x")
                                         << int(ToolRun::End::NotFound) << 0 << false;
        QTest::newRow("not executable") << ToolCommand(QStringLiteral(QUORVEL_FIXTURES_DIR "/ffmpeg-invalid.stderr"))
                                        << int(ToolRun::End::NotStarted) << 0 << false;
        QTest::newRow("long talk before the marker")
            << shell("i=0; while [ $i -lt 20000 ]; do echo 'Pos: 1.0s 25f (10%) progress line'; "
                     "echo 'progress on stderr' >&2; i=$((i+1)); done; echo 'Flushing video frames'")
            << finished << 0 << true;
    }

    void howTheRunEnded()
    {
        QFETCH(ToolCommand, command);
        QFETCH(int, end);
        QFETCH(int, code);
        QFETCH(bool, marker);
        const Stop noStop;
        const ToolRun run = runTool(Tool::Mencoder, command, noStop);
        QCOMPARE(int(run.end), end);
        QCOMPARE(run.end == ToolRun::End::Crashed ? run.signal : run.exitCode, code);
        QCOMPARE(run.output.markerSeen(), marker);
    }

    // A tool that cannot be started says why, in the system's words.
    void startFailureSaysWhy_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why");
        QTest::newRow("not executable") << "plain" << "Permission denied";
        QTest::newRow("a folder") << "folder" << "Is a directory";
        QTest::newRow("not a program") << "junk" << "Exec format error";
    }

    void startFailureSaysWhy()
    {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        QTemporaryDir temp;
        const QString tool = temp.filePath("mencoder");
        if (kind == "folder") {
            QVERIFY(QDir().mkdir(tool));
        } else {
            writeFile(tool, QByteArray("\x7f\x01 not a program\n"));
            if (kind == "junk")
                QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        const ToolRun run = runTool(Tool::Mencoder, ToolCommand(tool), Stop());
        QCOMPARE(int(run.end), int(ToolRun::End::NotStarted));
        QCOMPARE(runFailure(run), "mencoder could not be started: " + tool + ": " + why);
    }

    void outputIsSeenAsItArrives()
    {
        const Stop noStop;
        QList<double> seen;
        runTool(Tool::Mencoder, shell("for p in 10 20 30; do printf 'Pos: 1.0s 2f ('$p'%%)\\r'; sleep 0.1; done"),
                noStop, [&](const ToolOutput &output) { seen << output.progress(); });
        QVERIFY(seen.contains(0.1));
        QVERIFY(seen.contains(0.2));
        QCOMPARE(seen.last(), 0.3);
    }

    void stopEndsAndReapsTheTool_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("obeys terminate") << "exec sleep 600";
        QTest::newRow("ignores terminate") << "trap '' TERM; while :; do sleep 0.05; done";
    }

    void stopEndsAndReapsTheTool()
    {
        QFETCH(QString, script);
        QTemporaryDir temp;
        const QString pidFile = temp.filePath("pid");
        Stop stop;
        std::future<ToolRun> run = std::async(std::launch::async, [&] {
            return runTool(Tool::Ffmpeg, shell("echo $$ > '" + pidFile + "'; " + script), stop);
        });
        QTRY_VERIFY(readPid(pidFile) > 0);
        const qint64 pid = readPid(pidFile);
        QVERIFY(processRunning(pid));

        QElapsedTimer clock;
        clock.start();
        stop.request();
        QCOMPARE(int(run.get().end), int(ToolRun::End::Stopped));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(processGone(pid));
    }

    // A tool's own child ends with it, whether the tool ends by itself or is
    // stopped, and holds nothing up while it still has the tool's pipes.
    void whatTheToolStartedGoesWithIt_data()
    {
        QTest::addColumn<bool>("stopped");
        QTest::newRow("tool ends by itself") << false;
        QTest::newRow("tool stopped") << true;
    }

    void whatTheToolStartedGoesWithIt()
    {
        QFETCH(bool, stopped);
        QTemporaryDir temp;
        const QString childFile = temp.filePath("child");
        Stop stop;
        const QString then = stopped ? "wait" : "sleep 0.3; echo 'Flushing video frames'";
        std::future<ToolRun> run = std::async(std::launch::async, [&] {
            return runTool(Tool::Mencoder, shell("sleep 600 & echo $! > '" + childFile + "'; " + then), stop);
        });
        QTRY_VERIFY(readPid(childFile) > 0);
        const qint64 child = readPid(childFile);
        if (stopped)
            stop.request();
        QElapsedTimer clock;
        clock.start();
        const ToolRun ended = run.get();
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(int(ended.end), int(stopped ? ToolRun::End::Stopped : ToolRun::End::Finished));
        QCOMPARE(ended.output.markerSeen(), !stopped);
        QTRY_VERIFY(!processRunning(child));
    }

    // A program that blocks its stop signals (quorvel-batch takes them from a
    // signalfd) does not hand that mask on: the tool's own terminate ends it.
    void theToolStartsWithEverySignalOpen()
    {
        const Stop noStop;
        const ToolRun run = std::async(std::launch::async, [&] {
                                sigset_t stopSignals;
                                sigemptyset(&stopSignals);
                                sigaddset(&stopSignals, SIGTERM);
                                pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
                                return runTool(Tool::Mencoder, shell("kill -TERM $$; sleep 1; echo survived"), noStop);
                            }).get();
        QCOMPARE(int(run.end), int(ToolRun::End::Crashed));
        QCOMPARE(run.signal, SIGTERM);
    }

    // 50 MB on one channel while the other stays quiet, then a last word on
    // the quiet one: nothing blocks, nothing is lost.
    void aFloodOnOneChannelDoesNotBlock()
    {
        const Stop noStop;
        qint64 reads = 0;
        const ToolRun run = runTool(
            Tool::Mencoder,
            shell("yes 'Pos: 1.0s 25f (10%) a progress line of the flood' | head -c 52428800; "
                  "echo 'Flushing video frames' >&2"),
            noStop, [&](const ToolOutput &) { ++reads; });
        QCOMPARE(int(run.end), int(ToolRun::End::Finished));
        QVERIFY(run.output.markerSeen());
        QVERIFY(reads > 1); // read as it came, not at the end
    }

    void stopRequestedBeforeStartsNothing()
    {
        QTemporaryDir temp;
        Stop stop;
        stop.request();
        const ToolRun run = runTool(Tool::Ffmpeg, shell("touch '" + temp.filePath("ran") + "'"), stop);
        QCOMPARE(int(run.end), int(ToolRun::End::Stopped));
        QTest::qWait(100);
        QVERIFY(!QFile::exists(temp.filePath("ran")));
    }

    // Every kind of wait ends at the moment of the request, from another thread.
    void oneRequestWakesEveryWait()
    {
        Stop batch;
        Stop row(batch);
        std::atomic_bool watched { false };
        const Stop::Watch watch(row, [&] { watched = true; });
        std::future<bool> sleeper = std::async(std::launch::async,
                                               [&] { return row.sleepFor(std::chrono::seconds(30)); });
        std::future<bool> waiter = std::async(std::launch::async,
                                              [&] { return batch.waitUntil([] { return false; }); });
        QTest::qWait(50);
        QElapsedTimer clock;
        clock.start();
        batch.request();
        QCOMPARE(sleeper.get(), false);
        QCOMPARE(waiter.get(), false);
        QVERIFY(clock.elapsed() < 500);
        QVERIFY(watched);
        QVERIFY(row.isRequested());

        // A row's stop leaves the batch alone; a reset does not undo the batch's.
        row.reset();
        QVERIFY(row.isRequested());
        Stop batch2;
        Stop row2(batch2);
        row2.request();
        QVERIFY(!batch2.isRequested());
        row2.reset();
        QVERIFY(!row2.isRequested());
        QVERIFY(row2.sleepFor(std::chrono::milliseconds(20)));
    }

    void waitEndsWhenReady()
    {
        Stop stop;
        std::atomic_bool ready { false };
        std::future<bool> waiter = std::async(std::launch::async,
                                              [&] { return stop.waitUntil([&] { return bool(ready); }); });
        QTest::qWait(20);
        ready = true;
        stop.wake();
        QCOMPARE(waiter.get(), true);
        QVERIFY(!stop.isRequested());
    }
};

QTEST_GUILESS_MAIN(ToolRunTest)
#include "tst_toolrun.moc"
