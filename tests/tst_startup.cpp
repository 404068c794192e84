// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up as the real program does it: paths fixed from the working
// directory, the output folder step, and the exit code when the window is
// closed, also while a tool runs.

#include "testsupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace TestSupport;

class StartupTest : public QObject
{
    Q_OBJECT

private:
    struct Run {
        int exitCode = -1;
        QProcess::ExitStatus exitStatus = QProcess::CrashExit;
        QMap<QString, QString> values;
    };

    // The user's data folder of a probe started in `workDir`: its own.
    static QString dataHome(const QString &workDir) { return workDir + QStringLiteral("/.data"); }
    static QString keptList(const QString &workDir) { return dataHome(workDir) + QStringLiteral("/Quorvel/rows.json"); }
    // The lists that windows keep in the data folder of `workDir`.
    static QStringList keptLists(const QString &workDir)
    {
        return QDir(dataHome(workDir) + QStringLiteral("/Quorvel")).entryList({ "rows*.json" }, QDir::Files);
    }

    // A window that stays open and takes commands (see startupprobe.cpp).
    struct Window {
        QProcess probe;
        explicit Window(const QString &workDir)
        {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome(workDir));
            env.insert(QStringLiteral("QUORVEL_PROBE_STDIN"), QStringLiteral("1"));
            probe.setWorkingDirectory(workDir);
            probe.setProcessEnvironment(env);
            probe.start(QStringLiteral(QUORVEL_STARTUP_PROBE), {});
            probe.waitForStarted();
        }
        ~Window()
        {
            if (probe.state() != QProcess::NotRunning) {
                probe.kill();
                probe.waitForFinished();
            }
        }
        void add(const QStringList &sources)
        {
            for (const QString &source : sources)
                probe.write(("add " + source + '\n').toUtf8());
        }
        // The sources the window shows, sorted.
        QStringList sources()
        {
            probe.write("rows\n");
            QByteArray out;
            while (!out.contains("sources=") || !out.endsWith('\n')) {
                if (!probe.waitForReadyRead(10000))
                    return { "no answer" };
                out += probe.readAllStandardOutput();
            }
            QStringList shown =
                QString::fromUtf8(out.mid(out.indexOf("sources=") + 8).trimmed()).split('|', Qt::SkipEmptyParts);
            shown.sort();
            return shown;
        }
        bool close()
        {
            probe.write("close\n");
            return probe.waitForFinished(10000) && probe.exitCode() == 0;
        }
    };

    static Run runProbe(const QString &workDir,
                        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess probe;
        probe.setWorkingDirectory(workDir);
        QProcessEnvironment probeEnv = env;
        probeEnv.insert(QStringLiteral("XDG_DATA_HOME"), dataHome(workDir));
        probe.setProcessEnvironment(probeEnv);
        probe.start(QStringLiteral(QUORVEL_STARTUP_PROBE), {});
        Run run;
        if (!probe.waitForFinished(30000)) {
            probe.kill();
            probe.waitForFinished();
            return run;
        }
        run.exitCode = probe.exitCode();
        run.exitStatus = probe.exitStatus();
        const QStringList lines = QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            const int equals = line.indexOf(QLatin1Char('='));
            if (equals > 0)
                run.values.insert(line.left(equals), line.mid(equals + 1));
        }
        return run;
    }

