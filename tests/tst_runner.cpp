// SPDX-License-Identifier: GPL-3.0-or-later
// The runner that both programs use, against fake tools in bin/: what each
// tool behaviour makes of a job, the files left behind, several jobs at
// once, and the stops of one job and of the whole batch.

#include "plan.h"
#include "runner.h"
#include "stop.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <future>
#include <map>
#include <mutex>
#include <thread>

using namespace TestSupport;

namespace {

struct Report {
    QStringList statuses;
    ConversionResult result;
    bool ended = false;
};

// Runs `sources` through the plan and the runner, as the programs do, and
// collects what each job reported.
class Batch
{
public:
    explicit Batch(const QStringList &sources, int workers = 1, bool direct = false)
        : m_sources(sources)
        , m_plan(sources)
        , m_runner(hooks(), m_stop, workers)
    {
        m_settings.scale = QStringLiteral("320:240");
        m_settings.direct = direct;
    }

    void run() { m_runner.run(); }
    std::future<void> start()
    {
        return std::async(std::launch::async, [this] { run(); });
    }
    // The first job's planning takes two seconds; planningFirst() tells
    // when it has begun.
    void slowFirstPlan() { m_slowFirstPlan = true; }
    bool planningFirst() const { return m_planningFirst; }
    Stop &stop() { return m_stop; }
    Runner &runner() { return m_runner; }
    Report report(int number)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports[number];
    }

private:
    Runner::Hooks hooks()
    {
        Runner::Hooks hooks;
        hooks.next = [this]() -> std::optional<Job> {
            if (m_next >= m_sources.size())
                return std::nullopt;
            const int number = m_next++;
            if (number == 0 && m_slowFirstPlan) {
                m_planningFirst = true;
                std::this_thread::sleep_for(std::chrono::seconds(2)); // a slow disk
            }
            return m_plan.add(number, m_sources.at(number), m_settings);
        };
        hooks.started = [](const Job &) {};
        hooks.status = [this](const Job &job, Stage stage) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_reports[job.number].statuses << stageText(stage);
        };
        hooks.progress = [](const Job &, int) {};
        hooks.finished = [this](const Job &job, const ConversionResult &result) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_reports[job.number].result = result;
            m_reports[job.number].ended = true;
        };
        return hooks;
    }

    QStringList m_sources;
    Plan m_plan;
    PlanSettings m_settings;
    Stop m_stop;
    Runner m_runner;
    int m_next = 0;
    bool m_slowFirstPlan = false;
    std::atomic_bool m_planningFirst { false };
    std::mutex m_mutex;
    std::map<int, Report> m_reports;
};

QString out(const QString &name)
{
    return QDir::current().filePath("output/" + name);
}

// What the output folder holds, hidden working files included.
QStringList outputFiles()
{
    return QDir("output").entryList(QDir::Files | QDir::Hidden);
}

} // namespace

class RunnerTest : public QObject
{
    Q_OBJECT

    FakeTools m_tools;

private slots:
    void init() { m_tools = installFakeTools(); }

