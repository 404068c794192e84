// SPDX-License-Identifier: GPL-3.0-or-later
// quorvel-batch --direct with the real tools: one ffmpeg pass makes the same
// kind of file as the two steps (checked with ffprobe), judged as honestly,
// with no temporary file; bad sources fail with a reason.

#include "mediasupport.h"
#include "batchplan.h"
#include "testsupport.h"
#include "toolcommands.h"

#include <QProcess>
#include <QtEndian>
#include <QtTest>

#include <csignal>

#include <sys/types.h>

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

// The types of an MP4 file's top-level boxes, in their order.
QStringList topLevelBoxes(const QString &path)
{
    const QByteArray bytes = readFile(path);
    QStringList boxes;
    for (qint64 at = 0; at + 8 <= bytes.size();) {
        const qint64 size = qFromBigEndian<quint32>(bytes.constData() + at);
        boxes << QString::fromLatin1(bytes.mid(int(at) + 4, 4));
        if (size < 8)
            break;
        at += size;
    }
    return boxes;
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

    // Each test starts from an empty output folder.
    void init()
    {
        QDir("output").removeRecursively();
        QDir().mkpath("output");
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

    // AMV and MP4 at each size from a 16:9 720p source with sound, and AMV
    // from one without (AMV must carry sound: it gets a silent track). The
    // codec and the size, every frame of the source, the sound's length,
    // square pixels, and each format's own marks.
    void formatsAtEachSize_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("source");
        for (const char *format : { "amv", "mp4" }) {
            for (const QString &size : resolutionLabels())
                QTest::addRow("%s %s", format, qPrintable(size)) << format << size << "hd.mp4";
        }
        QTest::newRow("amv without sound") << "amv" << "220x176" << "silent.mkv";
    }

    void formatsAtEachSize()
    {
        QFETCH(QString, format);
        QFETCH(QString, size);
        QFETCH(QString, source);
        const QString path = m_clips + "/" + source;
        const QString target = out(baseNameOf(source) + "." + format);
        const Finished run = batch({ "--format", format, "-s", size, path });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.of(path).value(2), target);
        QCOMPARE(QDir("output").entryList(QDir::Files | QDir::Hidden), QStringList { QFileInfo(target).fileName() });

        const bool amv = format == "amv";
        const QMap<QString, QString> video = probeStream(target, "v");
        const QMap<QString, QString> audio = probeStream(target, "a");
        QCOMPARE(video.value("codec_name"), amv ? QStringLiteral("amv") : QStringLiteral("h264"));
        QCOMPARE(video.value("width") + "x" + video.value("height"), size);
        const int sourceFrames = probeStream(path, "v").value("nb_read_frames").toInt();
        QVERIFY(sourceFrames > 10);
        QVERIFY2(qAbs(video.value("nb_read_frames").toInt() - sourceFrames) <= 1,
                 qPrintable(video.value("nb_read_frames") + " frames of " + QString::number(sourceFrames)));
        // AMV's sound comes in blocks of 882 samples, one a frame, and its
        // header holds the length in whole seconds (ss, mm, hh at 0x54).
        const double soundSeconds = amv ? audio.value("nb_read_frames").toInt() * 882 / 22050.0
                                        : audio.value("duration").toDouble();
        QVERIFY2(soundSeconds >= clipSeconds - 0.1 && soundSeconds <= clipSeconds + 0.3,
                 qPrintable(QString::number(soundSeconds) + " s of sound"));
        if (amv) {
            QCOMPARE(audio.value("codec_name"), QStringLiteral("adpcm_ima_amv"));
            QCOMPARE(audio.value("sample_rate"), QStringLiteral("22050"));
            const QByteArray header = readFile(target).left(0x58);
            QCOMPARE(int(header.at(0x54)) + 60 * int(header.at(0x55)), int(clipSeconds));
            return;
        }
        QCOMPARE(audio.value("codec_name"), QStringLiteral("aac"));
        QCOMPARE(video.value("profile"), QStringLiteral("Constrained Baseline"));
        QVERIFY(video.value("level").toInt() <= 30);
        QCOMPARE(video.value("sample_aspect_ratio"), QStringLiteral("1:1"));
        const QStringList aspect = video.value("display_aspect_ratio").split(':');
        QVERIFY2(aspect.size() == 2 && qFuzzyCompare(aspect.at(0).toDouble() / aspect.at(1).toDouble(),
                                                     video.value("width").toDouble() / video.value("height").toDouble()),
                 qPrintable(video.value("display_aspect_ratio")));
        const QStringList boxes = topLevelBoxes(target);
        QVERIFY2(boxes.contains("moov") && boxes.indexOf("moov") < boxes.indexOf("mdat"), qPrintable(boxes.join(' ')));
        QFile::remove(target);
    }

    // A run that fails, or is stopped, leaves an earlier result of the same
    // name as it was, byte for byte, in every format.
    void earlierResultStays_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("stopped");
        for (const char *format : { "avi", "amv", "mp4" }) {
            QTest::addRow("%s, broken source", format) << format << false;
            QTest::addRow("%s, stopped", format) << format << true;
        }
    }

    void earlierResultStays()
    {
        QFETCH(QString, format);
        QFETCH(bool, stopped);
        const QString source = m_clips + (stopped ? "/long.mp4" : "/broken.mp4");
        if (stopped && !QFile::exists(source))
            QVERIFY(generateClip(source, {}, { "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac" }, true, 30,
                                 "640x360"));
        const QString target = out(baseNameOf(source) + "." + format);
        const QByteArray earlier = "an earlier result, which a failed run must leave alone";
        writeFile(target, earlier);
        QProcess run;
        run.start(QStringLiteral(QUORVEL_BATCH), { "-d", "--format", format, source });
        QVERIFY(run.waitForStarted());
        if (stopped) {
            // Once the tool writes its working file, the stop.
            QTRY_VERIFY_WITH_TIMEOUT(QDir("output").entryList(QDir::Files | QDir::Hidden).size() == 2, 20000);
            ::kill(pid_t(run.processId()), SIGTERM);
        }
        QVERIFY(run.waitForFinished(120000));
        QCOMPARE(run.exitCode(), stopped ? 143 : 1);
        QCOMPARE(readFile(target), earlier);
        QCOMPARE(QDir("output").entryList(QDir::Files | QDir::Hidden), QStringList { QFileInfo(target).fileName() });
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
