// SPDX-License-Identifier: GPL-3.0-or-later
// quorvel-batch started as a user or a scheduler starts it, as a process of
// its own: usage errors, the dry run against the window's command lines,
// real clips, folders, bad and duplicate sources, stop signals, parallel
// jobs, the live line on a terminal, and the GNU parallel and Slurm recipes.

#include "mediasupport.h"
#include "testsupport.h"
#include "toolcommands.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

using namespace MediaSupport;
using namespace TestSupport;

namespace {

const QString batchProgram = QStringLiteral(QUORVEL_BATCH);
const QString recipes = QStringLiteral(QUORVEL_RECIPES_DIR);

struct Finished {
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray err;
    QList<QStringList> lines; // standard output, split at line ends and tabs

    QStringList column(int index) const
    {
        QStringList values;
        for (const QStringList &line : lines)
            values << line.value(index);
        return values;
    }
    // The first line of a source, without its seconds, fields joined by '|'.
    QString of(const QString &source) const
    {
        for (const QStringList &line : lines)
            if (line.value(1) == source)
                return QStringList { line.value(0), line.value(1), line.value(2), line.value(4) }.join('|');
        return QString();
    }
};

Finished finish(QProcess &process, int timeoutMs = 60000)
{
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    Finished run { process.exitCode(), process.exitStatus(), process.readAllStandardError(), {} };
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    for (const QString &line : out.split('\n', Qt::SkipEmptyParts))
        run.lines << line.split('\t');
    return run;
}

void start(QProcess &process, const QString &program, const QStringList &arguments, const QString &workDir,
           const QProcessEnvironment &env)
{
    process.setWorkingDirectory(workDir);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
}

Finished run(const QString &program, const QStringList &arguments, const QString &workDir,
             const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    start(process, program, arguments, workDir, env);
    return finish(process);
}

QString line(const QString &status, const QString &source, const QString &target, const QString &reason = QString())
{
    return QStringList { status, source, target, reason }.join('|');
}

// The processes whose command line names `text`.
QList<qint64> processesNaming(const QString &text)
{
    QList<qint64> found;
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile commandLine("/proc/" + entry + "/cmdline");
        if (entry.toLongLong() > 0 && commandLine.open(QIODevice::ReadOnly)
            && QString::fromLocal8Bit(commandLine.readAll().replace('\0', ' ')).contains(text))
            found << entry.toLongLong();
    }
    return found;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// A temporary folder with fake tools in tools/: each notes its process id
// and its arguments in pids/, then acts as tests/fixtures/fake-tool.
struct Sandbox {
    QTemporaryDir temp;
    const QString dir = temp.path();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    Sandbox()
    {
        QDir().mkpath(dir + "/pids");
        for (const QString name : { "ffmpeg", "mencoder" }) {
            QDir().mkpath(dir + "/tools");
            QFile::copy(fixture("pid-tool"), dir + "/tools/" + name);
            QFile::copy(fixture("fake-tool"), dir + "/tools/" + name + ".fake");
        }
        env.insert("QUORVEL_PID_DIR", dir + "/pids");
        env.insert("QUORVEL_BATCH", batchProgram); // for the recipes
        env.insert("HOME", dir + "/home");
    }
    Finished batch(const QStringList &arguments) const { return run(batchProgram, arguments, dir, env); }
    QList<qint64> toolPids() const
    {
        QList<qint64> pids;
        for (const QString &name : QDir(dir + "/pids").entryList(QDir::Files))
            pids << name.toLongLong();
        return pids;
    }
    int runningTools() const
    {
        int running = 0;
        for (const qint64 pid : toolPids())
            running += processRunning(pid) ? 1 : 0;
        return running;
    }
    // Each tool run: the tool's name and its arguments.
    QList<QStringList> toolRuns() const
    {
        QList<QStringList> runs;
        for (const qint64 pid : toolPids()) {
            QFile record(dir + "/pids/" + QString::number(pid));
            if (record.open(QIODevice::ReadOnly))
                runs << QString::fromUtf8(record.readAll()).split(QChar(0x1f));
        }
        return runs;
    }
    // Each tool run as its name and its input: "ffmpeg /x/a.mp4".
    QStringList toolInputs() const
    {
        QStringList inputs;
        for (const QStringList &run : toolRuns()) {
            const int input = run.value(0) == "ffmpeg" ? run.indexOf("-i") + 1 : run.indexOf("-o") - 1;
            inputs << run.value(0) + ' ' + run.value(input);
        }
        return inputs;
    }
};

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

    QString m_work; // its bin/ holds the real tools
    QString clip(const QString &name) const { return m_work + "/clips/" + name; }
    void copyClip(const QString &name, const QString &to) const
    {
        QDir().mkpath(QFileInfo(to).absolutePath());
        QFile::remove(to);
        QVERIFY2(QFile::copy(clip(name), to), qPrintable(to));
    }

    // A sandbox whose mencoder takes `seconds` (holding its output open from
    // the start, as the real one does, with `openFirst`), and copies of
    // `clip` under `names`.
    void slowMencoder(Sandbox &box, int seconds, const QString &clip, const QStringList &names,
                      bool openFirst = false) const
    {
        box.env.insert("QUORVEL_FAKE_MENCODER", "slow");
        box.env.insert("QUORVEL_FAKE_SECONDS", QString::number(seconds));
        if (openFirst)
            box.env.insert("QUORVEL_FAKE_OPEN_FIRST", "yes");
        for (const QString &name : names)
            copyClip(clip, box.dir + '/' + name);
    }

private slots:
    void initTestCase()
    {
        m_work = QDir::currentPath();
        resetWorkDir();
        QVERIFY(prepareWorkDir(m_work));
        QDir(m_work + "/clips").removeRecursively();
        QVERIFY(generateClip(clip("one.mp4")));
        QVERIFY(generateClip(clip("two.avi")));
        QVERIFY(generateClip(clip(QString::fromUtf8("vidéo 2.mkv"))));
    }

