// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the tools' output: the facts that decide a step, progress, the
// last words for a reason, and a fuzz run over random and mutated output.

#include "resultcheck.h"
#include "tooloutput.h"
#include "toolrun.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using Tool = ToolOutput::Tool;

namespace {

QByteArray fixtureText(const QString &name)
{
    QFile file(QStringLiteral(QUORVEL_FIXTURES_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return file.readAll();
}

ToolOutput parsed(Tool tool, const QByteArray &out, const QByteArray &err = QByteArray())
{
    ToolOutput output(tool);
    output.feed(ToolOutput::StandardOutput, out);
    output.feed(ToolOutput::StandardError, err);
    output.finish();
    return output;
}

ToolRun finishedRun(const ToolOutput &output)
{
    ToolRun run(output.tool());
    run.end = ToolRun::End::Finished;
    run.output = output;
    return run;
}

// A file of `size` bytes in `dir`.
QString fileOfSize(const QTemporaryDir &dir, qint64 size)
{
    const QString path = dir.filePath(QStringLiteral("file-%1.avi").arg(size));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray(int(size), 'x'));
    return path;
}

} // namespace

class ToolOutputTest : public QObject
{
    Q_OBJECT

private slots:
    void realOutputs()
    {
        const ToolOutput ffmpeg = parsed(Tool::Ffmpeg, {}, fixtureText("ffmpeg-preprocess.stderr"));
        QVERIFY(ffmpeg.markerSeen());
        QVERIFY(ffmpeg.summarySeen());
        QCOMPARE(ffmpeg.frames(), 75);
        QCOMPARE(ffmpeg.durationSeconds(), 3.0);
        QCOMPARE(ffmpeg.timeSeconds(), 3.03);

        const ToolOutput mencoder = parsed(Tool::Mencoder, fixtureText("mencoder-transcode.stdout"));
        QVERIFY(mencoder.markerSeen());
        QVERIFY(mencoder.inputHasSound());
        QCOMPARE(mencoder.videoBytes(), 311605);
        QCOMPARE(mencoder.videoFrames(), 77);
        QCOMPARE(mencoder.audioBytes(), 48901);
        QCOMPARE(mencoder.positionSeconds(), 3.0);
        QCOMPARE(mencoder.positionPercent(), 101);

        const ToolOutput silent = parsed(Tool::Mencoder, fixtureText("mencoder-silent.stdout"));
        QVERIFY(silent.markerSeen());
        QVERIFY(!silent.inputHasSound());
        QCOMPARE(silent.videoFrames(), 26);
        QCOMPARE(silent.audioBytes(), -1);

        const ToolOutput invalid = parsed(Tool::Ffmpeg, {}, fixtureText("ffmpeg-invalid.stderr"));
        QVERIFY(!invalid.markerSeen());
        QCOMPARE(invalid.lastMessage(), QStringLiteral("/etc/passwd: Invalid data found when processing input"));

        const ToolOutput missing = parsed(Tool::Mencoder, fixtureText("mencoder-missing.stdout"),
                                          fixtureText("mencoder-missing.stderr"));
        QVERIFY(!missing.markerSeen());
        QCOMPARE(missing.lastMessage(), QStringLiteral("Cannot open file/device."));
    }

    // A marker counts at the start of a line only, on either channel, in
    // whatever pieces it arrives.
    void markerAtLineStart_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<bool>("seen");
        using Chunks = QList<QByteArray>;
        QTest::newRow("own line") << Chunks { "x\nFlushing video frames.\n" } << true;
        QTest::newRow("output's start") << Chunks { "Flushing video frames." } << true;
        QTest::newRow("after a progress line's \\r") << Chunks { "Pos: 1.0s 2f (5%)\rFlushing video frames." } << true;
        QTest::newRow("split in two") << Chunks { "abc\nFlushing vid", "eo frames." } << true;
        QTest::newRow("one byte at a time") << [] {
            Chunks c;
            for (char ch : QByteArray("..\nFlushing video frames\n"))
                c << QByteArray(1, ch);
            return c;
        }() << true;
        QTest::newRow("inside an echoed path") << Chunks { "Opening /v/Flushing video frames.mp4\n" } << false;
        QTest::newRow("after a blank") << Chunks { " Flushing video frames\n" } << false;
        QTest::newRow("case differs") << Chunks { "flushing video frames\n" } << false;
        QTest::newRow("cut by a line end") << Chunks { "Flushing video\n frames\n" } << false;
        QTest::newRow("beyond a long line") << Chunks { QByteArray(5000, 'x') + "Flushing video frames\n" } << false;
    }

