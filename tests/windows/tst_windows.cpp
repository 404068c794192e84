// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows floor under wine: starting a tool and reading both channels,
// how a run ends, Stop and Pause of a tool's whole tree, putting a result in place,
// and quorvel-batch converting with a stand-in tool.

#include "batchplan.h"
#include "files.h"
#include "names.h"
#include "pause.h"
#include "settings.h"
#include "standinsupport.h"
#include "stop.h"
#include "stopsignals.h"
#include "toolrun.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <future>

#include <windows.h>

using namespace StandIn;

// quorvel-batch's console handler (stopsignals_win.cpp).
BOOL WINAPI quorvelConsoleEvent(DWORD event);

namespace {

const QString standin = QStringLiteral(QUORVEL_STANDIN);

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A working folder named `name` in `temp`, with the stand-in as both tools
// in bin\ and a source clip.mp4.
QString workFolder(const QTemporaryDir &temp, const QString &name)
{
    const QString work = temp.filePath(name);
    QDir().mkpath(work + "/bin");
    for (const char *tool : { "ffmpeg.exe", "mencoder.exe" })
        QFile::copy(standin, work + "/bin/" + tool);
    QFile source(work + "/clip.mp4");
    if (source.open(QIODevice::WriteOnly))
        source.write(QByteArray("\x00\x00\x00\x18" "ftypmp42", 12) + QByteArray(500, '\x01'));
    return work;
}

BOOL WINAPI ignoreConsoleEvent(DWORD)
{
    return TRUE;
}

} // namespace

