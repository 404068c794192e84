// SPDX-License-Identifier: GPL-3.0-or-later
// quorvel-batch --direct with the real tools: one ffmpeg pass makes the same
// kind of file as the two steps (checked with ffprobe), judged as honestly,
// with no temporary file; bad sources fail with a reason.

#include "mediasupport.h"
#include "batchplan.h"
#include "testsupport.h"
#include "toolcommands.h"

#include <QProcess>
#include <QtTest>

using namespace MediaSupport;
using namespace TestSupport;

namespace {

struct Finished {
    int exitCode = -1;
    QList<QStringList> lines; // standard output, one list of fields per line
    QByteArray err;
    QStringList of(const QString &source) const
    {
        for (const QStringList &line : lines)
            if (line.value(1) == source)
                return line;
        return {};
    }
};

Finished batch(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(QUORVEL_BATCH), arguments);
    Finished run;
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.err = process.readAllStandardError();
    for (const QString &line : QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        run.lines << line.split('\t');
    return run;
}

} // namespace

class DirectTest : public QObject
{
    Q_OBJECT

    QString m_clips;

    QString out(const QString &name) const { return QDir::current().filePath("output/" + name); }

private slots:
    void initTestCase()
    {
        resetWorkDir();
        QVERIFY(prepareWorkDir(QDir::currentPath()));
        m_clips = QDir::current().filePath("clips");
        QDir(m_clips).removeRecursively();
        QVERIFY(generateClip(m_clips + "/hd.mp4", {}, { "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac" }, true,
                             clipSeconds, "1280x720"));
        QVERIFY(generateClip(m_clips + "/silent.mkv", {}, { "-c:v", "libx264", "-pix_fmt", "yuv420p" }, false));
        QVERIFY(generateClip(m_clips + "/already.avi"));
        QVERIFY(QProcess::execute("ffmpeg",
                                  { "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=duration=1",
                                    m_clips + "/sound only.mp3" })
                == 0);
        // The first kilobytes of a real clip: its index, at the end, is missing.
        QFile whole(m_clips + "/hd.mp4");
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QFile broken(m_clips + "/broken.mp4");
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(whole.read(20000));
    }

    // The one ffmpeg command, with the decoder on its share of the cores
    // when several sources convert at once (the lines run as they stand:
    // tst_cli runs them through sh).
    void dryRunPrintsTheOneCommand()
    {
        const Finished run = batch({ "--direct", "-n", "-s", "160x128", m_clips + "/hd.mp4" });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.lines.size(), 1);
        const QString line = run.lines.first().join('\t');
        QVERIFY2(line.startsWith("'" + QDir::current().filePath("bin/ffmpeg") + "' "), qPrintable(line));
        QVERIFY2(line.contains("pad=160:128:"), qPrintable(line)); // the size asked
        QVERIFY(!line.contains(" -threads "));
        QVERIFY(!QFile::exists(out("hd.avi")));

        const Finished two = batch({ "--direct", "-n", "-j", "2", m_clips + "/hd.mp4", m_clips + "/silent.mkv" });
        QCOMPARE(two.lines.size(), 2);
        const QString first = two.lines.first().join('\t');
        const QString threads = QStringLiteral(" -threads %1 ").arg(decoderThreadsFor(2, QThread::idealThreadCount()));
        QVERIFY2(first.contains(threads) && first.indexOf(threads) < first.indexOf(" -i "), qPrintable(first));
    }

    void makesTheSameKindOfFileInOnePass_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("size");
        QTest::addColumn<bool>("sound");
        QTest::newRow("720p H.264 with sound") << "hd.mp4"
                                               << "160x128" << true;
        QTest::newRow("without sound") << "silent.mkv"
                                       << "320x240" << false;
        QTest::newRow("already AVI") << "already.avi"
                                     << "220x176" << true;
    }

    void makesTheSameKindOfFileInOnePass()
    {
        QFETCH(QString, source);
        QFETCH(QString, size);
        QFETCH(bool, sound);
        const QString path = m_clips + "/" + source;
        const QString target = out(baseNameOf(source) + ".avi");
        QFile::remove(target);
        const Finished run = batch({ "-d", "-s", size, path });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.of(path).value(0), QStringLiteral("Success"));
        QCOMPARE(run.of(path).value(2), target);
        verifyConversion(path, target, size.section('x', 0, 0).toInt(), size.section('x', 1, 1).toInt(), sound);
        // No temporary file, and no other file, in the output folder.
        QCOMPARE(QDir("output").entryList(QDir::Files | QDir::Hidden), QStringList { baseNameOf(source) + ".avi" });
        QFile::remove(target);
    }

    void badSourcesFailWithAReason_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no picture") << "sound only.mp3"
                                    << "the source has no picture";
        QTest::newRow("broken file") << "broken.mp4"
                                     << "broken.mp4: Invalid data found when processing input";
        QTest::newRow("missing file") << "gone.mp4"
                                      << "does not exist";
    }

    void badSourcesFailWithAReason()
    {
        QFETCH(QString, source);
        QFETCH(QString, reason);
        const QString path = m_clips + "/" + source;
        const Finished run = batch({ "--direct", path, m_clips + "/already.avi" });
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.of(path).value(0), QStringLiteral("Failed"));
        QVERIFY2(run.of(path).value(4).contains(reason), qPrintable(run.of(path).value(4)));
        QVERIFY(!QFile::exists(out(baseNameOf(source) + ".avi")));
        // The rest goes on.
        QCOMPARE(run.of(m_clips + "/already.avi").value(0), QStringLiteral("Success"));
        QFile::remove(out("already.avi"));
    }
};

QTEST_GUILESS_MAIN(DirectTest)
#include "tst_direct.moc"