    void outcomesFollowTheToolsAndTheirFiles_data()
    {
        QTest::addColumn<QString>("ffmpeg");
        QTest::addColumn<QString>("mencoder");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("reason");
        const QString target = "%out/next.avi";
        QTest::newRow("both succeed") << "ok"
                                      << "ok" << QStringList { PP, OK, CV, OK } << "";
        QTest::newRow("everything on the other channels") << "stdout"
                                                          << "stderr" << QStringList { PP, OK, CV, OK } << "";
        QTest::newRow("markers split across reads") << "split"
                                                    << "split" << QStringList { PP, OK, CV, OK } << "";
        QTest::newRow("ffmpeg exits with status 3, its file looking whole")
            << "nonzero"
            << "ok" << QStringList { PP, NO, CV, NO } << "ffmpeg exited with status 3";
        QTest::newRow("mencoder exits with status 3, its file looking whole")
            << "ok"
            << "nonzero" << QStringList { PP, OK, CV, NO } << "mencoder exited with status 3";
        QTest::newRow("ffmpeg writes 0.7 s of 2 s")
            << "cut"
            << "ok" << QStringList { PP, NO, CV, NO } << "cut short: 0.7 s of 2.0 s";
        QTest::newRow("mencoder writes 0.7 s of 2 s")
            << "ok"
            << "cut" << QStringList { PP, OK, CV, NO } << "cut short: 0.7 s of 2.0 s";
        QTest::newRow("pre-process fails: the transcode finds nothing")
            << "none"
            << "ok" << QStringList { PP, NO, CV, NO } << "ffmpeg: %src: Invalid data found when processing input";
        QTest::newRow("transcode fails") << "ok"
                                         << "none" << QStringList { PP, OK, CV, NO }
                                         << "mencoder: %tmp: Invalid data found when processing input";
        QTest::newRow("markers only inside echoed paths")
            << "echo"
            << "echo" << QStringList { PP, NO, CV, NO } << "ffmpeg: Error opening input file %src";
        QTest::newRow("ffmpeg's summary missing") << "nosummary"
                                                  << "ok" << QStringList { PP, NO, CV, NO } << "ffmpeg: video:";
        QTest::newRow("mencoder's summary missing")
            << "ok"
            << "nosummary" << QStringList { PP, OK, CV, NO } << "mencoder: Flushing video frames.";
        QTest::newRow("ffmpeg wrote no frames") << "noframes"
                                                << "ok" << QStringList { PP, NO, CV, NO } << "ffmpeg wrote no frames";
        QTest::newRow("mencoder wrote no frames")
            << "ok"
            << "noframes" << QStringList { PP, OK, CV, NO } << "mencoder wrote no frames";
        QTest::newRow("mencoder wrote no sound")
            << "ok"
            << "nosound" << QStringList { PP, OK, CV, NO } << "mencoder wrote no sound";
        QTest::newRow("empty temporary file") << "empty"
                                              << "ok" << QStringList { PP, NO, CV, NO } << "%tmp is missing or empty";
        QTest::newRow("empty target") << "ok"
                                      << "empty" << QStringList { PP, OK, CV, NO } << target + " is missing or empty";
        QTest::newRow("short target") << "ok"
                                      << "short" << QStringList { PP, OK, CV, NO }
                                      << target + " is smaller than the 5000 bytes mencoder reported";
        QTest::newRow("both crash") << "crash"
                                    << "crash" << QStringList { PP, NO, CV, NO } << "ffmpeg was ended by signal 11";
        QTest::newRow("crash after a good report")
            << "ok"
            << "crashlate" << QStringList { PP, OK, CV, NO } << "mencoder was ended by signal 11";
        QTest::newRow("ffmpeg missing") << "missing"
                                        << "ok" << QStringList { PP, NO, CV, NO }
                                        << "ffmpeg was not found: %bin/ffmpeg";
        QTest::newRow("mencoder missing")
            << "ok"
            << "missing" << QStringList { PP, OK, CV, NO } << "mencoder was not found: %bin/mencoder";
    }

    void outcomesFollowTheToolsAndTheirFiles()
    {
        QFETCH(QString, ffmpeg);
        QFETCH(QString, mencoder);
        QFETCH(QStringList, expected);
        QFETCH(QString, reason);
        if (ffmpeg == "missing")
            QFile::remove("bin/ffmpeg");
        if (mencoder == "missing")
            QFile::remove("bin/mencoder");
        qputenv("QUORVEL_FAKE_FFMPEG", ffmpeg.toUtf8());
        qputenv("QUORVEL_FAKE_MENCODER", mencoder.toUtf8());

        Batch batch({ source("trip.mp4"), source("next.mkv") });
        batch.run();
        QString temporary;
        for (const QStringList &run : readToolLog(m_tools.log))
            if (run.first() == "ffmpeg" && run.contains(source("next.mkv")))
                temporary = run.last();
        reason.replace("%out", QDir::current().filePath("output"));
        reason.replace("%bin", QDir::current().filePath("bin"));
        reason.replace("%src", source("next.mkv"));
        reason.replace("%tmp", temporary);

        // The batch goes on after a failure; every job reports the same way.
        for (int number : { 0, 1 }) {
            const Report report = batch.report(number);
            QCOMPARE(report.statuses, expected);
            QCOMPARE(int(report.result.outcome), int(expected.last() == OK ? Stage::Succeeded : Stage::Failed));
        }
        QCOMPARE(batch.report(1).result.reason, reason);
        // Whatever happened, the temporary files are gone, and a failed job
        // leaves no file under its name.
        QCOMPARE(outputFiles(), expected.last() == OK ? QStringList({ "next.avi", "trip.avi" }) : QStringList());
    }