class WindowsTest : public QObject
{
    Q_OBJECT

private slots:
    void howTheRunEnded_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("program"); // empty: the stand-in
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("finished") << "ok" << QString() << int(ToolRun::End::Finished) << 0;
        QTest::newRow("exit status") << "exit3" << QString() << int(ToolRun::End::Finished) << 3;
        QTest::newRow("not found") << "ok" << "C:/nowhere/ffmpeg.exe" << int(ToolRun::End::NotFound) << 0;
        QTest::newRow("not a program") << "ok" << "text" << int(ToolRun::End::NotStarted) << 0;
    }

    void howTheRunEnded()
    {
        QFETCH(QString, mode);
        QFETCH(QString, program);
        QFETCH(int, end);
        QFETCH(int, exitCode);
        QTemporaryDir temp;
        if (program == "text") {
            program = temp.filePath("ffmpeg.exe");
            QFile text(program);
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write("just some words\n");
        }
        qputenv("QUORVEL_STANDIN", mode.toUtf8());
        const ToolRun run = runTool(ToolOutput::Tool::Ffmpeg,
                                    ToolCommand(program.isEmpty() ? standin : program) << temp.filePath("out.avi"), Stop());
        QCOMPARE(int(run.end), end);
        QCOMPARE(run.exitCode, exitCode);
        if (end == int(ToolRun::End::NotStarted))
            QVERIFY(!run.startError.isEmpty());
        if (mode == "ok" && end == int(ToolRun::End::Finished))
            QVERIFY(run.output.summarySeen());
    }

    // A megabyte on each channel, written in turns: neither pipe fills up,
    // and every byte arrives.
    void bothChannelsAtOnce()
    {
        qputenv("QUORVEL_STANDIN", "both");
        qint64 bytes[2] = { 0, 0 };
        ToolProcess process;
        const ToolProcess::End end = process.run(standin, {}, Stop(), [&](ToolProcess::Channel channel, const QByteArray &chunk) {
            bytes[channel == ToolProcess::Channel::Output ? 0 : 1] += chunk.size();
        });
        QCOMPARE(int(end), int(ToolProcess::End::Finished));
        // Each line ends in "\r\n" on Windows's C runtime.
        QCOMPARE(bytes[0], qint64(1024 * 1025));
        QCOMPARE(bytes[1], qint64(1024 * 1025));
    }

    // Stop ends the tool and the child it started.
    void stopEndsTheWholeTree()
    {
        QTemporaryDir pids;
        qputenv("QUORVEL_STANDIN", "hang");
        qputenv("QUORVEL_STANDIN_PIDS", QDir::toNativeSeparators(pids.path()).toUtf8());
        Stop stop;
        std::future<ToolProcess::End> run = std::async(std::launch::async, [&] {
            ToolProcess process;
            return process.run(standin, {}, stop, {});
        });
        QTRY_COMPARE_WITH_TIMEOUT(pidsIn(pids.path()).size(), 2, 10000);
        for (const qint64 pid : pidsIn(pids.path()))
            QVERIFY(processAlive(pid));
        stop.request();
        QCOMPARE(int(run.get()), int(ToolProcess::End::Stopped));
        QTRY_VERIFY_WITH_TIMEOUT(allEnded(pids.path()), 5000);
    }

    // Pause holds the tool: it writes nothing until it is resumed, then goes
    // on; also when it is held from its start. Ten rounds, since a hold that
    // misses a thread shows only now and then.
    void pauseHoldsTheTool()
    {
        qputenv("QUORVEL_STANDIN", "count");
        Stop stop;
        Pause pause;
        pause.pause();
        std::atomic<int> lines { 0 };
        std::future<ToolProcess::End> run = std::async(std::launch::async, [&] {
            ToolProcess process;
            return process.run(standin, {}, stop, [&](ToolProcess::Channel, const QByteArray &chunk) {
                lines += chunk.count('\n');
            }, &pause);
        });
        QTest::qWait(1000);
        QCOMPARE(int(lines), 0);
        pause.resume();
        QTRY_VERIFY_WITH_TIMEOUT(lines > 2, 10000);
        for (int round = 0; round < 10; ++round) {
            pause.pause();
            QTest::qWait(100);
            const int held = lines;
            QTest::qWait(300);
            QVERIFY2(lines - held <= 1, qPrintable(QString("round %1").arg(round))); // a line under way may arrive
            pause.resume();
            QTRY_VERIFY2_WITH_TIMEOUT(lines > held + 3, qPrintable(QString("round %1").arg(round)), 5000);
        }
        stop.request();
        QCOMPARE(int(run.get()), int(ToolProcess::End::Stopped));
    }

    // The files a Quorvel that ended left beside its targets go; this
    // process's own, a running one's and another machine's stay.
    void leftoversOfEndedRuns()
    {
        QTemporaryDir temp;
        QProcess ended;
        qputenv("QUORVEL_STANDIN", "exit3");
        ended.start(standin, QStringList());
        QVERIFY(ended.waitForStarted(30000));
        const qint64 endedId = ended.processId(); // Qt forgets it once the process has ended
        QVERIFY(ended.waitForFinished(30000));
        QProcess running;
        qputenv("QUORVEL_STANDIN", "count");
        running.start(standin, QStringList());
        QVERIFY(running.waitForStarted(30000));
        const QString host = processTag().section('-', 0, -2);
        const QString gone = QStringLiteral(".quorvel-%1-%2-1.clip.avi.part").arg(host).arg(endedId);
        const QStringList kept {
            QStringLiteral(".quorvel-%1-2.clip.avi.part").arg(processTag()),
            QStringLiteral(".quorvel-%1-%2-1.tmp.avi").arg(host).arg(running.processId()),
            QStringLiteral(".quorvel-elsewhere-%1-1.tmp.avi").arg(endedId),
        };
        for (const QString &name : kept + QStringList { gone }) {
            QFile file(temp.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(removeLeftovers(temp.path()), 1);
        QStringList left = QDir(temp.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        QStringList expected = kept;
        left.sort();
        expected.sort();
        QCOMPARE(left, expected);
        running.kill();
        running.waitForFinished();
    }

    // A result replaces the earlier one whole.
    void resultPutInPlace()
    {
        QTemporaryDir temp;
        const QString target = temp.filePath("clip é.avi");
        const QString working = temp.filePath(".working.part");
        for (const auto &[path, bytes] : { std::pair<QString, QByteArray> { target, "earlier" }, { working, "new result" } }) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        QCOMPARE(putInPlace(working, target), QString());
        QFile result(target);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll(), QByteArray("new result"));
        QVERIFY(!QFile::exists(working));
        QVERIFY(!putInPlace(temp.filePath("missing.part"), target).isEmpty());
        result.close();

        // A target a player holds open: the move fails with the system's
        // reason, and the earlier result stays as it was.
        QFile next(working);
        QVERIFY(next.open(QIODevice::WriteOnly));
        next.write("newer result");
        next.close();
        HANDLE player = CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(target).utf16()),
                                    GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        QVERIFY(player != INVALID_HANDLE_VALUE);
        QVERIFY(!putInPlace(working, target).isEmpty());
        CloseHandle(player);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll(), QByteArray("new result"));
    }

    // quorvel-batch.exe with stand-in tools in a folder whose path has a
    // blank and a non-ASCII letter: both pipelines, and tools that fail.
    void batchWithStandIns_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("two steps") << "ok" << QStringList() << 0;
        QTest::newRow("one pass") << "ok" << QStringList { "--direct" } << 0;
        QTest::newRow("partial output") << "partial" << QStringList { "--direct" } << 1;
        QTest::newRow("crash") << "crash" << QStringList() << 1;
    }

    void batchWithStandIns()
    {
        QFETCH(QString, mode);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QTemporaryDir temp;
        const QString work = workFolder(temp, "Vidéos x");
        qputenv("QUORVEL_STANDIN", mode.toUtf8());
        QProcess batch;
        batch.setWorkingDirectory(work);
        batch.start(QStringLiteral(QUORVEL_BATCH), options + QStringList { "clip.mp4" });
        QVERIFY(batch.waitForFinished(60000));
        QCOMPARE(batch.exitCode(), exitCode);
        const QByteArray line = batch.readAllStandardOutput();
        QVERIFY2(line.startsWith(exitCode == 0 ? "Success\t" : "Failed\t"), line.constData());
        // A failed row leaves nothing: no partial result, no working file.
        QCOMPARE(QDir(work + "/output").entryList(QDir::Files | QDir::Hidden),
                 exitCode == 0 ? QStringList { "clip.avi" } : QStringList());
    }

    // With no bin\ffmpeg.exe under the working folder, nor beside the
    // program, the window runs the one on PATH; with none anywhere, the
    // specified one, which the row's reason then names.
    void windowFindsToolsOnPath()
    {
        QVERIFY(!QFile::exists(ffmpegPath));
        QTemporaryDir temp;
        QVERIFY(QFile::copy(standin, temp.filePath("ffmpeg.exe")));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QDir::toNativeSeparators(temp.path()).toUtf8() + ";" + path);
        const BatchPlan plan = batchPlanFor(Settings(), "320:240", 1);
        qputenv("PATH", path);
        QCOMPARE(QFileInfo(plan.settings.ffmpeg), QFileInfo(temp.filePath("ffmpeg.exe")));
        QCOMPARE(plan.settings.mencoder, mencoderPath);
    }

    // The dry run prints what cmd.exe runs: read back by cmd and the C
    // runtime, each line gives the tool the very arguments quorvel-batch
    // would, for a name with blanks, brackets and &. (Not %: wine's cmd
    // keeps the caret of ^%, which Windows's removes.)
    void dryRunReadsBackInCmd()
    {
        QTemporaryDir temp;
        const QString work = workFolder(temp, "Vidéos x");
        const QString name = "a&b (1) c.mp4";
        QVERIFY(QFile::rename(work + "/clip.mp4", work + "/" + name));
        QProcess batch;
        batch.setWorkingDirectory(work);
        batch.start(QStringLiteral(QUORVEL_BATCH), { "--dry-run", "--direct", name });
        QVERIFY(batch.waitForFinished(60000));
        QCOMPARE(batch.exitCode(), 0);
        const QString line = QString::fromUtf8(batch.readAllStandardOutput()).trimmed();
        QVERIFY2(line.startsWith("\"" + QDir::toNativeSeparators(work)), qPrintable(line));

        const QString args = temp.filePath("args.txt");
        qputenv("QUORVEL_STANDIN", "args");
        qputenv("QUORVEL_STANDIN_ARGS", QDir::toNativeSeparators(args).toUtf8());
        QProcess cmd;
        cmd.setWorkingDirectory(work);
        cmd.setProgram("cmd.exe");
        cmd.setNativeArguments("/s /c \"" + line + "\""); // /s: cmd drops the outer quotes alone
        cmd.start();
        QVERIFY(cmd.waitForFinished(60000));
        const QStringList received = QString::fromUtf8(readAll(args)).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(received.contains(QDir::toNativeSeparators(work + "/" + name)), qPrintable(received.join(" | ")));
        QVERIFY(received.last().endsWith("a&b (1) c.avi.part"));
        QCOMPARE(received.size(), QProcess::splitCommand(line).size() - 1);
    }

    // Ctrl+Break, which wine does not deliver (GenerateConsoleCtrlEvent
    // fails), handed to the handler as Windows would: the stop, as SIGTERM.
    void ctrlBreakIsSigterm()
    {
        Stop stop;
        Pause pause;
        StopSignals handled(stop, pause);
        QVERIFY(quorvelConsoleEvent(CTRL_BREAK_EVENT));
        QVERIFY(stop.isRequested());
        QCOMPARE(StopSignals::received(), SIGTERM);
        QCOMPARE(StopSignals::exitCode(StopSignals::received()), 143);
        QVERIFY(!quorvelConsoleEvent(CTRL_LOGOFF_EVENT)); // left to the next handler
    }

    // Ctrl+C in quorvel-batch's console stops the batch: the tool and its
    // child end, the row reads Stopped, and the exit status is SIGINT's.
    // Killed from outside, it takes its tools with it (their job closes).
    void batchEndedFromOutside_data()
    {
        QTest::addColumn<int>("event"); // -1: killed
        QTest::addColumn<int>("exitCode");
        QTest::newRow("Ctrl+C") << int(CTRL_C_EVENT) << 130;
        QTest::newRow("killed") << -1 << 0;
    }

    void batchEndedFromOutside()
    {
        QFETCH(int, event);
        QFETCH(int, exitCode);
        QTemporaryDir temp;
        const QString work = workFolder(temp, "work");
        QTemporaryDir pids;
        qputenv("QUORVEL_STANDIN", "hang");
        qputenv("QUORVEL_STANDIN_PIDS", QDir::toNativeSeparators(pids.path()).toUtf8());
        // A console of our own, shared with quorvel-batch; this process lets
        // the events pass.
        FreeConsole();
        QVERIFY(AllocConsole());
        SetConsoleCtrlHandler(ignoreConsoleEvent, TRUE);
        QProcess batch;
        batch.setWorkingDirectory(work);
        batch.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *arguments) {
            arguments->flags &= ~DWORD(CREATE_NO_WINDOW | DETACHED_PROCESS | CREATE_NEW_CONSOLE);
        });
        batch.start(QStringLiteral(QUORVEL_BATCH), { "clip.mp4" });
        QTRY_COMPARE_WITH_TIMEOUT(pidsIn(pids.path()).size(), 2, 20000);
        if (event < 0)
            batch.kill();
        else
            QVERIFY(GenerateConsoleCtrlEvent(DWORD(event), 0));
        QVERIFY(batch.waitForFinished(20000));
        if (event >= 0) {
            QCOMPARE(batch.exitCode(), exitCode);
            QVERIFY(batch.readAllStandardOutput().startsWith("Stopped\t"));
            QCOMPARE(QDir(work + "/output").entryList(QDir::Files | QDir::Hidden), QStringList());
        }
        QTRY_VERIFY_WITH_TIMEOUT(allEnded(pids.path()), 5000);
    }
};

QTEST_GUILESS_MAIN(WindowsTest)
#include "tst_windows.moc"
