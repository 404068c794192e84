// One tool run: the marker found on either channel and across reads, the
// outcome decided by the marker alone, and a stop that leaves no process.

#include "markersearch.h"
#include "testsupport.h"
#include "toolrun.h"

#include <QElapsedTimer>

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <future>

using namespace TestSupport;

namespace {

QString shell(const QString &script)
{
    QString quoted = script;
    quoted.replace('"', "\"\"\"");
    return "/bin/sh -c \"" + quoted + "\"";
}

const QByteArray marker = QByteArrayLiteral("Flushing video frames");

} // namespace

class ToolRunTest : public QObject
{
    Q_OBJECT

private slots:
    void markerAcrossChunks_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<bool>("found");
        using Chunks = QList<QByteArray>;
        QTest::newRow("whole") << Chunks { "x Flushing video frames y" } << true;
        QTest::newRow("split in two") << Chunks { "abc Flushing vid", "eo frames." } << true;
        QTest::newRow("one byte at a time") << [] {
            Chunks c;
            for (char ch : QByteArray("..Flushing video frames"))
                c << QByteArray(1, ch);
            return c;
        }() << true;
        QTest::newRow("split over three") << Chunks { "Flush", "ing video f", "rames" } << true;
        QTest::newRow("last byte alone") << Chunks { "Flushing video frame", "s" } << true;
        QTest::newRow("empty chunks between") << Chunks { "Flushing ", "", "video frames" } << true;
        QTest::newRow("never whole") << Chunks { "Flushing video", " fr", "ame" } << false;
        QTest::newRow("case differs") << Chunks { "flushing video frames" } << false;
        QTest::newRow("pieces far apart") << Chunks { "Flushing vid", QByteArray(100, 'x'), "eo frames" } << false;
    }

    void markerAcrossChunks()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(bool, found);
        MarkerSearch search(marker);
        for (const QByteArray &chunk : chunks)
            search.feed(chunk);
        QCOMPARE(search.found(), found);
    }

    void outcomeIsTheMarkerAlone_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("found");
        QTest::newRow("stdout") << shell("echo 'Flushing video frames'") << true;
        QTest::newRow("stderr only") << shell("echo 'Flushing video frames' >&2") << true;
        QTest::newRow("marker, then exit 3") << shell("echo 'Flushing video frames'; exit 3") << true;
        QTest::newRow("no marker, exit 0") << shell("echo done") << false;
        QTest::newRow("crash") << shell("kill -SEGV $$") << false;
        QTest::newRow("written in pieces") << shell("printf 'Flushing vi'; sleep 0.2; printf 'deo frames'") << true;
        QTest::newRow("pieces on both channels")
            << shell("printf 'Flushing vi'; sleep 0.1; printf 'deo frames' >&2") << false;
        QTest::newRow("missing program") << "/nonexistent/bin/mencoder -o x" << false;
        QTest::newRow("not executable") << QStringLiteral(QUORVEL_FIXTURES_DIR "/../tst_toolrun.cpp") << false;
        QTest::newRow("empty command") << "" << false;
        QTest::newRow("long talk before the marker")
            << shell("i=0; while [ $i -lt 20000 ]; do echo 'Pos: 1.0s 25f (10%) progress line'; "
                     "echo 'progress on stderr' >&2; i=$((i+1)); done; echo 'Flushing video frames'")
            << true;
    }

    void outcomeIsTheMarkerAlone()
    {
        QFETCH(QString, command);
        QFETCH(bool, found);
        const std::atomic_bool noStop { false };
        QCOMPARE(runTool(command, marker, noStop), found);
    }

    void stopEndsAndReapsTheTool()
    {
        QTemporaryDir temp;
        const QString pidFile = temp.filePath("pid");
        std::atomic_bool stop { false };
        std::future<bool> run = std::async(std::launch::async, [&] {
            return runTool(shell("echo $$ > '" + pidFile + "'; exec sleep 600"), marker, stop);
        });
        QTRY_VERIFY(readPid(pidFile) > 0);
        const qint64 pid = readPid(pidFile);
        QVERIFY(processRunning(pid));

        QElapsedTimer clock;
        clock.start();
        stop = true;
        QCOMPARE(run.get(), false);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(processGone(pid));
    }

    void toolThatIgnoresTerminateIsKilled()
    {
        QTemporaryDir temp;
        const QString pidFile = temp.filePath("pid");
        std::atomic_bool stop { false };
        std::future<bool> run = std::async(std::launch::async, [&] {
            return runTool(shell("trap '' TERM; echo $$ > '" + pidFile + "'; while :; do sleep 0.05; done"), marker,
                           stop);
        });
        QTRY_VERIFY(readPid(pidFile) > 0);
        const qint64 pid = readPid(pidFile);
        stop = true;
        QCOMPARE(run.get(), false);
        QVERIFY(processGone(pid));
    }
};

QTEST_GUILESS_MAIN(ToolRunTest)
#include "tst_toolrun.moc"
