// SPDX-License-Identifier: GPL-3.0-or-later
// The prepared tools: bin/mencoder (Debian's mencoder behind the
// compatibility launcher) runs the program's unchanged transcode command with
// every frame and the whole sound track; Debian's mencoder alone does not.

#include "mediasupport.h"
#include "paths.h"
#include "resultcheck.h"
#include "stop.h"
#include "testsupport.h"
#include "names.h"
#include "toolcommands.h"
#include "toolrun.h"

#include <QtTest>

using namespace MediaSupport;
using namespace TestSupport;

class MencoderLauncherTest : public QObject
{
    Q_OBJECT

    QString m_clips;

private slots:
    void initTestCase()
    {
        resetWorkDir();
        QVERIFY(prepareWorkDir(QDir::currentPath()));
        QVERIFY(QFileInfo("bin/ffmpeg").isExecutable());
        QVERIFY(QFileInfo("bin/mencoder").isExecutable());
        m_clips = QDir::current().filePath("clips");
        QDir(m_clips).removeRecursively();
        QVERIFY(generateClip(m_clips + "/source.avi"));
        QVERIFY(generateClip(m_clips + "/source.mp4"));
    }

    void transcodesAnAviWithAudio()
    {
        const QString target = buildTargetPath("direct", outputPath);
        const Stop noStop;
        const ToolRun run = runTool(ToolOutput::Tool::Mencoder,
                                    transcodeCommand(mencoderPath, "320:240", m_clips + "/source.avi", target), noStop);
        // Through the launcher, a good run ends by itself with status 0.
        QCOMPARE(int(run.end), int(ToolRun::End::Finished));
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(checkTranscode(run, target), QString());
        verifyConversion(m_clips + "/source.avi", target, 320, 240);
    }

    void transcodesWhatThePreProcessWrites()
    {
        const Stop noStop;
        const QString temp = buildTargetPath("temporary.pre", outputPath);
        const ToolRun preProcess = runTool(ToolOutput::Tool::Ffmpeg,
                                           preProcessCommand(ffmpegPath, m_clips + "/source.mp4", temp), noStop);
        QCOMPARE(checkPreProcess(preProcess, temp), QString());
        const QString target = buildTargetPath("viaPreProcess", outputPath);
        const ToolRun transcode =
            runTool(ToolOutput::Tool::Mencoder, transcodeCommand(mencoderPath, "160:128", temp, target), noStop);
        QCOMPARE(checkTranscode(transcode, target, preProcess.output.durationSeconds()), QString());
        verifyConversion(m_clips + "/source.mp4", target, 160, 128);
        QFile::remove(temp);
    }

    void launcherIsReplacedByTheTool()
    {
        // exec: the process the program starts is mencoder itself, so a stop
        // reaches the encoder and nothing is left behind.
        QProcess tool;
        // Reading a stream from standard input keeps mencoder waiting until we are done.
        tool.start("bin/mencoder", { "-", "-ovc", "copy", "-oac", "copy", "-o", "/dev/null" });
        QVERIFY(tool.waitForStarted());
        QTRY_COMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(tool.processId())),
                     QStringLiteral("/usr/bin/mencoder"));
        tool.kill();
        QVERIFY(tool.waitForFinished());
    }

    void debianMencoderAloneFailsTheSameCommand()
    {
        const QString target = QDir::current().filePath("output/unshimmed.avi");
        const Stop noStop;
        const ToolRun run = runTool(
            ToolOutput::Tool::Mencoder,
            transcodeCommand("/usr/bin/mencoder", "320:240", m_clips + "/source.avi", target), noStop);
        const int frames = QFileInfo(target).size() > 0 ? probeStream(target, "v").value("nb_read_frames").toInt() : 0;
        QVERIFY2(!run.output.markerSeen() || frames <= 2, qPrintable(QString::number(frames)));
        // The result check refuses what it made, although it prints the marker.
        QVERIFY(!checkTranscode(run, target).isEmpty());
    }
};

QTEST_GUILESS_MAIN(MencoderLauncherTest)
#include "tst_mencoderlauncher.moc"