    void markerAtLineStart()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(bool, seen);
        for (ToolOutput::Channel channel : { ToolOutput::StandardOutput, ToolOutput::StandardError }) {
            ToolOutput output(Tool::Mencoder);
            for (const QByteArray &chunk : chunks)
                output.feed(channel, chunk);
            output.finish();
            QCOMPARE(output.markerSeen(), seen);
        }
    }

    void linesOfTheTwoChannelsStaySeparate()
    {
        ToolOutput output(Tool::Mencoder);
        output.feed(ToolOutput::StandardOutput, "\nFlushing vi");
        output.feed(ToolOutput::StandardError, "deo frames\n");
        output.finish();
        QVERIFY(!output.markerSeen());
    }

    void transcodeCheck_data()
    {
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<QString>("reason");
        const QByteArray sound = "AUDIO: 44100 Hz, 2 ch, s16le\n";
        const QByteArray flush = "Flushing video frames.\n";
        const QByteArray video =
            "Video stream:  820.013 kbit/s  (102501 B/s)  size: 3000 bytes  3.040 secs  77 frames\n";
        const QByteArray audio = "Audio stream:  127.999 kbit/s  (15999 B/s)  size: 1000 bytes  3.056 secs\n";
        QTest::newRow("good, with sound") << sound + flush + video + audio << qint64(4100) << QString();
        QTest::newRow("good, exactly the reported size") << sound + flush + video + audio << qint64(4000) << QString();
        QTest::newRow("good, silent input")
            << "AVI: No audio stream found -> no sound.\n" + flush + video << qint64(3500) << QString();
        QTest::newRow("no marker") << sound + video + audio << qint64(4100) << QString("mencoder: " + audio.trimmed());
        QTest::newRow("no summary") << sound + flush << qint64(4100) << "mencoder: Flushing video frames.";
        QTest::newRow("no frames") << sound + flush
                + "Video stream:  0.000 kbit/s  (0 B/s)  size: 0 bytes  0.000 secs  0 frames\n" + audio
                                   << qint64(4100) << "mencoder wrote no frames";
        QTest::newRow("no sound written") << sound + flush + video << qint64(4100) << "mencoder wrote no sound";
        QTest::newRow("zero sound bytes")
            << sound + flush + video + "Audio stream:  0.000 kbit/s  (0 B/s)  size: 0 bytes  0.000 secs\n"
            << qint64(4100) << "mencoder wrote no sound";
        QTest::newRow("empty file") << sound + flush + video + audio << qint64(0) << "%1 is missing or empty";
        QTest::newRow("missing file") << sound + flush + video + audio << qint64(-1) << "%1 is missing or empty";
        QTest::newRow("short file") << sound + flush + video + audio << qint64(3999)
                                    << "%1 is smaller than the 4000 bytes mencoder reported";
        QTest::newRow("nothing printed") << QByteArray() << qint64(4100)
                                         << "mencoder ended without its closing summary";
    }

    void transcodeCheck()
    {
        QFETCH(QByteArray, out);
        QFETCH(qint64, fileSize);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString target = fileSize < 0 ? dir.filePath("missing.avi") : fileOfSize(dir, fileSize);
        QCOMPARE(checkTranscode(finishedRun(parsed(Tool::Mencoder, out)), target), reason.replace("%1", target));
    }

    void preProcessCheck_data()
    {
        QTest::addColumn<QByteArray>("err");
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<QString>("reason");
        const QByteArray header = "  Duration: 00:00:00.04, start: 0.000000, bitrate: 500 kb/s\n";
        const QByteArray oneFrame = "frame=    1 fps=0.0 q=2.0 Lsize=       6kB time=00:00:00.04 bitrate=1.2kbits/s\n";
        const QByteArray summary = "video:0kB audio:0kB subtitle:0kB other streams:0kB global headers:0kB\n";
        QTest::newRow("one small frame, summary of 0kB") << header + oneFrame + summary << qint64(6000) << QString();
        QTest::newRow("no frames") << header
                + "frame=    0 fps=0.0 q=0.0 Lsize=       1kB time=00:00:00.00 bitrate=N/A\n" + summary
                                   << qint64(6000) << "ffmpeg wrote no frames";
        QTest::newRow("no progress line") << header + summary << qint64(6000) << "ffmpeg wrote no frames";
        QTest::newRow("no summary") << header + oneFrame + "Conversion failed!\n"
                                    << qint64(6000) << "ffmpeg: Conversion failed!";
        QTest::newRow("summary word in an echoed path")
            << header + oneFrame + "video: clips/x.mp4: Invalid data found\n"
            << qint64(6000) << QString("ffmpeg: video: clips/x.mp4: Invalid data found");
        QTest::newRow("empty file") << header + oneFrame + summary << qint64(0) << "%1 is missing or empty";
    }

    void preProcessCheck()
    {
        QFETCH(QByteArray, err);
        QFETCH(qint64, fileSize);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString temp = fileOfSize(dir, fileSize);
        QCOMPARE(checkPreProcess(finishedRun(parsed(Tool::Ffmpeg, {}, err)), temp), reason.replace("%1", temp));
    }

    void directCheck_data()
    {
        QTest::addColumn<QByteArray>("err");
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<QString>("reason");
        const QByteArray soundInput = "Input #0, mov,mp4, from 'a.mp4':\n  Duration: 00:00:02.00, start: 0.0\n"
                                      "  Stream #0:0(und): Video: h264 (High), yuv420p, 1280x720, 25 fps\n"
                                      "  Stream #0:1(und): Audio: aac (LC), 48000 Hz, stereo, fltp, 129 kb/s\n";
        const QByteArray silentInput = "Input #0, mov,mp4, from 'a.mp4':\n  Duration: 00:00:02.00, start: 0.0\n"
                                       "  Stream #0:0(und): Video: h264 (High), yuv420p, 1280x720, 25 fps\n";
        const QByteArray output = "Output #0, avi, to 'a.avi':\n  Stream #0:1: Audio: mp2, 44100 Hz, stereo\n"
                                  "frame=   50 fps=0.0 q=3.0 Lsize=     190kB time=00:00:02.00 speed=9x\n";
        const QByteArray summary = "video:150kB audio:32kB subtitle:0kB other streams:0kB muxing overhead: 2%\n";
        const QByteArray noAudio = "video:150kB audio:0kB subtitle:0kB other streams:0kB muxing overhead: 2%\n";
        QTest::newRow("good, with sound") << soundInput + output + summary << qint64(190 * 1024) << QString();
        QTest::newRow("good, silent source") << silentInput + output + noAudio << qint64(155 * 1024) << QString();
        QTest::newRow("sound lost") << soundInput + output + noAudio << qint64(155 * 1024) << "ffmpeg wrote no sound";
        QTest::newRow("no summary") << soundInput + output + "Conversion failed!\n"
                                    << qint64(190 * 1024) << "ffmpeg: Conversion failed!";
        QTest::newRow("no picture") << QByteArray(
            "Input #0, mp3, from 'a.mp3':\n  Stream #0:0: Audio: mp3, 44100 Hz, mono\n"
            "Stream map '0:v:0' matches no streams.\nTo ignore this, add a trailing '?' to the map.\n")
                                    << qint64(0) << "the source has no picture";
        QTest::newRow("short file") << soundInput + output + summary << qint64(100 * 1024)
                                    << "%1 is smaller than the 182 kB ffmpeg reported";
    }

    void directCheck()
    {
        QFETCH(QByteArray, err);
        QFETCH(qint64, fileSize);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString target = fileOfSize(dir, fileSize);
        QCOMPARE(checkDirect(finishedRun(parsed(Tool::Ffmpeg, {}, err)), target), reason.replace("%1", target));
    }

    void runsThatDidNotFinish_data()
    {
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("reason");
        QTest::newRow("crash") << int(ToolRun::End::Crashed) << "mencoder was ended by signal 11";
        QTest::newRow("not found") << int(ToolRun::End::NotFound) << "mencoder was not found: /w/bin/mencoder";
        QTest::newRow("not started") << int(ToolRun::End::NotStarted)
                                     << "mencoder could not be started: /w/bin/mencoder";
    }

    void runsThatDidNotFinish()
    {
        QFETCH(int, end);
        QFETCH(QString, reason);
        // Even a complete, good report does not save a run that crashed.
        ToolRun run = finishedRun(parsed(Tool::Mencoder, fixtureText("mencoder-transcode.stdout")));
        run.end = ToolRun::End(end);
        run.signal = 11;
        run.program = "/w/bin/mencoder";
        QTemporaryDir dir;
        QCOMPARE(checkTranscode(run, fileOfSize(dir, 400000)), reason);
    }

    void progress_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("knownLength");
        QTest::addColumn<double>("expected");
        const int ff = int(Tool::Ffmpeg);
        const int me = int(Tool::Mencoder);
        QTest::newRow("ffmpeg time against duration")
            << ff << QByteArray("  Duration: 00:01:40.00, start\nframe=  10 time=00:00:25.00 speed=1x\r") << -1.0
            << 0.25;
        QTest::newRow("ffmpeg over an hour")
            << ff << QByteArray("  Duration: 02:00:00.00,\nframe=  10 time=01:30:00.00 speed=1x\r") << -1.0 << 0.75;
        QTest::newRow("ffmpeg without duration") << ff << QByteArray("frame=  10 time=00:00:25.00\r") << -1.0 << -1.0;
        QTest::newRow("ffmpeg N/A duration")
            << ff << QByteArray("  Duration: N/A, start\nframe=  10 time=00:00:25.00\r") << -1.0 << -1.0;
        QTest::newRow("ffmpeg time past duration")
            << ff << QByteArray("  Duration: 00:00:10.00,\nframe=  10 time=00:00:12.00\r") << -1.0 << 1.0;
        QTest::newRow("ffmpeg time never goes back")
            << ff << QByteArray("  Duration: 00:00:10.00,\nframe=  1 time=00:00:05.00\rframe=  2 time=00:00:02.00\r")
            << -1.0 << 0.5;
        QTest::newRow("mencoder per cent") << me << QByteArray("Pos:   1.0s     25f (25%)  0.00fps\r") << -1.0 << 0.25;
        QTest::newRow("mencoder seconds against a known length")
            << me << QByteArray("Pos:   3.0s     75f (80%)  0.00fps\r") << 12.0 << 0.25;
        QTest::newRow("mencoder past 100 %") << me << QByteArray("Pos:   3.0s  75f (101%)\r") << -1.0 << 1.0;
        QTest::newRow("nothing said") << me << QByteArray("MEncoder\n") << -1.0 << -1.0;
    }

    void progress()
    {
        QFETCH(int, tool);
        QFETCH(QByteArray, text);
        QFETCH(double, knownLength);
        QFETCH(double, expected);
        QCOMPARE(parsed(Tool(tool), text).progress(knownLength), expected);
    }

    // Random bytes, and real output cut, mutated and fed in random pieces:
    // no crash, no read past a buffer (ASan watches), and never a success
    // without a real closing summary.
    void fuzz()
    {
        const QList<QPair<Tool, QByteArray>> seeds {
            { Tool::Ffmpeg, fixtureText("ffmpeg-preprocess.stderr").right(700) },
            { Tool::Mencoder, fixtureText("mencoder-transcode.stdout").right(500) },
            { Tool::Mencoder, fixtureText("mencoder-silent.stdout").right(400) },
            { Tool::Ffmpeg, fixtureText("ffmpeg-invalid.stderr").right(300) },
        };
        const QByteArray alphabet("\r\n :=%()0123456789.Flushingvideoframes");
        QRandomGenerator random(20261208);
        QTemporaryDir dir;
        const QString bigFile = fileOfSize(dir, 1000000);
        const QRegularExpression videoSummary(QStringLiteral("(^|[\\r\\n])Video stream:[^\\r\\n]*size: *[0-9]"));
        const QRegularExpression ffmpegSummary(QStringLiteral("(^|[\\r\\n])video:[0-9]"));
        int successes = 0;
        constexpr int cases = 100000;
        for (int round = 0; round < cases; ++round) {
            const auto &seed = seeds.at(round % seeds.size());
            QByteArray text;
            if (round % 5 == 0) {
                text.resize(int(random.bounded(400)));
                for (char &c : text)
                    c = char(random.bounded(256));
            } else {
                text = seed.second;
                const int mutations = int(random.bounded(6));
                for (int m = 0; m < mutations && !text.isEmpty(); ++m) {
                    const int at = int(random.bounded(text.size()));
                    switch (random.bounded(3)) {
                    case 0:
                        text[at] = alphabet.at(int(random.bounded(alphabet.size())));
                        break;
                    case 1:
                        text.remove(at, int(random.bounded(20)));
                        break;
                    default:
                        text.insert(at, text.mid(int(random.bounded(text.size())), int(random.bounded(30))));
                    }
                }
            }
            ToolOutput output(seed.first);
            const auto channel = ToolOutput::Channel(random.bounded(2));
            for (int at = 0; at < text.size();) {
                const int piece = 1 + int(random.bounded(64));
                output.feed(channel, text.mid(at, piece));
                at += piece;
            }
            output.finish();
            const double progress = output.progress(random.bounded(2) ? 3.0 : -1.0);
            QVERIFY(progress == -1 || (progress >= 0 && progress <= 1));
            ToolRun run(seed.first);
            run.end = ToolRun::End::Finished;
            run.output = output;
            const QString reason = seed.first == Tool::Ffmpeg ? checkPreProcess(run, bigFile)
                                                              : checkTranscode(run, bigFile);
            if (reason.isEmpty()) {
                ++successes;
                const QString whole = QString::fromLatin1(text);
                QVERIFY2((seed.first == Tool::Ffmpeg ? ffmpegSummary : videoSummary).match(whole).hasMatch(),
                         text.toPercentEncoding().constData());
            }
            (void)output.lastMessage();
        }
        // The mutations leave many good reports whole: the check was exercised.
        QVERIFY(successes > cases / 10);
    }
};

QTEST_GUILESS_MAIN(ToolOutputTest)
#include "tst_tooloutput.moc"
