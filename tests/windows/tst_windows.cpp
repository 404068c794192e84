// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows floor under wine: starting a tool and reading both channels,
// how a run ends, Stop of a tool's whole tree, putting a result in place,
// and quorvel-batch converting with a stand-in tool.

#include "files.h"
#include "stop.h"
#include "toolrun.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <future>

#include <windows.h>

namespace {

const QString standin = QStringLiteral(QUORVEL_STANDIN);

QList<qint64> pidsIn(const QString &folder)
{
    QList<qint64> pids;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        pids << name.toLongLong();
    return pids;
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
        for (const qint64 pid : pidsIn(pids.path()))
            QTRY_VERIFY_WITH_TIMEOUT(!processAlive(pid), 5000);
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
    // blank and a non-ASCII letter: both pipelines.
    void batchWithStandIns_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("two steps") << QStringList();
        QTest::newRow("one pass") << QStringList { "--direct" };
    }

    void batchWithStandIns()
    {
        QFETCH(QStringList, options);
        QTemporaryDir temp;
        const QString work = temp.filePath("Vidéos x");
        QVERIFY(QDir().mkpath(work + "/bin"));
        for (const char *tool : { "ffmpeg.exe", "mencoder.exe" })
            QVERIFY(QFile::copy(standin, work + "/bin/" + tool));
        QFile source(work + "/clip.mp4");
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write(QByteArray("\x00\x00\x00\x18" "ftypmp42", 12) + QByteArray(500, '\x01'));
        source.close();
        qputenv("QUORVEL_STANDIN", "ok");
        QProcess batch;
        batch.setWorkingDirectory(work);
        batch.start(QStringLiteral(QUORVEL_BATCH), options + QStringList { "clip.mp4" });
        QVERIFY(batch.waitForFinished(60000));
        QCOMPARE(batch.exitCode(), 0);
        QVERIFY2(batch.readAllStandardOutput().startsWith("Success\t"), qPrintable(batch.readAllStandardError()));
        QCOMPARE(QDir(work + "/output").entryList(QDir::Files | QDir::Hidden), QStringList { "clip.avi" });
    }
};

QTEST_GUILESS_MAIN(WindowsTest)
#include "tst_windows.moc"