private slots:
    void pathsComeFromTheWorkingDirectory_data()
    {
        QTest::addColumn<QString>("folderName");
        QTest::newRow("plain") << QStringLiteral("plain");
        QTest::newRow("non-ASCII and blanks") << QStringLiteral("Vidéos ünd 映画 %d");
    }

    void pathsComeFromTheWorkingDirectory()
    {
        QFETCH(QString, folderName);
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString workDir = temp.filePath(folderName);
        QVERIFY(QDir().mkpath(workDir));

        const Run run = runProbe(workDir);
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.values.value("windowShown"), QStringLiteral("yes"));
        const QString canonical = QDir(workDir).canonicalPath();
        QCOMPARE(run.values.value("currentPath"), canonical);
        QCOMPARE(run.values.value("ffmpegPath"), canonical + "/bin/ffmpeg");
        QCOMPARE(run.values.value("mencoderPath"), canonical + "/bin/mencoder");
        QCOMPARE(run.values.value("outputPath"), canonical + "/output");
        // The output folder is made in the working directory, not beside the executable.
        QVERIFY(QFileInfo(workDir + "/output").isDir());
        QVERIFY(!QFileInfo(QFileInfo(QStringLiteral(QUORVEL_STARTUP_PROBE)).absolutePath() + "/output").exists());
    }

    void existingOutputIsLeftAsItIs()
    {
        QTemporaryDir temp;
        QVERIFY(QDir(temp.path()).mkdir("output"));
        QFile kept(temp.filePath("output/earlier.avi"));
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.write("earlier result");
        kept.close();

        QCOMPARE(runProbe(temp.path()).exitCode, 0);
        QFile again(temp.filePath("output/earlier.avi"));
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), QByteArray("earlier result"));
    }

    void plainFileNamedOutputCountsAsExisting()
    {
        QTemporaryDir temp;
        QFile plain(temp.filePath("output"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("not a folder");
        plain.close();

        const Run run = runProbe(temp.path());
        QCOMPARE(run.exitCode, 0);
        QVERIFY(QFileInfo(temp.filePath("output")).isFile());
        QCOMPARE(QFileInfo(temp.filePath("output")).size(), qint64(12));
    }

    void closingDuringATransferEndsPromptlyWithExitCodeZero()
    {
        QTemporaryDir temp;
        QDir(temp.path()).mkdir("bin");
        QVERIFY(QFile::copy(fixture("fake-tool"), temp.filePath("bin/ffmpeg")));
        const QString pidFile = temp.filePath("tool.pid");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORVEL_FAKE_FFMPEG", "hang");
        env.insert("QUORVEL_FAKE_PIDFILE", pidFile);
        writeFile(temp.filePath("clip.mp4"), videoBytes());
        env.insert("QUORVEL_PROBE_CONVERT", temp.filePath("clip.mp4"));
        env.insert("QUORVEL_PROBE_CLOSE_WHEN", pidFile);

        QElapsedTimer clock;
        clock.start();
        const Run run = runProbe(temp.path(), env);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        const qint64 toolPid = readPid(pidFile);
        QVERIFY(toolPid > 0);
        QVERIFY(!processRunning(toolPid));
        QVERIFY2(elapsed < 10000, qPrintable(QString::number(elapsed)));
        QVERIFY(QDir(temp.filePath("output")).entryList(QDir::Files).isEmpty());
    }

    void toolDiesWithAKilledProgram_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("source");
        QTest::newRow("in the pre-process") << "ffmpeg"
                                            << "clip.mp4";
        QTest::newRow("in the transcode") << "mencoder"
                                          << "clip.avi";
    }

    void toolDiesWithAKilledProgram()
    {
        QFETCH(QString, tool);
        QFETCH(QString, source);
        QTemporaryDir temp;
        QDir(temp.path()).mkdir("bin");
        for (const QString name : { "ffmpeg", "mencoder" })
            QVERIFY(QFile::copy(fixture("fake-tool"), temp.filePath("bin/" + name)));
        const QString pidFile = temp.filePath("tool.pid");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORVEL_FAKE_" + tool.toUpper(), "hang");
        env.insert("QUORVEL_FAKE_PIDFILE", pidFile);
        writeFile(temp.filePath(source), videoBytes());
        env.insert("QUORVEL_PROBE_CONVERT", temp.filePath(source));

        env.insert("XDG_DATA_HOME", dataHome(temp.path()));
        QProcess probe;
        probe.setWorkingDirectory(temp.path());
        probe.setProcessEnvironment(env);
        probe.start(QStringLiteral(QUORVEL_STARTUP_PROBE), {});
        QVERIFY(probe.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(readPid(pidFile) > 0, 20000);
        const qint64 toolPid = readPid(pidFile);
        QVERIFY(processRunning(toolPid));
        QTRY_VERIFY_WITH_TIMEOUT(!keptLists(temp.path()).isEmpty(), 5000); // the list, within a second

        ::kill(pid_t(probe.processId()), SIGKILL);
        QVERIFY(probe.waitForFinished());
        QTRY_VERIFY_WITH_TIMEOUT(!processRunning(toolPid), 5000);

        // Nothing stands under the result's name. What the killed program
        // left (the step's partial file) goes when the next batch starts.
        const QDir output(temp.filePath("output"));
        QCOMPARE(output.entryList(QDir::Files | QDir::Hidden).size(), 1);
        QVERIFY(!output.exists("clip.avi"));
        const QString secondPid = temp.filePath("second.pid");
        env.insert("QUORVEL_FAKE_PIDFILE", secondPid);
        env.insert("QUORVEL_PROBE_CLOSE_WHEN", secondPid);
        const Run next = runProbe(temp.path(), env);
        QCOMPARE(next.exitCode, 0);
        QCOMPARE(output.entryList(QDir::Files | QDir::Hidden), QStringList());
        // The list came back, the converting row as not converted.
        QCOMPARE(next.values.value("rows"), QStringLiteral("1"));
        QCOMPARE(next.values.value("row0"),
                 temp.filePath(source) + QStringLiteral("|Failed|Quorvel ended while it was converting"));
    }

    // Windows over one data folder: none takes a running window's rows, and
    // every window's rows come back once it has ended, however the windows
    // start, change, end and close.
    void twoWindowsKeepBothLists_data()
    {
        QTest::addColumn<bool>("firstClosesFirst");
        QTest::newRow("the first closes first") << true;
        QTest::newRow("the second closes first") << false;
    }

    void twoWindowsKeepBothLists()
    {
        QFETCH(bool, firstClosesFirst);
        QTemporaryDir temp;
        const QString dir = temp.path();
        const QStringList firsts { "/v/a1.mp4", "/v/a2.mp4", "/v/a3.mp4" };
        const QStringList seconds { "/v/b1.mp4", "/v/b2.mp4" };
        {
            Window a(dir);
            a.add(firsts);
            QTRY_COMPARE_WITH_TIMEOUT(keptLists(dir).size(), 1, 5000);
            Window b(dir);
            QCOMPARE(b.sources(), QStringList());
            b.add(seconds);
            a.add({ "/v/a4.mp4" });
            QTRY_COMPARE_WITH_TIMEOUT(keptLists(dir).size(), 2, 5000);
            QVERIFY(firstClosesFirst ? a.close() && b.close() : b.close() && a.close());
        }
        const QStringList all = QStringList { "/v/a1.mp4", "/v/a2.mp4", "/v/a3.mp4", "/v/a4.mp4" } + seconds;
        Window c(dir);
        QCOMPARE(c.sources(), all);
        // Once: a window started while the rows are another's starts empty.
        Window d(dir);
        QCOMPARE(d.sources(), QStringList());
        d.add({ "/v/d1.mp4" });
        QTRY_COMPARE_WITH_TIMEOUT(keptLists(dir).size(), 2, 5000);
        // One window's list emptied (its rows converted or deleted) leaves
        // another's alone, even one that is then killed.
        c.probe.write("clear\n");
        QTRY_COMPARE_WITH_TIMEOUT(keptLists(dir).size(), 1, 5000);
        d.probe.kill();
        QVERIFY(d.probe.waitForFinished());
        QVERIFY(c.close());
        Window e(dir);
        QCOMPARE(e.sources(), QStringList({ "/v/d1.mp4" }));
        QVERIFY(e.close());
    }

    // A list that cannot be shown is set aside under a free name: an
    // earlier one set aside, or a folder of that name, stays as it was.
    void damagedListsAreSetAsideEach()
    {
        QTemporaryDir temp;
        const QString list = keptList(temp.path());
        QVERIFY(QDir().mkpath(list + ".bad"));
        writeFile(list, "first damage");
        QCOMPARE(runProbe(temp.path()).values.value("rows"), QStringLiteral("0"));
        writeFile(list, "second damage");
        QCOMPARE(runProbe(temp.path()).values.value("rows"), QStringLiteral("0"));
        QVERIFY(QFileInfo(list + ".bad").isDir());
        QCOMPARE(readFile(list + ".bad.2"), QByteArray("first damage"));
        QCOMPARE(readFile(list + ".bad.3"), QByteArray("second damage"));
        QVERIFY(!QFile::exists(list));
    }

    // A list that is not one is set aside, named in a warning, and the
    // program starts empty.
    void damagedListIsSetAside()
    {
        QTemporaryDir temp;
        writeFile(keptList(temp.path()), "{\"quorvelRows\": 1, \"rows\": [ {\"source\": 3");
        const Run run = runProbe(temp.path());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.values.value("rows"), QStringLiteral("0"));
        QVERIFY(!QFile::exists(keptList(temp.path())));
        QVERIFY(QFile::exists(keptList(temp.path()) + ".bad"));
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"
