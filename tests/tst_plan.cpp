// SPDX-License-Identifier: GPL-3.0-or-later
// What a job is before any tool runs: the tool commands as argument lists,
// the target and temporary file, and the sources refused.

#include "conversion.h"
#include "paths.h"
#include "names.h"
#include "batchplan.h"
#include "testsupport.h"
#include "toolcommands.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

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
        QCOMPARE(buildTargetPath(baseNameOf(path), outputPath), outputPath + "/" + target);
        QCOMPARE(needsPreProcess(path), preProcess);
    }

    // A cap on the threads is an input option: it reaches the decoder.
    void threadCapReachesTheDecoder()
    {
        const QStringList arguments =
            directCommand("/b/ffmpeg", "160:128", "/v/a.mp4", "/o/a.avi", Picture::KeepShape, 2).arguments();
        QCOMPARE(arguments.at(arguments.indexOf("-threads") + 1), QStringLiteral("2"));
        QVERIFY(arguments.indexOf("-threads") < arguments.indexOf("-i"));
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
            QVERIFY(QFileInfo(job.temporary).fileName().startsWith(".quorvel-" + processTag() + "-"));
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

    // What a Quorvel of this machine left when it died goes, under every
    // name the program makes; a running process's files, another machine's
    // and everything else stay.
    void leftoversOfEndedProcessesAreRemoved()
    {
        QTemporaryDir folder;
        QCOMPARE(QProcess::execute(QUORVEL_NAMEMAKER, { folder.path() }), 0);
        const QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left.size(), 4); // the temporary file, two working names, the probe
        QStringList kept { QFileInfo(temporaryNameFor(folder.path())).fileName(),
                           QFileInfo(workingNameFor(folder.filePath("a.avi"))).fileName(), "clip.avi" };
        // Another machine's, by the same scheme.
        const QString host = processTag().section('-', 0, -2);
        kept << QString(left.first()).replace(".quorvel-" + host + "-", ".quorvel-elsewhere" + host + "-");
        QProcess running;
        running.start("sleep", { "30" });
        QVERIFY(running.waitForStarted());
        kept << QString(left.first())
                    .replace(QRegularExpression("^\\.quorvel-" + host + "-\\d+-"),
                             ".quorvel-" + host + "-" + QString::number(running.processId()) + "-");
        for (const QString &name : qAsConst(kept))
            writeFile(folder.filePath(name), "x");
        // The build before this one named its temporary files so.
        writeFile(folder.filePath("quorvel-tmp." + host + ".999999999.3.avi"), "x");
        QCOMPARE(removeLeftovers(folder.path()), 5);
        kept.sort();
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), kept);
        running.kill();
        running.waitForFinished();
    }

    void temporaryFileIsNeverASource()
    {
        PlanSettings settings;
        settings.outputFolder = m_dir.path();
        // The user's own files under every name the next jobs would use.
        const QString sample = QFileInfo(temporaryNameFor(m_dir.path())).fileName();
        const QRegularExpression counter("-(\\d+)\\.tmp\\.avi$");
        const int next = counter.match(sample).captured(1).toInt() + 1;
        QStringList sources;
        for (int n = next; n < next + 40; ++n)
            sources << video(QString(sample).replace(counter, QStringLiteral("-%1.tmp.avi").arg(n)));
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