    // The tool search, asked from outside: the tools a run would use.
    void printToolsNamesWhatARunUses()
    {
        const Finished here = ::run(batchProgram, { "--print-tools" }, m_work);
        QCOMPARE(here.exitCode, 0);
        QCOMPARE(here.lines, QList<QStringList>({ { "ffmpeg", m_work + "/bin/ffmpeg" },
                                                  { "mencoder", m_work + "/bin/mencoder" } }));
        Sandbox box;
        const Finished named = box.batch({ "--print-tools", "--direct", "-t", "tools" });
        QCOMPARE(named.lines, QList<QStringList>({ { "ffmpeg", box.dir + "/tools/ffmpeg" } }));
        const Finished missing = box.batch({ "--print-tools", "-t", "nowhere" });
        QCOMPARE(missing.exitCode, 2);
        QVERIFY(missing.lines.isEmpty());
    }

    void helpAndVersion()
    {
        const Finished help = run(batchProgram, { "--help" }, m_work);
        QCOMPARE(help.exitCode, 0);
        const QRegularExpression jobs("^  -j, --jobs <N> +Conversions at once \\(default: the number of cores, "
                                      + QString::number(QThread::idealThreadCount()) + "\\)\\.$");
        QVERIFY(!help.column(0).filter(jobs).isEmpty());
        const Finished version = run(batchProgram, { "-v" }, m_work);
        QCOMPARE(version.exitCode, 0);
        QVERIFY(QRegularExpression("^quorvel-batch \\d+\\.\\d+\\.\\d+$").match(version.column(0).value(0)).hasMatch());
    }

