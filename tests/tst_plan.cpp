// SPDX-License-Identifier: GPL-3.0-or-later
// What a job is before any tool runs: the tool commands as argument lists,
// the target and temporary file, and the sources refused.

#include "conversion.h"
#include "paths.h"
#include "plan.h"
#include "testsupport.h"
#include "toolcommands.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

// The transcode's arguments; `stretch` gives the old ones, byte for byte.
QStringList transcodeArguments(const QString &scale, const QString &input, const QString &target, bool stretch = false)
{
    const QString filters = stretch ? "scale=" + scale : QStringLiteral("dsize=%1:0,scale=0:0,expand=%1").arg(scale);
    return QStringList { "-oac", "lavc", "-lavcopts", "acodec=mp2:abitrate=128", "-srate", "44100", "-vf" }
    << filters
    << QStringList { "-ovc", "xvid", "-xvidencopts", "bitrate=608:max_bframes=0:quant_type=h263:me_quality=0",
                     "-force-avi-aspect" }
    << (stretch ? QStringLiteral("4:3") : scale) << QStringList { "-mc", "0", "-of", "avi", input, "-o", target };
}

} // namespace

class PlanTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString video(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        writeFile(path, videoBytes() + QByteArray(500, '\x01'));
        return path;
    }

private slots:
    void scaleForResolution_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("scale");
        QTest::newRow("320x240") << "320x240"
                                 << "320:240";
        QTest::newRow("160x128") << "160x128"
                                 << "160:128";
        QTest::newRow("128x128") << "128x128"
                                 << "128:128";
        QTest::newRow("220x176") << "220x176"
                                 << "220:176";
        QTest::newRow("searched, not compared") << "QVGA (320x240) wide"
                                                << "320:240";
        QTest::newRow("capital X") << "320X240"
                                   << "";
        QTest::newRow("unknown") << "640x480"
                                 << "";
    }

    void scaleForResolution()
    {
        QFETCH(QString, label);
        QFETCH(QString, scale);
        QCOMPARE(::scaleForResolution(label), scale);
    }

    void nameParts_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("preProcess");
        QTest::newRow("several dots") << "/v/clip.final.MP4"
                                      << "clip.avi" << true;
        QTest::newRow("no suffix") << "/v/movie"
                                   << "movie.avi" << true;
        QTest::newRow("hidden") << "/v/.hidden"
                                << ".avi" << true;
        QTest::newRow("AVI in any case") << "/v/a.AvI"
                                         << "a.avi" << false;
        QTest::newRow("dot in folder") << "/v.d/movie"
                                       << "movie.avi" << true;
    }

    void nameParts()
    {
        QFETCH(QString, path);
        QFETCH(QString, target);
        QFETCH(bool, preProcess);
        QCOMPARE(targetFileName(path), target);
        QCOMPARE(buildTargetPath(baseNameOf(path)), outputPath + "/" + target);
        QCOMPARE(needsPreProcess(path), preProcess);
    }

    void commandsAreArgumentLists()
    {
        QCOMPARE(preProcessCommand("/b/ffmpeg", "/v/a b.mp4", "/o/t.avi").arguments(),
                 QStringList({ "-y", "-i", "/v/a b.mp4", "/o/t.avi" }));
        const ToolCommand transcode = transcodeCommand("/b/mencoder", "220:176", "/v/a b.avi", "/o/a b.avi");
        QCOMPARE(transcode.program(), QStringLiteral("/b/mencoder"));
        QCOMPARE(transcode.arguments(), transcodeArguments("220:176", "/v/a b.avi", "/o/a b.avi"));
        // The debug line and the dry run: the program and the paths quoted.
        QCOMPARE(transcode.text(),
                 "\"/b/mencoder\" " + transcodeArguments("220:176", "\"/v/a b.avi\"", "\"/o/a b.avi\"").join(' '));
        QCOMPARE(transcodeCommand("/b/mencoder", "220:176", "/v/a.avi", "/o/a.avi", Picture::Stretch).arguments(),
                 transcodeArguments("220:176", "/v/a.avi", "/o/a.avi", true));
        const QString direct = "-nostdin -y -skip_loop_filter all -i /v/a.mp4 -map 0:v:0 -map 0:a:0? -sn -dn -vf %1 "
                               "-c:v libxvid -threads:v 1 -vtag XVID -b:v 608k -bf 0 -mpeg_quant 0 -c:a mp2 -b:a 128k "
                               "-ar 44100 -ac 2 -f avi /o/a.avi";
        QCOMPARE(directCommand("/b/ffmpeg", "160:128", "/v/a.mp4", "/o/a.avi").arguments().join(' '),
                 direct.arg("scale=w='min(160,2*round(128*dar/2))':h='min(128,2*round(160/dar/2))',"
                            "pad=160:128:(ow-iw)/2:(oh-ih)/2,setsar=1"));
        QCOMPARE(directCommand("/b/ffmpeg", "160:128", "/v/a.mp4", "/o/a.avi", Picture::Stretch).arguments().join(' '),
                 direct.arg("scale=160:128,setdar=4/3"));
        // A cap on the threads is an input option: it reaches the decoder.
        QVERIFY(directCommand("/b/ffmpeg", "160:128", "/v/a.mp4", "/o/a.avi", Picture::KeepShape, 2)
                    .arguments()
                    .join(' ')
                    .startsWith("-nostdin -y -threads 2 -skip_loop_filter all -i /v/a.mp4 "));
    }

    // Jobs at once share the cores; a lone job leaves the choice to ffmpeg.
    void decoderThreadsShareTheCores()
    {
        QCOMPARE(decoderThreadsFor(1, 2), 0);
        QCOMPARE(decoderThreadsFor(2, 2), 1);
        QCOMPARE(decoderThreadsFor(2, 8), 4);
        QCOMPARE(decoderThreadsFor(3, 2), 1);
    }

    // Any name a Linux file may have reaches the tool as one unchanged
    // argument, and its printed line reads back into the same arguments.
    void anyPathSurvivesTheCommandAndItsText()
    {
        const QString alphabet = QString::fromUtf8("ab Z09 \t\"\"'%$\\;&|*?~-_.,:=()[]{}<>!#@^`+éü映画\n\x7f");
        QRandomGenerator random(20261207);
        for (int round = 0; round < 5000; ++round) {
            QString path = QStringLiteral("/");
            const int length = 1 + random.bounded(24);
            for (int i = 0; i < length; ++i)
                path += alphabet.at(random.bounded(alphabet.size()));
            for (const ToolCommand &command : { preProcessCommand(ffmpegPath, path, "/o/t.avi"),
                                                transcodeCommand(mencoderPath, "320:240", path, "/o/x.avi"),
                                                directCommand(ffmpegPath, "320:240", path, "/o/x.avi") }) {
                QVERIFY2(command.arguments().contains(path), qPrintable(path));
                QVERIFY2(QProcess::splitCommand(command.text()) == QStringList(command.program()) + command.arguments(),
                         qPrintable(command.text()));
            }
        }
    }

    void planMakesAbsolutePathsAndItsOwnTemporaryFiles()
    {
        const QString a = video("a.mp4");
        const QString b = video("b.mkv");
        QDir::setCurrent(m_dir.path());
        PlanSettings settings;
        settings.scale = "320:240";
        settings.outputFolder = m_dir.filePath("out");
        Plan plan({ "a.mp4", b });
        const Job first = plan.add(0, "a.mp4", settings);
        const Job second = plan.add(1, b, settings);
        QCOMPARE(first.refusal, QString());
        QCOMPARE(first.source, a); // "-x.mp4" typed into the table is never an option
        QCOMPARE(first.target, m_dir.filePath("out/a.avi"));
        QVERIFY(first.temporary != second.temporary);
        for (const Job &job : { first, second }) {
            QCOMPARE(QFileInfo(job.temporary).absolutePath(), settings.outputFolder);
            QVERIFY(QFileInfo(job.temporary).fileName().startsWith("quorvel-tmp."));
            QVERIFY(job.temporary.contains("." + QString::number(QCoreApplication::applicationPid()) + "."));
            QCOMPARE(job.preProcess->arguments().last(), job.temporary);
            const QStringList transcode = job.transcode.arguments();
            QCOMPARE(transcode.at(transcode.indexOf("-o") - 1), job.temporary);
            // The result is written under a hidden working name of this
            // process's beside the target, and named for the target.
            QCOMPARE(transcode.last(), job.working);
            QCOMPARE(QFileInfo(job.working).absolutePath(), settings.outputFolder);
            QVERIFY(QFileInfo(job.working).fileName().startsWith(".quorvel-"));
            QVERIFY(job.working.endsWith("." + QFileInfo(job.target).fileName() + ".part"));
        }
        QVERIFY(first.working != second.working);
        const Job avi = plan.add(2, video("c.avi"), settings);
        QVERIFY(!avi.preProcess && avi.temporary.isEmpty());
        const QStringList aviTranscode = avi.transcode.arguments();
        QCOMPARE(aviTranscode.at(aviTranscode.indexOf("-o") - 1), avi.source);

        settings.direct = true;
        const Job direct = plan.add(3, video("d.mp4"), settings);
        QVERIFY(!direct.preProcess && direct.direct);
        QCOMPARE(direct.transcode.program(), ffmpegPath);
    }

    // What a Quorvel of this machine left when it died goes; a running
    // process's files, another machine's and everything else stay.
    void leftoversOfEndedProcessesAreRemoved()
    {
        const QString host =
            QFileInfo(Plan().add(0, video("h.mp4"), PlanSettings()).temporary).fileName().section('.', 1, 1);
        QProcess ended;
        ended.start("true", {});
        QVERIFY(ended.waitForStarted());
        const QString dead = QString::number(ended.processId());
        QVERIFY(ended.waitForFinished());
        QProcess running;
        running.start("sleep", { "30" });
        QVERIFY(running.waitForStarted());
        const QString live = QString::number(running.processId());
        const QString self = QString::number(QCoreApplication::applicationPid());

        QTemporaryDir folder;
        const QStringList gone { "quorvel-tmp." + host + "." + dead + ".3.avi",
                                 ".quorvel-" + host + "-" + dead + "-4.clip-1-2.avi.part" };
        const QStringList kept { ".quorvel-" + host + "-" + live + "-5.a.avi.part",
                                 "quorvel-tmp." + host + "." + self + ".6.avi",
                                 ".quorvel-elsewhere-" + dead + "-7.a.avi.part",
                                 "quorvel-tmp.elsewhere." + dead + ".8.avi", "clip.avi" };
        for (const QString &name : gone + kept)
            writeFile(folder.filePath(name), "x");
        QCOMPARE(removeLeftovers(folder.path()), 2);
        QStringList expected = kept;
        expected.sort();
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
        running.kill();
        running.waitForFinished();
    }

    void temporaryFileIsNeverASource()
    {
        PlanSettings settings;
        settings.outputFolder = m_dir.path();
        const QString pid = QString::number(QCoreApplication::applicationPid());
        // The user's own files under every name the next jobs would use.
        const int next = Plan().add(0, video("x.mp4"), settings).temporary.section('.', -2, -2).toInt() + 1;
        QStringList sources;
        for (int n = next; n < next + 40; ++n)
            sources << video(QStringLiteral("quorvel-tmp.%1.%2.%3.avi")
                                 .arg(QSysInfo::machineHostName().section('.', 0, 0), pid)
                                 .arg(n));
        Plan plan(sources);
        const Job job = plan.add(0, video("e.mp4"), settings);
        QVERIFY(!job.temporary.isEmpty());
        for (const QString &source : sources)
            QVERIFY(!sameFile(source, job.temporary));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "gone.mp4" << QByteArray() << "%1 does not exist";
        QTest::newRow("empty") << "empty.mp4" << QByteArray("") << "%1 is empty";
        QTest::newRow("text") << "notes.mp4" << QByteArray("just some words\n") << "%1 is a text file, not a video";
        QTest::newRow("same target") << "dup.mkv" << QByteArray("\x00\x01\x02", 3) << "same target as %2";
        QTest::newRow("target is the source")
            << "out/self.avi" << QByteArray("\x00\x01\x02", 3) << "the target would overwrite the source";
    }

    void refusals()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath(name);
        if (!content.isNull())
            writeFile(path, content);
        PlanSettings settings;
        settings.outputFolder = m_dir.filePath("out");
        Plan plan;
        const QString first = video("dup.mp4");
        QCOMPARE(plan.add(0, first, settings).refusal, QString());
        const Job job = plan.add(1, path, settings);
        QCOMPARE(job.refusal, reason.replace("%1", path).replace("%2", first));
        QVERIFY(!job.preProcess);
    }
};

QTEST_GUILESS_MAIN(PlanTest)
#include "tst_plan.moc"