    // A result appears whole or not at all: while a tool writes, the target
    // holds what it held before, and a re-conversion that fails or is stopped
    // leaves it byte for byte, in both pipelines, with no file of its own.
    void earlierResultSurvivesAFailedOrStoppedRun_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("statuses");
        QTest::newRow("two steps, no output") << false << "none" << QStringList({ CV, NO });
        QTest::newRow("two steps, a short file") << false << "short" << QStringList({ CV, NO });
        QTest::newRow("two steps, an empty file") << false << "empty" << QStringList({ CV, NO });
        QTest::newRow("two steps, stopped") << false << "hang" << QStringList({ CV, ST });
        QTest::newRow("one pass, cut short") << true << "cut" << QStringList({ CV, NO });
        QTest::newRow("one pass, stopped") << true << "hang" << QStringList({ CV, ST });
    }

    void earlierResultSurvivesAFailedOrStoppedRun()
    {
        QFETCH(bool, direct);
        QFETCH(QString, mode);
        QFETCH(QStringList, statuses);
        const QByteArray earlier(20000, 'g');
        writeFile(out("holiday.avi"), earlier);
        const auto target = [] {
            QFile file(out("holiday.avi"));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        qputenv(direct ? "QUORVEL_FAKE_FFMPEG" : "QUORVEL_FAKE_MENCODER", mode.toUtf8());
        Batch batch({ source("holiday.avi") }, 1, direct);
        std::future<void> running = batch.start();
        if (mode == "hang") {
            QTRY_VERIFY(readPid(m_tools.pidFile) > 0); // it has written its partial output
            for (int poll = 0; poll < 20; ++poll) {
                QCOMPARE(target(), earlier);
                QTest::qWait(10);
            }
            batch.stop().request();
        }
        QVERIFY(running.wait_for(std::chrono::seconds(10)) == std::future_status::ready);
        QCOMPARE(batch.report(0).statuses, statuses);
        QCOMPARE(target(), earlier);
        QCOMPARE(outputFiles(), QStringList("holiday.avi"));
    }

    void staleTemporaryFileNeverBecomesTheResult()
    {
        qputenv("QUORVEL_FAKE_FFMPEG", "none");
        // Another video under the name the job will use, left by a crash:
        // the names count up, two per job in the process (its result's
        // working name, then its temporary file).
        const QString used = Plan().add(0, source("new.mp4"), PlanSettings()).temporary;
        const QRegularExpression counter("-(\\d+)\\.tmp\\.avi$");
        const int number = counter.match(used).captured(1).toInt();
        writeFile(QString(used).replace(counter, QStringLiteral("-%1.tmp.avi").arg(number + 2)), QByteArray(10000, 'v'));
        Batch batch({ source("new.mp4") });
        batch.run();
        QCOMPARE(batch.report(0).statuses, QStringList({ PP, NO, CV, NO }));
        QCOMPARE(outputFiles(), QStringList());
    }

    void refusedSourceRunsNoTool()
    {
        Batch batch({ source("a.mp4"), QDir::current().filePath("videos/missing.mp4"), source("b.mkv") });
        batch.run();
        QCOMPARE(batch.report(1).statuses, QStringList({ NO }));
        QCOMPARE(batch.report(1).result.reason, QDir::current().filePath("videos/missing.mp4") + " does not exist");
        QCOMPARE(batch.report(2).statuses, QStringList({ PP, OK, CV, OK }));
        QCOMPARE(readToolLog(m_tools.log).size(), 4);
    }

    void jobsRunAtOnceOnSeveralWorkers()
    {
        qputenv("QUORVEL_FAKE_MENCODER", "slow");
        qputenv("QUORVEL_FAKE_SECONDS", "1");
        Batch batch({ source("a.avi"), source("b.avi"), source("c.avi"), source("d.avi") }, 2);
        QElapsedTimer clock;
        clock.start();
        batch.run();
        // Four one-second jobs on two workers: two rounds, not four.
        QVERIFY2(clock.elapsed() < 3500, qPrintable(QString::number(clock.elapsed())));
        for (int number = 0; number < 4; ++number)
            QCOMPARE(batch.report(number).statuses, QStringList({ CV, OK }));
    }

    void stopOfOneJobLetsTheOthersGoOn()
    {
        qputenv("QUORVEL_FAKE_HANG_ON", "b.avi");
        Batch batch({ source("a.avi"), source("b.avi"), source("c.avi") });
        std::future<void> running = batch.start();
        QTRY_VERIFY(readPid(m_tools.pidFile) > 0);
        const qint64 tool = readPid(m_tools.pidFile);
        batch.runner().stopJob(1);
        QVERIFY(running.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
        QVERIFY(processGone(tool));
        QCOMPARE(batch.report(1).statuses, QStringList({ CV, ST }));
        QCOMPARE(batch.report(2).statuses, QStringList({ CV, OK }));
        QCOMPARE(outputFiles(), QStringList({ "a.avi", "c.avi" }));
    }

    // Planning reads the source, which a slow disk makes slow. A stop of
    // the job being planned (a Delete in the window) returns at once, and
    // the job still never runs a tool.
    void slowPlanningHoldsUpNoStop()
    {
        Batch batch({ source("a.avi"), source("b.avi") });
        batch.slowFirstPlan();
        std::future<void> running = batch.start();
        QTRY_VERIFY(batch.planningFirst());
        QElapsedTimer clock;
        clock.start();
        batch.runner().stopJob(0);
        QVERIFY2(clock.elapsed() < 50, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(running.wait_for(std::chrono::seconds(10)) == std::future_status::ready);
        QCOMPARE(batch.report(0).statuses, QStringList({ ST }));
        QCOMPARE(batch.report(1).statuses, QStringList({ CV, OK }));
        QCOMPARE(readToolLog(m_tools.log).size(), 1);
    }

    void stopOfTheBatchEndsEveryToolAndLeavesNoFile()
    {
        qputenv("QUORVEL_FAKE_FFMPEG", "hang");
        Batch batch({ source("a.mp4"), source("b.mp4"), source("c.mp4") }, 2);
        std::future<void> running = batch.start();
        QTRY_COMPARE(readToolLog(m_tools.log).size(), 2);
        QTRY_VERIFY(readPid(m_tools.pidFile) > 0);
        const qint64 tool = readPid(m_tools.pidFile);
        QElapsedTimer clock;
        clock.start();
        batch.stop().request();
        QVERIFY(running.wait_for(std::chrono::seconds(2)) == std::future_status::ready);
        QVERIFY(processGone(tool));
        QCOMPARE(batch.report(0).statuses, QStringList({ PP, ST }));
        QCOMPARE(batch.report(1).statuses, QStringList({ PP, ST }));
        QVERIFY(!batch.report(2).ended); // never started
        QCOMPARE(outputFiles(), QStringList());
    }

    // A tool ended from outside (a logout, a kill) prints its summary all
    // the same; the job fails, and its file is not left as a result.
    void toolEndedFromOutside_data()
    {
        QTest::addColumn<QByteArray>("tool");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("reason");
        QTest::newRow("ffmpeg") << QByteArray("FFMPEG") << QStringList { PP, NO, CV, NO }
                                << "ffmpeg exited with status 255";
        QTest::newRow("mencoder") << QByteArray("MENCODER") << QStringList { PP, OK, CV, NO }
                                  << "mencoder exited with status 2";
    }

    void toolEndedFromOutside()
    {
        QFETCH(QByteArray, tool);
        QFETCH(QStringList, expected);
        QFETCH(QString, reason);
        qputenv(QByteArray("QUORVEL_FAKE_" + tool).constData(), "term");
        qputenv("QUORVEL_FAKE_SECONDS", "4");
        Batch batch({ source("clip.mp4") });
        std::future<void> running = batch.start();
        QTRY_VERIFY(readPid(m_tools.pidFile) > 0);
        QTest::qWait(500);
        ::kill(pid_t(readPid(m_tools.pidFile)), SIGTERM);
        QVERIFY(running.wait_for(std::chrono::seconds(10)) == std::future_status::ready);
        QCOMPARE(batch.report(0).statuses, expected);
        QCOMPARE(batch.report(0).result.reason, reason);
        QCOMPARE(outputFiles(), QStringList());
    }
};

QTEST_GUILESS_MAIN(RunnerTest)
#include "tst_runner.moc"