    void usageAndSetupErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("variable"); // NAME=value
        QTest::addColumn<QString>("message");
        const QStringList fake { "-t", "tools" };
        QTest::newRow("unknown option") << QStringList { "--frobnicate", "a.mp4" } << ""
                                        << "Unknown option";
        QTest::newRow("option value missing") << QStringList { "a.mp4", "-o" } << ""
                                              << "Missing value after";
        QTest::newRow("bad size") << fake + QStringList { "-s", "640x480", "a.mp4" } << ""
                                  << "unknown size";
        QTest::newRow("size in a longer text") << fake + QStringList { "--size=x320x240", "a.mp4" } << ""
                                               << "unknown size 'x320x240'";
        QTest::newRow("unknown format") << fake + QStringList { "--format", "mkv", "a.mp4" } << ""
                                        << "--format 'mkv' is not one of avi, amv, mp4";
        QTest::newRow("jobs 0") << fake + QStringList { "--jobs", "0", "a.mp4" } << ""
                                << "--jobs needs";
        QTest::newRow("jobs abc") << fake + QStringList { "-j", "abc", "a.mp4" } << ""
                                  << "not 'abc'";
        QTest::newRow("no sources") << fake << ""
                                    << "no sources";
        QTest::newRow("folder without videos") << fake + QStringList { "empty" } << ""
                                               << "no video files in";
        QTest::newRow("tools folder without ffmpeg") << QStringList { "-t", "empty", "a.mp4" } << ""
                                                     << "sudo apt install ffmpeg";
        QTest::newRow("tools folder without mencoder") << QStringList { "-t", "ffmpeg-only", "a.mp4" } << ""
                                                       << "sudo apt install mencoder";
        QTest::newRow("ffmpeg not installed")
            << QStringList { "a.mp4" } << "QUORVEL_REAL_FFMPEG=/nonexistent/ffmpeg"
            << "ffmpeg is not installed (/nonexistent/ffmpeg is missing); install it with: sudo apt install ffmpeg";
        QTest::newRow("mencoder not installed")
            << QStringList { "a.mp4" } << "QUORVEL_REAL_MENCODER=/nonexistent/mencoder"
            << "mencoder is not installed (/nonexistent/mencoder is missing); install it with: sudo apt install "
               "mencoder";
        QTest::newRow("output is a file") << fake + QStringList { "-o", "a.mp4", "a.mp4" } << ""
                                          << "is not a folder";
        QTest::newRow("output cannot be made") << fake + QStringList { "-o", "a.mp4/out", "a.mp4" } << ""
                                               << "cannot make the output folder";
    }

    // Status 2 before any work: no line, no tool, no folder made.
    void usageAndSetupErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, variable);
        QFETCH(QString, message);
        Sandbox box;
        copyClip("one.mp4", box.dir + "/a.mp4");
        QVERIFY(QDir().mkpath(box.dir + "/empty"));
        QVERIFY(QDir().mkpath(box.dir + "/ffmpeg-only"));
        QVERIFY(QFile::copy(fixture("fake-tool"), box.dir + "/ffmpeg-only/ffmpeg"));
        if (!variable.isEmpty())
            box.env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        const Finished run = box.batch(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
        QVERIFY(run.lines.isEmpty());
        QVERIFY(box.toolPids().isEmpty());
        QVERIFY(!QFileInfo::exists(box.dir + "/output"));
    }

    // A dry run starts nothing and makes nothing. Each line it prints, run
    // by sh, hands each tool exactly what a real run hands it, however the
    // sources are named; each pre-process has a temporary file of its own.
    void dryRunLinesAreWhatARunDoes_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("toolRuns");
        QTest::newRow("two steps") << QStringList() << 11;
        QTest::newRow("one pass") << QStringList("--direct") << 6;
    }

    void dryRunLinesAreWhatARunDoes()
    {
        QFETCH(QStringList, options);
        QFETCH(int, toolRuns);
        Sandbox box;
        const QString dir = box.dir;
        const QStringList names { "a.mp4",   "quote \" and blank.mkv",          "it's.mp4", "$HOME `id` \\n.mp4",
                                  "-vo.avi", QString::fromUtf8("vidéo ünï.mp4") };
        for (const QString &name : names)
            copyClip("one.mp4", dir + '/' + name);
        const QStringList arguments = options
            + QStringList { "-s", "128x128", "-j", "1", "-o", "out", "-t", "tools", "--" } + names;

        const Finished dry = box.batch(QStringList("-n") + arguments);
        QCOMPARE(dry.exitCode, 0);
        QCOMPARE(dry.err, QByteArray());
        QVERIFY(box.toolPids().isEmpty());
        QVERIFY(!QFileInfo::exists(dir + "/out"));

        QDir(dir).mkdir("out");
        QProcessEnvironment shell = box.env;
        shell.insert("QUORVEL_FAKE_LOG", dir + "/dry.log");
        for (const QStringList &line : dry.lines)
            QCOMPARE(run("/bin/sh", { "-c", line.join('\t') }, dir, shell).exitCode, 0);
        box.env.insert("QUORVEL_FAKE_LOG", dir + "/real.log");
        const Finished run = box.batch(arguments);
        QCOMPARE(run.exitCode, 0);
        // The report escapes a backslash in a name: each line stays one line.
        QVERIFY(run.column(1).contains(dir + "/$HOME `id` \\\\n.mp4"));

        // Temporary and working files are named for the process that plans
        // them.
        QSet<QString> temporaries;
        const auto calls = [&temporaries](const QString &log) {
            QList<QStringList> runs = readToolLog(log);
            for (QStringList &words : runs) {
                for (QString &word : words) {
                    const QString name = QFileInfo(word).fileName();
                    if (name.startsWith(".quorvel-") && name.endsWith(".tmp.avi")) {
                        temporaries << word;
                        word = "TEMPORARY";
                    } else if (name.startsWith(".quorvel-") && name.endsWith(".part")) {
                        word = "WORKING " + name.section('.', -3); // its result's name stays
                    }
                }
            }
            return runs;
        };
        const QList<QStringList> real = calls(dir + "/real.log");
        QCOMPARE(real.size(), toolRuns);
        QCOMPARE(calls(dir + "/dry.log"), real);
        QCOMPARE(temporaries.size(), options.isEmpty() ? 10 : 0); // five a run
    }

    void dryRunNamesTheSourcesItWouldSkip()
    {
        Sandbox box;
        const QString dir = box.dir;
        copyClip("one.mp4", dir + "/a.mp4");
        // Sources that a run would fail before any tool are named instead.
        const Finished skipping = box.batch({ "-n", "-t", "tools", "a.mp4", "missing.mp4", "a.mp4" });
        QCOMPARE(skipping.exitCode, 1);
        QCOMPARE(skipping.lines.size(), 2);
        QCOMPARE(QString::fromUtf8(skipping.err),
                 QString("quorvel-batch: skipped %1/missing.mp4: %1/missing.mp4 does not exist\n"
                         "quorvel-batch: skipped %1/a.mp4: same target as %1/a.mp4\n")
                     .arg(dir));
        QVERIFY(!QFileInfo::exists(dir + "/output"));
    }

    // The real tools in the working directory's bin/: files named like
    // options reach them as files, and every result is a good Xvid file.
    void convertsRealClips()
    {
        const QString out = m_work + "/out real";
        QDir(out).removeRecursively();
        copyClip("one.mp4", m_work + "/--help.mp4");
        copyClip("two.avi", m_work + "/-vo.avi");
        const QString mkv = clip(QString::fromUtf8("vidéo 2.mkv"));
        const Finished run = ::run(
            batchProgram,
            { "-j", "2", "-s", "220x176", "-o", "out real", "clips/one.mp4", "./--help.mp4", mkv, "--", "-vo.avi" },
            m_work);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        const QStringList sources { clip("one.mp4"), m_work + "/--help.mp4", mkv, m_work + "/-vo.avi" };
        QCOMPARE(run.lines.size(), sources.size());
        for (const QString &source : sources) {
            const QString target = out + '/' + baseNameOf(source) + ".avi";
            QCOMPARE(run.of(source), line("Success", source, target));
            verifyConversion(source, target, 220, 176);
        }
        for (const QString &seconds : run.column(3))
            QVERIFY(seconds.toDouble() > 0);
        QCOMPARE(filesIn(out), QStringList({ "--help.avi", "-vo.avi", "one.avi", QString::fromUtf8("vidéo 2.avi") }));
    }

    void folderArgumentAddsItsVideos()
    {
        Sandbox box;
        const QString videos = box.dir + "/videos";
        copyClip("one.mp4", videos + "/a.mp4");
        copyClip(QString::fromUtf8("vidéo 2.mkv"), videos + "/sub/b.mkv");
        copyClip("two.avi", videos + "/sub/deeper/c"); // a video by its content alone
        writeFile(videos + "/sub/notes.txt", "not a video\n");
        const Finished run = box.batch({ "-j", "1", "-t", "tools", "videos" });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.column(1), QStringList({ videos + "/a.mp4", videos + "/sub/b.mkv", videos + "/sub/deeper/c" }));
        QCOMPARE(run.column(0), QStringList({ "Success", "Success", "Success" }));
        QCOMPARE(filesIn(box.dir + "/output"), QStringList({ "a.avi", "b.avi", "c.avi" }));
    }

    // Real tools: each bad source fails with its reason, the run goes on.
    void badSourcesAmongGoodOnes()
    {
        QTemporaryDir temp;
        const QString dir = temp.path();
        writeFile(dir + "/notes.mp4", "Just some words, no pictures.\n");
        writeFile(dir + "/empty.mp4", "");
        QByteArray noise;
        for (quint32 i = 1; noise.size() < 65536; i = i * 1664525u + 1013904223u)
            noise.append(char(i >> 24));
        writeFile(dir + "/noise.mp4", noise);
        QStringList sources { clip("one.mp4"), dir + "/missing.mp4", dir + "/notes.mp4", dir + "/empty.mp4",
                              dir + "/noise.mp4" };
        QStringList reasons { "", dir + "/missing.mp4 does not exist", dir + "/notes.mp4 is a text file, not a video",
                              dir + "/empty.mp4 is empty", "ffmpeg: " };
        if (geteuid() != 0) { // root reads any file
            writeFile(dir + "/locked.mp4", "x");
            QVERIFY(QFile::setPermissions(dir + "/locked.mp4", QFileDevice::WriteOwner));
            sources << dir + "/locked.mp4";
            reasons << dir + "/locked.mp4 cannot be read";
        }
        sources << clip("two.avi");
        reasons << "";
        const Finished run = ::run(batchProgram, QStringList { "-j", "1", "-o", dir + "/out" } + sources, m_work);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.column(1), sources);
        for (int i = 0; i < sources.size(); ++i) {
            QCOMPARE(run.lines.at(i).value(0), QString(reasons.at(i).isEmpty() ? "Success" : "Failed"));
            QVERIFY2(run.lines.at(i).value(4).startsWith(reasons.at(i)), qPrintable(run.lines.at(i).join(' ')));
        }
        QCOMPARE(filesIn(dir + "/out"), QStringList({ "one.avi", "two.avi" }));
    }

    // Real tools: a name as long as the file system takes converts in both
    // pipelines; one longer than that fails before any tool runs.
    void longNamesConvert_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::newRow("two steps") << false;
        QTest::newRow("one pass") << true;
    }

    void longNamesConvert()
    {
        QFETCH(bool, direct);
        QTemporaryDir temp;
        const QString longest = temp.filePath(QString(250, 'L') + ".mp4");
        const QString tooLong = temp.filePath(QString(252, 'T') + ".ts"); // its target would take 256 bytes
        copyClip("one.mp4", longest);
        copyClip("one.mp4", tooLong);
        const QString out = temp.filePath("out");
        const Finished run = ::run(batchProgram,
                                   QStringList { "-j", "1", "-o", out } + (direct ? QStringList { "--direct" } : QStringList())
                                       + QStringList { longest, tooLong },
                                   m_work);
        QCOMPARE(run.exitCode, 1);
        const QString target = out + '/' + QString(250, 'L') + ".avi";
        QCOMPARE(run.of(longest), line("Success", longest, target));
        QCOMPARE(run.of(tooLong), line("Failed", tooLong, out + '/' + QString(252, 'T') + ".avi",
                                       "the name is too long for the file system"));
        verifyConversion(longest, target, 320, 240);
        QCOMPARE(filesIn(out), QStringList({ QString(250, 'L') + ".avi" }));
    }

    // The output folder renamed while a tool writes into it: every source
    // names the folder that has gone, and nothing of the batch is left in
    // the folder under its new name.
    void outputFolderRenamedMidBatch()
    {
        Sandbox box;
        slowMencoder(box, 1, "one.mp4", { "a.mp4", "b.mp4" }, true);
        QProcess batch;
        start(batch, batchProgram, { "-j", "1", "-t", "tools", "a.mp4", "b.mp4" }, box.dir, box.env);
        const QString output = box.dir + "/output";
        QTRY_VERIFY_WITH_TIMEOUT(filesIn(output).filter(".part").size() == 1, 10000);
        QVERIFY(QDir().rename(output, box.dir + "/moved"));
        const Finished run = finish(batch);
        QCOMPARE(run.exitCode, 1);
        const QString gone = "the output folder " + output + " does not exist";
        QCOMPARE(run.of(box.dir + "/a.mp4"), line("Failed", box.dir + "/a.mp4", output + "/a.avi", gone));
        QCOMPARE(run.of(box.dir + "/b.mp4"), line("Failed", box.dir + "/b.mp4", output + "/b.avi", gone));
        QCOMPARE(filesIn(box.dir + "/moved"), QStringList());
    }

    // A reader that goes after the first line: the run goes on to its end,
    // every result whole, and nothing half-written is left.
    void readerThatLeavesEarly()
    {
        Sandbox box;
        slowMencoder(box, 1, "two.avi", { "a.avi", "b.avi", "c.avi" });
        const Finished piped = ::run(
            "bash",
            { "-c", "'" + batchProgram + "' -j 1 -t tools a.avi b.avi c.avi | head -n 1; echo \"status ${PIPESTATUS[0]}\"" },
            box.dir, box.env);
        QCOMPARE(piped.lines.size(), 2);
        QCOMPARE(piped.lines.at(0).value(0), QStringLiteral("Success"));
        QCOMPARE(piped.lines.at(1), QStringList("status 0"));
        QCOMPARE(filesIn(box.dir + "/output"), QStringList({ "a.avi", "b.avi", "c.avi" }));
        QCOMPARE(box.runningTools(), 0);
    }

    void duplicateBaseNamesKeepTheFirst()
    {
        Sandbox box;
        const QString dir = box.dir;
        copyClip("one.mp4", dir + "/a/clip.mp4");
        copyClip("two.avi", dir + "/b/clip.avi");
        copyClip("one.mp4", dir + "/c/clip.x.mkv");
        copyClip("one.mp4", dir + "/other.mp4");
        const Finished run = box.batch(
            { "-j", "2", "-t", "tools", "a/clip.mp4", "b/clip.avi", "other.mp4", "c/clip.x.mkv", "a/clip.mp4" });
        QCOMPARE(run.exitCode, 1);
        const QString target = dir + "/output/clip.avi";
        const QString same = "same target as " + dir + "/a/clip.mp4";
        QStringList lines;
        for (const QStringList &each : run.lines)
            lines << line(each.value(0), each.value(1), each.value(2), each.value(4));
        lines.sort();
        QCOMPARE(lines,
                 QStringList({ line("Failed", dir + "/a/clip.mp4", target, same),
                               line("Failed", dir + "/b/clip.avi", target, same),
                               line("Failed", dir + "/c/clip.x.mkv", target, same),
                               line("Success", dir + "/a/clip.mp4", target),
                               line("Success", dir + "/other.mp4", dir + "/output/other.avi") }));
        QStringList inputs = box.toolInputs().filter("ffmpeg ");
        inputs.sort();
        QCOMPARE(inputs, QStringList({ "ffmpeg " + dir + "/a/clip.mp4", "ffmpeg " + dir + "/other.mp4" }));
    }

    void stopSignalStopsEverything_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("hangingTool");
        QTest::addColumn<bool>("wholeGroup"); // the tools get the signal too, as from Ctrl-C or Slurm
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("direct");
        QTest::newRow("SIGINT in the pre-process") << int(SIGINT) << "FFMPEG" << false << 130 << false;
        QTest::newRow("SIGTERM in the pre-process") << int(SIGTERM) << "FFMPEG" << false << 143 << false;
        QTest::newRow("SIGINT in the transcode") << int(SIGINT) << "MENCODER" << false << 130 << false;
        QTest::newRow("SIGTERM in the transcode") << int(SIGTERM) << "MENCODER" << false << 143 << false;
        QTest::newRow("SIGINT to the group in the pre-process") << int(SIGINT) << "FFMPEG" << true << 130 << false;
        QTest::newRow("SIGTERM to the group in the transcode") << int(SIGTERM) << "MENCODER" << true << 143 << false;
        QTest::newRow("SIGINT in the one pass") << int(SIGINT) << "FFMPEG" << false << 130 << true;
        QTest::newRow("SIGTERM to the group in the one pass") << int(SIGTERM) << "FFMPEG" << true << 143 << true;
    }

    // Two tools hang, each with its partial file written, two sources wait.
    void stopSignalStopsEverything()
    {
        QFETCH(int, signal);
        QFETCH(QString, hangingTool);
        QFETCH(bool, wholeGroup);
        QFETCH(int, exitCode);
        QFETCH(bool, direct);
        Sandbox box;
        box.env.insert("QUORVEL_FAKE_" + hangingTool, "hang");
        box.env.insert("QUORVEL_FAKE_PIDFILE", box.dir + "/hang.pid");
        QStringList sources;
        for (const QString name : { "1.mp4", "2.mp4", "3.mp4", "4.mp4" }) {
            copyClip("one.mp4", box.dir + '/' + name);
            sources << box.dir + '/' + name;
        }
        QProcess batch;
        const QStringList arguments = QStringList { "-j", "2", "-t", "tools" }
            + (direct ? QStringList { "--direct" } : QStringList()) + sources;
        if (wholeGroup) // setsid execs the program in a process group of its own
            start(batch, "setsid", QStringList(batchProgram) + arguments, box.dir, box.env);
        else
            start(batch, batchProgram, arguments, box.dir, box.env);
        const int partialFiles = hangingTool == "FFMPEG" ? 2 : 4; // mencoder's, after ffmpeg's temporary files
        QTRY_VERIFY_WITH_TIMEOUT(box.runningTools() == 2 && filesIn(box.dir + "/output").size() == partialFiles, 10000);

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(::kill(pid_t(wholeGroup ? -batch.processId() : batch.processId()), signal), 0);
        const Finished run = finish(batch, 5000);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.lines.size(), 4);
        const QString reason = signal == SIGINT ? "stopped by SIGINT" : "stopped by SIGTERM";
        for (const QString &source : sources)
            QCOMPARE(run.of(source),
                     line("Stopped", source, box.dir + "/output/" + baseNameOf(source) + ".avi", reason));
        QCOMPARE(box.toolPids().size(), hangingTool == "FFMPEG" ? 2 : 4);
        QCOMPARE(box.runningTools(), 0);
        QCOMPARE(filesIn(box.dir + "/output"), QStringList());
    }

    // A tool ended by someone else, not by the program: it still prints its
    // summary, and its source fails instead of reading Success.
    void toolEndedFromOutsideFailsItsSource_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("reason");
        QTest::newRow("ffmpeg") << "FFMPEG"
                                << "ffmpeg exited with status 255";
        QTest::newRow("mencoder") << "MENCODER"
                                  << "mencoder exited with status 2";
    }

    void toolEndedFromOutsideFailsItsSource()
    {
        QFETCH(QString, tool);
        QFETCH(QString, reason);
        Sandbox box;
        box.env.insert("QUORVEL_FAKE_" + tool, "term");
        box.env.insert("QUORVEL_FAKE_SECONDS", "4");
        box.env.insert("QUORVEL_FAKE_PIDFILE", box.dir + "/term.pid");
        copyClip("one.mp4", box.dir + "/a.mp4");
        QProcess batch;
        start(batch, batchProgram, { "-t", "tools", "a.mp4" }, box.dir, box.env);
        QTRY_VERIFY_WITH_TIMEOUT(readPid(box.dir + "/term.pid") > 0, 10000);
        QTest::qWait(300);
        QCOMPARE(::kill(pid_t(readPid(box.dir + "/term.pid")), SIGTERM), 0);
        const Finished run = finish(batch, 10000);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.of(box.dir + "/a.mp4"), line("Failed", box.dir + "/a.mp4", box.dir + "/output/a.avi", reason));
        QCOMPARE(filesIn(box.dir + "/output"), QStringList());
    }

    // --keep-done picks a batch up again: a second run converts only the
    // source that changed since its result, reports the others Skipped, and
    // exits 0.
    void keepDoneConvertsOnlyWhatIsNotDone()
    {
        Sandbox box;
        QStringList names;
        for (int i = 0; i < 100; ++i) {
            names << QStringLiteral("c%1.avi").arg(i);
            copyClip("two.avi", box.dir + '/' + names.last());
        }
        const QStringList arguments = QStringList { "-j", "2", "-t", "tools", "-o", "out" } + names;
        QCOMPARE(box.batch(arguments).exitCode, 0);
        QCOMPARE(box.toolPids().size(), 100);

        QFile changed(box.dir + "/c7.avi");
        QVERIFY(changed.open(QIODevice::ReadWrite));
        QVERIFY(changed.setFileTime(QDateTime::currentDateTime().addSecs(10), QFileDevice::FileModificationTime));
        changed.close();
        const Finished again = box.batch(QStringList("--keep-done") + arguments);
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(box.toolPids().size(), 101);
        QCOMPARE(again.column(0).count("Skipped"), 99);
        QCOMPARE(again.of(box.dir + "/c0.avi"),
                 line("Skipped", box.dir + "/c0.avi", box.dir + "/out/c0.avi", "already converted"));
        QCOMPARE(again.of(box.dir + "/c7.avi"), line("Success", box.dir + "/c7.avi", box.dir + "/out/c7.avi"));
    }

    // A full disk says so, whatever the tool's own words.
    void fullDiskSaysSo()
    {
        Sandbox box;
        const QString full = box.dir + "/full";
        QDir().mkpath(full);
        if (QProcess::execute("mount", { "-t", "tmpfs", "-o", "size=3m", "tmpfs", full }) != 0)
            QSKIP("cannot mount a small tmpfs here");
        const auto unmount = qScopeGuard([&full] { QProcess::execute("umount", { full }); });
        QFile filler(full + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(64 * 1024, 'f');
        while (filler.write(block) == block.size()) { }
        filler.close();
        copyClip("two.avi", box.dir + "/a.avi");
        const Finished run = box.batch({ "-t", "tools", "-o", full, "a.avi" });
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.of(box.dir + "/a.avi"),
                 line("Failed", box.dir + "/a.avi", full + "/a.avi", "the disk is full (" + full + ")"));
    }

    // SIGTSTP to quorvel-batch alone (a scheduler's suspend) stops its
    // tools, each in a process group of its own, and then itself; SIGCONT
    // lets the run complete.
    void suspendAndContinue()
    {
        Sandbox box;
        slowMencoder(box, 2, "two.avi", { "a.avi", "b.avi" });
        QProcess batch;
        start(batch, batchProgram, { "-j", "2", "-t", "tools", "a.avi", "b.avi" }, box.dir, box.env);
        QTRY_COMPARE_WITH_TIMEOUT(box.runningTools(), 2, 10000);
        const pid_t program = pid_t(batch.processId());
        QCOMPARE(::kill(program, SIGTSTP), 0);
        const auto allStopped = [&box, program] {
            for (const qint64 tool : box.toolPids()) {
                // D: a tool held while its own vfork child, stopped, has not exec'd
                if (processState(tool) != 'T' && processState(tool) != 'D')
                    return false;
            }
            return processState(program) == 'T';
        };
        QTRY_VERIFY_WITH_TIMEOUT(allStopped(), 5000);
        QTest::qWait(2500); // longer than the tools need: held, they do not end
        QVERIFY(allStopped());
        QCOMPARE(::kill(program, SIGCONT), 0);
        const Finished run = finish(batch, 20000);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.column(0), QStringList({ "Success", "Success" }));
    }

    // Real tools: a stop signal to a suspended run ends it at once, as it
    // ends a running one: its exit code and report, no process left, stopped
    // or otherwise, and no partial result.
    void stopSignalWhileSuspended_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("name");
        QTest::newRow("SIGTERM") << int(SIGTERM) << "SIGTERM";
        QTest::newRow("SIGINT") << int(SIGINT) << "SIGINT";
        QTest::newRow("SIGHUP") << int(SIGHUP) << "SIGHUP";
    }

    void stopSignalWhileSuspended()
    {
        QFETCH(int, signal);
        QFETCH(QString, name);
        const QString source = clip("long.avi"); // long enough to be caught in mencoder
        if (!QFile::exists(source))
            QVERIFY(generateClip(source, {}, { "-c:v", "mpeg4", "-q:v", "5", "-c:a", "mp2" }, true, 60, "640x480"));
        QTemporaryDir temp;
        const QString out = temp.filePath("out");
        QProcess batch;
        start(batch, batchProgram, { "-j", "1", "-o", out, source }, m_work, QProcessEnvironment::systemEnvironment());
        QTRY_VERIFY_WITH_TIMEOUT(!processesNaming(out + "/.quorvel-").isEmpty(), 10000); // mencoder's output
        const pid_t program = pid_t(batch.processId());
        QCOMPARE(::kill(program, SIGTSTP), 0);
        QTRY_COMPARE_WITH_TIMEOUT(processState(program), 'T', 5000);
        QTest::qWait(300);
        QCOMPARE(processState(program), 'T');

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(::kill(program, signal), 0);
        const Finished run = finish(batch, 5000);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 128 + signal);
        QCOMPARE(run.of(source), line("Stopped", source, out + "/long.avi", "stopped by " + name));
        QTRY_COMPARE_WITH_TIMEOUT(processesNaming(out), QList<qint64>(), 2000);
        QCOMPARE(filesIn(out), QStringList());
    }

    void jobsRunToolsAtOnce_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::newRow("one job") << 1;
        QTest::newRow("two jobs") << 2;
    }

    // Tool processes overlapping, seen from outside.
    void jobsRunToolsAtOnce()
    {
        QFETCH(int, jobs);
        Sandbox box;
        box.env.insert("QUORVEL_FAKE_DELAY", "0.3");
        for (const QString name : { "a.mp4", "b.mp4", "c.mp4" })
            copyClip("one.mp4", box.dir + '/' + name);
        QProcess batch;
        start(batch, batchProgram, { "-j", QString::number(jobs), "-t", "tools", "a.mp4", "b.mp4", "c.mp4" }, box.dir,
              box.env);
        int most = 0;
        while (!batch.waitForFinished(10))
            most = qMax(most, box.runningTools());
        const Finished run = finish(batch);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.column(0), QStringList({ "Success", "Success", "Success" }));
        QCOMPARE(most, jobs);
        // Each source had a temporary file of its own, and its transcode read it.
        QStringList temporaries;
        for (const QStringList &toolRun : box.toolRuns())
            if (toolRun.value(0) == "ffmpeg")
                temporaries << toolRun.last();
        for (const QString &temporary : temporaries)
            QVERIFY(box.toolInputs().contains("mencoder " + temporary));
        QCOMPARE(QSet<QString>(temporaries.begin(), temporaries.end()).size(), 3);
        QCOMPARE(filesIn(box.dir + "/output"), QStringList({ "a.avi", "b.avi", "c.avi" }));
    }

    // On a terminal, standard error shows one live line, redrawn in place
    // and erased before each line on standard output and at the end.
    void liveLineOnATerminal()
    {
        if (QStandardPaths::findExecutable("script").isEmpty())
            QSKIP("script (util-linux) is not installed");
        Sandbox box;
        box.env.insert("QUORVEL_FAKE_FFMPEG", "slow");
        box.env.insert("QUORVEL_FAKE_SECONDS", "2");
        copyClip("one.mp4", box.dir + "/a.mp4");
        copyClip("one.mp4", box.dir + "/b.mp4");
        QProcess terminal;
        start(terminal, "script", { "-qec", batchProgram + " -j 1 -t tools a.mp4 b.mp4", "/dev/null" }, box.dir,
              box.env);
        QVERIFY(terminal.waitForFinished(30000));
        const QString shown = QString::fromUtf8(terminal.readAllStandardOutput());
        const auto showed = [&](const QString &pattern) { return QRegularExpression(pattern).match(shown).hasMatch(); };
        QVERIFY2(showed("\r\\[1/2\\] [1-2]\\d % a\\.mp4\033\\[K"), qPrintable(shown));
        QVERIFY2(showed("\r\\[2/2\\] [5-7]\\d % b\\.mp4, 0:0\\d left\033\\[K"), qPrintable(shown));
        QVERIFY(shown.contains("\r\033[KSuccess\t" + box.dir + "/a.mp4\t"));
        QVERIFY(shown.contains("\r\033[KSuccess\t" + box.dir + "/b.mp4\t"));
        QVERIFY(!shown.mid(shown.lastIndexOf("\r\033[K") + 4).contains("\033"));
    }

    void parallelRecipeOnThisMachine()
    {
        if (QStandardPaths::findExecutable("parallel").isEmpty())
            QSKIP("GNU parallel is not installed (apt-get install parallel)");
        Sandbox box;
        const QString dir = box.dir;
        copyClip("one.mp4", dir + "/clips/a.mp4");
        copyClip("two.avi", dir + "/clips/b.avi");
        copyClip("one.mp4", dir + "/clips/c d.mkv");
        writeFile(dir + "/list.txt", "clips/a.mp4\nclips/b.avi\nclips/c d.mkv\nclips/missing.mp4\n");
        const QString recipe = recipes + "/quorvel-parallel";
        const Finished run = ::run(recipe, { "-S", ":", "list.txt", "-s", "160x128", "-t", dir + "/tools" }, dir,
                                   box.env);
        QCOMPARE(run.exitCode, 1); // the number of sources that failed
        QCOMPARE(run.lines.size(), 4);
        for (const QString name : { "a.mp4", "b.avi", "c d.mkv" })
            QCOMPARE(run.of(dir + "/clips/" + name).section('|', 0, 0), QString("Success"));
        QVERIFY(run.of(dir + "/clips/missing.mp4").endsWith("|" + dir + "/clips/missing.mp4 does not exist"));
        QCOMPARE(filesIn(dir + "/output"), QStringList({ "a.avi", "b.avi", "c d.avi" }));
        for (const QStringList &toolRun : box.toolRuns())
            QVERIFY(toolRun.value(0) != "mencoder" || toolRun.contains("160:128"));

        // A task that ends well without converting anything is no success.
        QProcessEnvironment silent = box.env;
        silent.insert("QUORVEL_BATCH", "true");
        const Finished nothing = ::run(recipe, { "list.txt" }, dir, silent);
        QCOMPARE(nothing.exitCode, 4);
        QVERIFY(nothing.lines.isEmpty());
        QVERIFY2(nothing.err.contains("4 of 4 sources did not convert"), nothing.err.constData());

        writeFile(dir + "/list.txt", QString(dir + "/clips/a.mp4\n").toUtf8());
        const Finished absolute = ::run(recipe, { "list.txt" }, dir, box.env);
        QCOMPARE(absolute.exitCode, 2);
        QVERIFY(absolute.err.contains("relative to the current folder"));
    }

    // Remote machines through a stand-in for ssh: each source is copied to a
    // scratch folder there, converted there, and its result copied back.
    void parallelRecipeAcrossMachines()
    {
        if (QStandardPaths::findExecutable("parallel").isEmpty() || QStandardPaths::findExecutable("rsync").isEmpty())
            QSKIP("GNU parallel or rsync is not installed (apt-get install parallel rsync)");
        Sandbox box;
        const QString dir = box.dir;
        box.env.insert("PARALLEL_SSH", fixture("fake-ssh"));
        box.env.insert("QUORVEL_REMOTE_HOME", dir + "/remote");
        box.env.insert("QUORVEL_SSH_LOG", dir + "/ssh.log");
        QVERIFY(QDir().mkpath(dir + "/remote"));
        copyClip("one.mp4", dir + "/clips/a.mp4");
        copyClip("two.avi", dir + "/clips/b.avi");
        writeFile(dir + "/list.txt", "clips/a.mp4\nclips/b.avi\n");
        const Finished run = ::run(recipes + "/quorvel-parallel",
                                   { "-S", "1/nodea,1/nodeb", "list.txt", "-t", dir + "/tools" }, dir, box.env);
        QVERIFY2(run.exitCode == 0 && run.lines.size() == 2, run.err.constData());
        QCOMPARE(run.column(0), QStringList({ "Success", "Success" }));
        for (const QString &source : run.column(1))
            QVERIFY2(source.startsWith(dir + "/remote/.parallel/tmp/"), qPrintable(source));
        QCOMPARE(filesIn(dir + "/output"), QStringList({ "a.avi", "b.avi" }));
        QCOMPARE(QDir(dir + "/remote/.parallel/tmp").entryList(QDir::Dirs | QDir::NoDotAndDotDot).filter("-"),
                 QStringList());
        QCOMPARE(filesIn(dir + "/clips"), QStringList({ "a.mp4", "b.avi" }));
        QFile log(dir + "/ssh.log");
        QVERIFY(log.open(QIODevice::ReadOnly) && log.readAll().contains("nodea"));
    }

    void slurmArrayRecipe()
    {
        Sandbox box;
        const QString dir = box.dir;
        const QStringList names { "a.mp4", "b.avi", "-c.mkv" };
        for (const QString &name : names)
            copyClip("one.mp4", dir + "/clips/" + name);
        writeFile(dir + "/list.txt", "clips/a.mp4\nclips/b.avi\nclips/-c.mkv\n");
        const QString script = recipes + "/quorvel-slurm.sbatch";
        for (int task = 1; task <= 3; ++task) {
            box.env.insert("SLURM_ARRAY_TASK_ID", QString::number(task));
            const Finished run = ::run("bash", { script, "list.txt", "-s", "128x128", "-t", "tools" }, dir, box.env);
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(run.column(1), QStringList(dir + "/clips/" + names.at(task - 1)));
            QCOMPARE(run.column(0), QStringList("Success"));
        }
        QCOMPARE(filesIn(dir + "/output"), QStringList({ "-c.avi", "a.avi", "b.avi" }));
        box.env.insert("SLURM_ARRAY_TASK_ID", "4");
        const Finished beyond = ::run("bash", { script, "list.txt", "-t", "tools" }, dir, box.env);
        QCOMPARE(beyond.exitCode, 2);
        QVERIFY(beyond.err.contains("no source on line 4"));
        QVERIFY(beyond.lines.isEmpty());
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
