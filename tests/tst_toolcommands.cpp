// SPDX-License-Identifier: GPL-3.0-or-later
// The two tool command lines: exact texts, and the argument lists that the
// toolkit splits them into, for awkward paths and labels.

#include "paths.h"
#include "toolcommands.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

namespace {

const QString convertOptions = QStringLiteral(
    " -oac lavc -lavcopts acodec=mp2:abitrate=128 -srate 44100 -vf scale=%1 -ovc xvid "
    "-xvidencopts bitrate=608:max_bframes=0:quant_type=h263:me_quality=0 -force-avi-aspect 4:3 -mc 0 ");

QStringList convertArguments(const QString &scale, const QString &input, const QString &target)
{
    return { "-oac",
             "lavc",
             "-lavcopts",
             "acodec=mp2:abitrate=128",
             "-srate",
             "44100",
             "-vf",
             "scale=" + scale,
             "-ovc",
             "xvid",
             "-xvidencopts",
             "bitrate=608:max_bframes=0:quant_type=h263:me_quality=0",
             "-force-avi-aspect",
             "4:3",
             "-mc",
             "0",
             input,
             "-o",
             target };
}

} // namespace

class ToolCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void pathsFollowTheWorkingDirectory()
    {
        const QString here = QDir::currentPath();
        QCOMPARE(currentPath, here);
        QCOMPARE(outputPath, here + "/output");
        QCOMPARE(buildPreProcessPath(), here + "/output/PreProcess.avi");
        QCOMPARE(buildPreProcessPath(), buildPreProcessPath());
    }

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
        QTest::newRow("empty") << ""
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
        QTest::addColumn<QString>("baseName");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("several dots") << "/v/clip.final.MP4"
                                      << "clip"
                                      << "MP4";
        QTest::newRow("no suffix") << "/v/movie"
                                   << "movie"
                                   << "";
        QTest::newRow("hidden") << "/v/.hidden"
                                << ""
                                << "hidden";
        QTest::newRow("avi") << "/v/a.avi"
                             << "a"
                             << "avi";
        QTest::newRow("dot in folder") << "/v.d/movie"
                                       << "movie"
                                       << "";
    }

    void nameParts()
    {
        QFETCH(QString, path);
        QFETCH(QString, baseName);
        QFETCH(QString, suffix);
        QCOMPARE(baseNameOf(path), baseName);
        QCOMPARE(suffixOf(path), suffix);
        QCOMPARE(buildTargetPath(baseNameOf(path)), outputPath + "/" + baseName + ".avi");
    }

    void preProcessCommand_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("escapedSource");
        QTest::newRow("plain") << "/videos/clip.mp4"
                               << "/videos/clip.mp4";
        QTest::newRow("blanks") << "/my videos/a b.mp4"
                                << "/my videos/a b.mp4";
        QTest::newRow("tab") << "/v/a\tb.mkv"
                             << "/v/a\tb.mkv";
        QTest::newRow("percent") << "/v/100%s %d.mp4"
                                 << "/v/100%s %d.mp4";
        QTest::newRow("non-ASCII") << QString::fromUtf8("/vidéos/映画 ü.mp4")
                                   << QString::fromUtf8("/vidéos/映画 ü.mp4");
        QTest::newRow("double quote") << "/v/say \"hi\".mp4"
                                      << "/v/say \"\"\"hi\"\"\".mp4";
        QTest::newRow("quote at the ends") << "\"/v/q.mp4\""
                                           << "\"\"\"/v/q.mp4\"\"\"";
    }

    void preProcessCommand()
    {
        QFETCH(QString, source);
        QFETCH(QString, escapedSource);
        const QString temp = buildPreProcessPath();
        const QString command = buildPreProcessCommand(source, temp);
        QCOMPARE(command, "\"" + ffmpegPath + "\" -y -i \"" + escapedSource + "\" \"" + temp + "\"");
        QCOMPARE(QProcess::splitCommand(command), QStringList({ ffmpegPath, "-y", "-i", source, temp }));
    }

    void emptySourceVanishesFromThePreProcess()
    {
        const QString temp = buildPreProcessPath();
        QCOMPARE(QProcess::splitCommand(buildPreProcessCommand(QString(), temp)),
                 QStringList({ ffmpegPath, "-y", "-i", temp }));
    }

    void convertCommand_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("escapedInput");
        QTest::newRow("320x240") << "320x240"
                                 << "/v/a.avi"
                                 << "/o/a.avi"
                                 << "/v/a.avi";
        QTest::newRow("160x128") << "160x128"
                                 << "/v/a.avi"
                                 << "/o/a.avi"
                                 << "/v/a.avi";
        QTest::newRow("128x128") << "128x128"
                                 << "/v/a.avi"
                                 << "/o/a.avi"
                                 << "/v/a.avi";
        QTest::newRow("220x176") << "220x176"
                                 << "/v/a.avi"
                                 << "/o/a.avi"
                                 << "/v/a.avi";
        QTest::newRow("no match") << "nothing"
                                  << "/v/a.avi"
                                  << "/o/a.avi"
                                  << "/v/a.avi";
        QTest::newRow("blanks and percent") << "320x240"
                                            << "/my v/50% a.avi"
                                            << "/o/50% a.avi"
                                            << "/my v/50% a.avi";
        QTest::newRow("quote") << "320x240"
                               << "/v/\"a\".avi"
                               << "/o/\"a\".avi"
                               << "/v/\"\"\"a\"\"\".avi";
    }

    void convertCommand()
    {
        QFETCH(QString, label);
        QFETCH(QString, input);
        QFETCH(QString, target);
        QFETCH(QString, escapedInput);
        const QString scale = ::scaleForResolution(label);
        const QString command = buildConvertCommand(scale, input, target);
        QString escapedTarget = target;
        escapedTarget.replace("\"", "\"\"\"");
        QCOMPARE(command,
                 "\"" + mencoderPath + "\"" + convertOptions.arg(scale) + "\"" + escapedInput + "\" -o \""
                     + escapedTarget + "\"");
        QCOMPARE(QProcess::splitCommand(command),
                 QStringList { mencoderPath } + convertArguments(scale, input, target));
    }

    void emptyScaleLeavesABareScaleArgument()
    {
        const QStringList arguments = QProcess::splitCommand(buildConvertCommand(QString(), "/v/a.avi", "/o/a.avi"));
        QVERIFY(buildConvertCommand(QString(), "/v/a.avi", "/o/a.avi").contains("-vf scale= -ovc"));
        QCOMPARE(arguments.at(arguments.indexOf("-vf") + 1), QStringLiteral("scale="));
    }

    // Any name a Linux file may have arrives as exactly one, unchanged argument.
    void anyPathArrivesAsOneArgument()
    {
        const QString alphabet = QString::fromUtf8("ab Z09 \t\"\"'%$\\;&|*?~-_.,:=()[]{}<>!#@^`+éü映画\n\x7f");
        QRandomGenerator random(20261207);
        for (int round = 0; round < 5000; ++round) {
            QString path = QStringLiteral("/");
            const int length = 1 + random.bounded(24);
            for (int i = 0; i < length; ++i)
                path += alphabet.at(random.bounded(alphabet.size()));
            const QString target = buildTargetPath(baseNameOf(path));

            const QStringList pre = QProcess::splitCommand(buildPreProcessCommand(path, buildPreProcessPath()));
            QVERIFY2(pre.size() == 5 && pre.at(3) == path, qPrintable(path));
            const QStringList convert = QProcess::splitCommand(buildConvertCommand("320:240", path, target));
            QVERIFY2(convert.size() == 20 && convert.at(17) == path && convert.at(19) == target, qPrintable(path));
            const QStringList direct = QProcess::splitCommand(buildDirectCommand("320:240", path, target));
            QVERIFY2(direct.size() == 38 && direct.at(6) == path && direct.last() == target, qPrintable(path));
        }
    }

    void directCommand()
    {
        QCOMPARE(QProcess::splitCommand(buildDirectCommand("160:128", "/v/a b.mp4", "/o/a b.avi", "/usr/bin/ffmpeg")),
                 QStringList({ "/usr/bin/ffmpeg",
                               "-nostdin",
                               "-y",
                               "-skip_loop_filter",
                               "all",
                               "-i",
                               "/v/a b.mp4",
                               "-map",
                               "0:v:0",
                               "-map",
                               "0:a:0?",
                               "-sn",
                               "-dn",
                               "-vf",
                               "scale=160:128,setdar=4/3",
                               "-c:v",
                               "libxvid",
                               "-threads:v",
                               "1",
                               "-vtag",
                               "XVID",
                               "-b:v",
                               "608k",
                               "-bf",
                               "0",
                               "-mpeg_quant",
                               "0",
                               "-c:a",
                               "mp2",
                               "-b:a",
                               "128k",
                               "-ar",
                               "44100",
                               "-ac",
                               "2",
                               "-f",
                               "avi",
                               "/o/a b.avi" }));
    }

    void resolutionsAreTheFourLabels()
    {
        QCOMPARE(resolutionLabels(), QStringList({ "320x240", "160x128", "128x128", "220x176" }));
        for (const QString &label : resolutionLabels())
            QVERIFY(!::scaleForResolution(label).isEmpty());
    }
};

QTEST_GUILESS_MAIN(ToolCommandsTest)
#include "tst_toolcommands.moc"
