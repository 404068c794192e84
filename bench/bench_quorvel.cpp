// SPDX-License-Identifier: GPL-3.0-or-later
// Quorvel's own cost around the tools' work. Prints one figure per line.
// Run from a working directory prepared by tools/prepare-workdir (bench/run
// does it): the batch figures use the real tools.
//
//   quorvel_bench [table] [memory] [batch] [startup] [progress] [settings] [nothinglost]   (all when none given)
//   quorvel_bench formats   (only when named)

#include "benchsupport.h"
#include "conversion.h"
#include "jobtable.h"
#include "keptrows.h"
#include "batchplan.h"
#include "quorvel.h"
#include "settings.h"
#include "stop.h"
#include "toolcommands.h"
#include "toolrun.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <ctime>
#include <vector>

namespace {

QStringList manyPaths(int count)
{
    QStringList paths;
    paths.reserve(count);
    for (int i = 0; i < count; ++i)
        paths << QStringLiteral("/home/user/Videos/holiday %1/clip %1 part.%2.mp4").arg(i).arg(i % 7);
    return paths;
}

QTableWidget *tableOf(Quorvel &window)
{
    return window.findChild<QTableWidget *>(QStringLiteral("videoTableWidget"));
}

double addRows(int count)
{
    Quorvel window;
    window.show();
    QCoreApplication::processEvents();
    const QStringList paths = manyPaths(count);
    QElapsedTimer clock;
    clock.start();
    JobTable::appendRows(tableOf(window), paths);
    QCoreApplication::processEvents(); // the layout and paint that follow
    return clock.nsecsElapsed() / 1e6;
}

void tableFigures()
{
    const double ms1k = addRows(1000);
    const double ms10k = addRows(10000);
    const double ms20k = addRows(20000);
    const char *how =
        "rows appended as the Add button does with the dialog's list, window shown, pending events processed";
    printFigure("add 1000 rows", ms1k, "ms", "none", how);
    printFigure("add 10000 rows", ms10k, "ms", "<= 500 ms", how);
    printFigure("add 20000 rows", ms20k, "ms", "none", how);
    printFigure("add 20000 / add 10000", ms20k / ms10k, "ratio", "<= 2.2", "the two figures above, same run");

    // The same 10,000 sources dropped as files on the window.
    const QString dropFolder = QDir::current().filePath(QStringLiteral("drop"));
    QDir().mkpath(dropFolder);
    QList<QUrl> urls;
    for (int i = 0; i < 10000; ++i) {
        const QString path = dropFolder + QStringLiteral("/clip %1.mp4").arg(i);
        QFile file(path);
        if (!file.exists() && file.open(QIODevice::WriteOnly))
            file.close();
        urls << QUrl::fromLocalFile(path);
    }
    double dropMs = 0;
    {
        Quorvel window;
        window.show();
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        window.addDroppedFiles(urls);
        QCoreApplication::processEvents();
        dropMs = clock.nsecsElapsed() / 1e6;
    }
    printFigure("drop 10000 files", dropMs, "ms", "none",
                "10,000 existing files dropped on the window, window shown, pending events processed");
    printFigure("drop 10000 / add 10000", dropMs / ms10k, "ratio", "<= 1.5",
                "the drop against the add above, same run");

    Quorvel window;
    window.show();
    JobTable::appendRows(tableOf(window), manyPaths(20000));
    QCoreApplication::processEvents();
    std::vector<double> times;
    for (int i = 0; i < 20; ++i) {
        tableOf(window)->setCurrentCell(10000 - i * 100, 0);
        QElapsedTimer clock;
        clock.start();
        window.deleteCurrentVideo();
        QCoreApplication::processEvents();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    printFigure("delete one row of 20000", times.back(), "ms", "<= 5 ms",
                "worst of 20 Deletes in the middle of a 20000-row table, pending events processed");
}

void memoryFigure(const QString &benchDir)
{
    const Stop noStop;
    const QString tool = benchDir + "/loud-tool";

    long before = statusKb("VmRSS");
    if (!resetPeakRss()) {
        std::printf("tool output memory: cannot reset the peak resident size here\n");
        return;
    }
    const bool found = runTool(ToolOutput::Tool::Mencoder, ToolCommand(tool), noStop).output.markerSeen();
    long peak = statusKb("VmHWM");
    printFigure("peak memory rise over 50 MB of tool output", (peak - before) / 1024.0, "MB", "<= 8 MB",
                found ? "VmHWM during the first run of a tool printing 50 MB before its marker, minus VmRSS before"
                      : "MARKER NOT FOUND");

    // For comparison: holding the whole output, decoding it and searching it at the end.
    before = statusKb("VmRSS");
    resetPeakRss();
    QProcess process;
    process.start(tool, {});
    process.waitForFinished(-1);
    const bool heldFound = QString::fromLocal8Bit(process.readAllStandardOutput()).contains("Flushing video frames");
    peak = statusKb("VmHWM");
    printFigure("same, output held and searched at the end", (peak - before) / 1024.0, "MB", "reference only",
                heldFound ? "the same tool, read whole after it ended, as a comparison" : "MARKER NOT FOUND");
}

// Generates the clips; half need the pre-process.
QStringList makeClips(int count)
{
    QDir().mkpath(QStringLiteral("clips"));
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir::current().filePath(
            QStringLiteral("clips/clip%1.%2").arg(i).arg(i % 2 ? "avi" : "mp4"));
        if (!QFileInfo::exists(path)) {
            QProcess::execute(QStringLiteral("ffmpeg"),
                              { "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                "testsrc=size=320x240:rate=25:duration=1", "-f", "lavfi", "-i", "sine=duration=1",
                                "-shortest", path });
        }
        paths << path;
    }
    return paths;
}

QString shellLine(const ToolCommand &command)
{
    return command.shellText() + " >/dev/null 2>&1\n";
}

// The same command lines as the batch, back to back with the same pause.
double runPlainScript(const QStringList &sources, const QString &label)
{
    QString script = QStringLiteral("set +e\n");
    PlanSettings settings;
    settings.scale = scaleForResolution(label);
    Plan plan(sources);
    for (const QString &source : sources) {
        const Job job = plan.add(0, source, settings);
        if (job.preProcess)
            script += shellLine(*job.preProcess);
        script += shellLine(job.transcode);
        if (job.preProcess)
            script += (ToolCommand(QStringLiteral("rm")) << QStringLiteral("-f") << job.temporary).shellText() + "\n";
        script += QStringLiteral("sleep 0.5\n");
    }
    QElapsedTimer clock;
    clock.start();
    QProcess::execute(QStringLiteral("bash"), { "-c", script });
    return clock.nsecsElapsed() / 1e6;
}

struct ProgramRun {
    double ms = 0;
    std::vector<double> lateness;
};

ProgramRun runProgramBatch(const QStringList &sources, const Settings &settings = Settings())
{
    Quorvel window;
    window.applySettings(settings);
    window.show();
    JobTable::appendRows(tableOf(window), sources);
    QCoreApplication::processEvents();

    ProgramRun run;
    QElapsedTimer tick;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(10);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        run.lateness.push_back(std::max(0.0, tick.nsecsElapsed() / 1e6 - 10.0));
        tick.restart();
    });

    QEventLoop loop;
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!window.isBatchRunning())
            loop.quit();
    });

    QElapsedTimer clock;
    clock.start();
    window.findChild<QPushButton *>(QStringLiteral("convertBtn"))->click();
    tick.start();
    heartbeat.start();
    watch.start(1);
    loop.exec();
    run.ms = clock.nsecsElapsed() / 1e6;
    heartbeat.stop();
    for (int row = 0; row < sources.size(); ++row) {
        const QTableWidgetItem *status = tableOf(window)->item(row, 3);
        if (!status || status->text() != QLatin1String("Success"))
            std::printf("warning: row %d ended %s\n", row, status ? qPrintable(status->text()) : "without status");
    }
    return run;
}

void batchFigures()
{
    const int rows = 10;
    const QStringList sources = makeClips(rows);
    double script = 1e12;
    double program = 1e12;
    std::vector<double> lateness;
    for (int round = 0; round < 3; ++round) {
        script = std::min(script, runPlainScript(sources, QStringLiteral("320x240")));
        ProgramRun run = runProgramBatch(sources);
        program = std::min(program, run.ms);
        lateness.insert(lateness.end(), run.lateness.begin(), run.lateness.end());
    }
    const char *how = "best of 3 alternating runs, 10 rows of 1 s clips (5 mp4, 5 avi), real tools";
    printFigure("batch time, plain script", script, "ms", "none", how);
    printFigure("batch time, Quorvel", program, "ms", "none", how);
    printFigure("batch time ratio Quorvel / script", program / script, "ratio", "<= 1.005", how);
    printFigure("Quorvel's own cost per row", (program - script) / rows, "ms", "<= 2 ms", "(Quorvel - script) / rows");

    std::sort(lateness.begin(), lateness.end());
    const double p99 = lateness.empty() ? 0 : lateness[size_t(0.99 * (lateness.size() - 1))];
    const char *tickHow = "lateness of a 10 ms GUI-thread timer while the batches above ran";
    printFigure("GUI timer lateness p99", p99, "ms", "<= 1 ms", tickHow);
    printFigure("GUI timer lateness worst", lateness.empty() ? 0 : lateness.back(), "ms", "<= 5 ms", tickHow);
}

// The cost of reading progress: CPU time to parse real-format output.
void parseCostFigure()
{
    QByteArray megabyte;
    for (int frame = 0; megabyte.size() < 1024 * 1024; ++frame)
        megabyte += QStringLiteral("Pos: %1s %2f (%3%)  25.00fps Trem:   1min  12mb  A-V:0.000 [608:128]\r")
                        .arg(frame / 25.0, 5, 'f', 1)
                        .arg(frame, 6)
                        .arg(frame / 400 % 100, 2)
                        .toLatin1();
    constexpr int megabytes = 50;
    constexpr int chunk = 16384; // what one read of a tool's pipe typically brings
    const std::clock_t start = std::clock();
    ToolOutput output(ToolOutput::Tool::Mencoder);
    for (int round = 0; round < megabytes; ++round) {
        for (int at = 0; at < megabyte.size(); at += chunk)
            output.feed(ToolOutput::StandardOutput, megabyte.mid(at, chunk));
    }
    output.finish();
    const double cpuMs = 1000.0 * double(std::clock() - start) / CLOCKS_PER_SEC;
    printFigure("progress: parse cost", cpuMs / megabytes, "ms CPU per MB", "<= 10",
                output.positionPercent() >= 0 ? "50 MB of mencoder progress lines fed in 16 kB reads"
                                              : "PROGRESS NOT READ");
}

// Runs in a working directory whose bin/mencoder is the flood tool: the
// window converts one AVI row while the tool prints 20,000 progress lines a
// second.
void progressWindowFigures()
{
    const QString source = QDir::current().filePath(QStringLiteral("flood.avi"));
    QFile file(source);
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray("RIFF\0\0\0\0AVI LIST", 16)); // no text: the plan takes it as a video
    file.close();
    Quorvel window;
    window.show();
    JobTable::appendRows(tableOf(window), { source });
    QCoreApplication::processEvents();

    QVector<qint64> updates;
    QElapsedTimer clock;
    QVariant shown;
    QObject::connect(tableOf(window)->model(), &QAbstractItemModel::dataChanged, [&](const QModelIndex &from) {
        const QVariant value = from.siblingAtColumn(JobTable::ProcessStatus).data(JobTable::ProgressRole);
        if (value.isValid() && value != shown)
            updates << clock.elapsed();
        shown = value;
    });
    std::vector<double> lateness;
    QElapsedTimer tick;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        lateness.push_back(std::max(0.0, tick.nsecsElapsed() / 1e6 - 10.0));
        tick.restart();
    });
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!window.isBatchRunning())
            loop.quit();
    });
    clock.start();
    window.findChild<QPushButton *>(QStringLiteral("convertBtn"))->click();
    tick.start();
    heartbeat.start(10);
    watch.start(5);
    loop.exec();
    const double seconds = clock.elapsed() / 1000.0;

    int worstSecond = 0;
    for (int i = 0; i < updates.size(); ++i) {
        int inSecond = 0;
        for (int j = i; j < updates.size() && updates.at(j) - updates.at(i) < 1000; ++j)
            ++inSecond;
        worstSecond = std::max(worstSecond, inSecond);
    }
    std::sort(lateness.begin(), lateness.end());
    const QTableWidgetItem *status = tableOf(window)->item(0, JobTable::ProcessStatus);
    const bool good = status && status->text() == QLatin1String("Success");
    const char *how = good ? "a 10 ms GUI-thread timer while the window converts one row whose tool prints 20,000 "
                             "progress lines a second for 5 s"
                           : "ROW DID NOT SUCCEED";
    printFigure("progress: GUI timer lateness p99",
                lateness.empty() ? 0 : lateness[size_t(0.99 * (lateness.size() - 1))], "ms", "<= 1 ms", how);
    printFigure("progress: GUI timer lateness worst", lateness.empty() ? 0 : lateness.back(), "ms", "<= 5 ms", how);
    printFigure("progress: updates per second per row", worstSecond, "updates", "<= 10",
                "most progress changes the row's status item saw within any one second of that run");
    printFigure("progress: mean updates per second", updates.size() / seconds, "updates", "none", how);
}

// The tools' paths are fixed from the working directory at start-up, so a
// figure with stand-in tools runs in a child of this program, in a working
// directory `name` whose bin/ holds `tool` as both tools.
void runWithStandIn(const QString &benchDir, const QString &name, const QString &tool, const QString &part,
                    int timeoutMs)
{
    const QString dir = QDir::current().filePath(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir + QStringLiteral("/bin"));
    QFile::link(benchDir + '/' + tool, dir + QStringLiteral("/bin/mencoder"));
    QFile::link(benchDir + '/' + tool, dir + QStringLiteral("/bin/ffmpeg"));
    QProcess child;
    child.setWorkingDirectory(dir);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), { part });
    child.waitForFinished(timeoutMs);
}

void progressFigures(const QString &benchDir)
{
    parseCostFigure();
    runWithStandIn(benchDir, QStringLiteral("flood"), QStringLiteral("flood-tool"), QStringLiteral("progress-window"),
                   120000);
}

// Runs in a working directory whose tools are the quick stand-in: 20 rows
// (10 pre-processed) through the window and through a plain script of the
// same commands and pauses. The tools take next to no time, so what the
// window takes beyond the script is its own cost.
void ownCostWindowFigures()
{
    QDir().mkpath(QStringLiteral("videos"));
    QStringList sources;
    for (int i = 0; i < 20; ++i) {
        const QString path = QDir::current().filePath(
            QStringLiteral("videos/row%1.%2").arg(i).arg(i % 2 ? "avi" : "mp4"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray("RIFF\0\0\0\0AVI LIST", 16)); // no text: the plan takes it as a video
        sources << path;
    }
    std::vector<double> script;
    std::vector<double> program;
    std::vector<double> lateness;
    for (int round = 0; round < 5; ++round) {
        script.push_back(runPlainScript(sources, QStringLiteral("320x240")));
        ProgramRun run = runProgramBatch(sources);
        program.push_back(run.ms);
        lateness.insert(lateness.end(), run.lateness.begin(), run.lateness.end());
    }
    std::sort(script.begin(), script.end());
    std::sort(program.begin(), program.end());
    std::sort(lateness.begin(), lateness.end());
    const char *how = "median of 5 alternating runs, 20 rows (10 pre-processed) with stand-in tools that end at once";
    printFigure("batch with stand-in tools: Quorvel / script", program[2] / script[2], "ratio", "<= 1.005", how);
    printFigure("batch with stand-in tools: Quorvel's own cost per row", (program[2] - script[2]) / 20, "ms", "<= 2 ms",
                how);
    printFigure("batch with stand-in tools: GUI timer lateness p99",
                lateness.empty() ? 0 : lateness[size_t(0.99 * (lateness.size() - 1))], "ms", "<= 1 ms", how);
    printFigure("batch with stand-in tools: GUI timer lateness worst", lateness.empty() ? 0 : lateness.back(), "ms",
                "<= 5 ms", how);
}

// The GUI thread's cost of keeping the job list: adding 10,000 rows and
// deleting 1,000 with the list kept against without, plus the snapshots
// that the writes take on the GUI thread, over the 11,000 changes.
void keptRowsFigures()
{
    QTemporaryDir data;
    const auto changes = [&data](bool kept, double *snapshotMs) {
        Quorvel window;
        window.show();
        QCoreApplication::processEvents();
        std::unique_ptr<KeptRows> keeper;
        if (kept)
            keeper = std::make_unique<KeptRows>(tableOf(window), data.path());
        QElapsedTimer clock;
        clock.start();
        JobTable::appendRows(tableOf(window), manyPaths(10000));
        for (int i = 0; i < 1000; ++i) {
            tableOf(window)->setCurrentCell(5000, 0);
            window.deleteCurrentVideo();
        }
        QCoreApplication::processEvents();
        const double ms = clock.nsecsElapsed() / 1e6;
        QElapsedTimer snapshot;
        snapshot.start();
        KeptRows::collect(tableOf(window));
        *snapshotMs = snapshot.nsecsElapsed() / 1e6;
        return ms;
    };
    std::vector<double> extra;
    double snapshotMs = 0;
    for (int round = 0; round < 5; ++round) {
        const double without = changes(false, &snapshotMs);
        const double with = changes(true, &snapshotMs);
        extra.push_back(with - without);
    }
    std::sort(extra.begin(), extra.end());
    printFigure("keeping the list: 10000 adds and 1000 deletes, kept minus not kept", extra[2], "ms", "none",
                "median of 5; within the run-to-run spread where it is below zero");
    // Two writes at most in that burst: one a second.
    printFigure("keeping the list: GUI-thread cost per change",
                1000 * (std::max(0.0, extra[2]) + 2 * snapshotMs) / 11000, "us", "<= 1000 us",
                "add 10000 rows and delete 1000 with the list kept against without (median of 5), plus "
                "two snapshots of 10000 rows, over the 11000 changes");
    printFigure("keeping the list: one snapshot of 10000 rows", snapshotMs, "ms", "<= 5 ms",
                "the GUI thread's part of one write (copies of the rows' texts); the file is made and written on a "
                "thread of its own");
}

// Putting a result in place (an fsync and a rename) against converting the
// row it belongs to: a 10 s 720p clip in two steps, the window's default.
void publishFigure(const QStringList &clips)
{
    const QString source = clips.value(0);
    QElapsedTimer rowClock;
    rowClock.start();
    Plan plan({ source });
    PlanSettings settings;
    settings.scale = QStringLiteral("320:240");
    const Job job = plan.add(0, source, settings);
    const Stop noStop;
    convertJob(job, ConversionSteps { [](Stage) {}, [](int) {} }, noStop);
    const double rowMs = rowClock.nsecsElapsed() / 1e6;
    const QByteArray result = [&job] {
        QFile file(job.target);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    std::vector<double> times;
    for (int round = 0; round < 9; ++round) {
        const QString working = job.target + QStringLiteral(".part");
        QFile file(working);
        if (!file.open(QIODevice::WriteOnly) || file.write(result) != result.size())
            return;
        file.close();
        QElapsedTimer clock;
        clock.start();
        publishResult(working, job.target);
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    printFigure("publishing a result: fsync and rename", times[4], "ms", "none",
                "median of 9, a freshly written file the size of a 10 s 720p row's result");
    printFigure("publishing a result / converting its row", 100 * times[4] / rowMs, "%", "<= 2 %",
                "the median above against one 10 s 720p H.264 clip converted in two steps");
}

struct Start {
    double shownMs = -1;
    long idleKb = 0;
    long rowsKb = 0;
};

// One start of the program's own main() with the data folder `dataHome`.
Start startOnce(const QString &probe, const QString &dataHome, bool addRows)
{
    Start start;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    if (!addRows)
        env.insert(QStringLiteral("QUORVEL_BENCH_SHOW_ONLY"), QStringLiteral("1"));
    process.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    process.start(probe, {});
    while (process.state() != QProcess::NotRunning || process.canReadLine()) {
        if (!process.canReadLine() && !process.waitForReadyRead(10000))
            break;
        while (process.canReadLine()) {
            const QList<QByteArray> words = process.readLine().trimmed().split(' ');
            if (words.first() == "shown" && start.shownMs < 0)
                start.shownMs = clock.nsecsElapsed() / 1e6;
            else if (words.first() == "idle-rss-kb")
                start.idleKb = words.last().toLong();
            else if (words.first() == "rows-rss-kb")
                start.rowsKb = words.last().toLong();
        }
    }
    process.waitForFinished();
    return start;
}

void startupFigures(const QString &probe)
{
    std::vector<double> shown;
    std::vector<double> restored;
    long idleKb = 0;
    long rowsKb = 0;
    QTemporaryDir withRows;
    {
        QTableWidget table(0, 4);
        JobTable::appendRows(&table, manyPaths(10000));
        QDir().mkpath(withRows.filePath("Quorvel"));
        QFile list(withRows.filePath("Quorvel/rows.json"));
        if (list.open(QIODevice::WriteOnly))
            list.write(KeptRows::snapshot(&table));
    }
    for (int round = 0; round < 5; ++round) {
        QTemporaryDir empty;
        const Start start = startOnce(probe, empty.path(), true);
        idleKb = start.idleKb;
        rowsKb = start.rowsKb;
        shown.push_back(start.shownMs);
        restored.push_back(startOnce(probe, withRows.path(), false).shownMs);
    }
    std::sort(shown.begin(), shown.end());
    std::sort(restored.begin(), restored.end());
    printFigure("start-up to window shown", shown[shown.size() / 2], "ms", "<= 150 ms",
                "median of 5 starts of the program's own main(), from process start to the first event-loop pass");
    printFigure("start-up to window shown, 10000 rows restored", restored[restored.size() / 2], "ms", "<= 150 ms",
                "median of 5 starts with a kept list of 10000 rows");
    printFigure("resident memory idle", idleKb / 1024.0, "MB", "<= 60 MB", "VmRSS 0.5 s after the window showed");
    printFigure("resident memory with 10000 rows", rowsKb / 1024.0, "MB", "none", "VmRSS after adding 10000 rows");
}

// The window with its defaults against one pass and two rows at once, on
// clips such as a phone or a camera makes.
// Clips such as a phone or a camera makes: 10 s of 720p H.264 with sound.
QStringList hdClips(int count)
{
    QDir().mkpath(QStringLiteral("clips"));
    QStringList sources;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir::current().filePath(QStringLiteral("clips/hd%1.mp4").arg(i));
        if (!QFileInfo::exists(path)) {
            QProcess::execute(QStringLiteral("ffmpeg"),
                              { "-hide_banner", "-loglevel",
                                "error",        "-y",
                                "-f",           "lavfi",
                                "-i",           "testsrc=size=1280x720:rate=25:duration=10",
                                "-f",           "lavfi",
                                "-i",           QStringLiteral("sine=frequency=%1:duration=10").arg(300 + 50 * i),
                                "-shortest",    "-c:v",
                                "libx264",      "-pix_fmt",
                                "yuv420p",      "-c:a",
                                "aac",          path });
        }
        sources << path;
    }
    return sources;
}

void settingsFigures()
{
    const QStringList sources = hdClips(8);
    Settings onePass;
    onePass.pipeline = Settings::Pipeline::OnePass;
    Settings fast = onePass;
    fast.rowsAtOnce = 2;
    // The three alternate, and each round's ratios are taken within the
    // round: this machine's speed drifts by a tenth from one minute to the
    // next.
    std::vector<double> defaults;
    std::vector<double> quick;
    std::vector<double> single;
    std::vector<double> ratios;
    std::vector<double> singleRatios;
    for (int round = 0; round < 3; ++round) {
        defaults.push_back(runProgramBatch(sources).ms);
        quick.push_back(runProgramBatch(sources, fast).ms);
        single.push_back(runProgramBatch(sources, onePass).ms);
        ratios.push_back(defaults.back() / quick.back());
        singleRatios.push_back(defaults.back() / single.back());
    }
    for (std::vector<double> *figures : { &defaults, &quick, &single, &ratios, &singleRatios })
        std::sort(figures->begin(), figures->end());
    const char *how = "the window offscreen, 8 clips of 10 s 720p H.264 with sound, real tools, median of 3 rounds";
    printFigure("settings: batch time with the defaults", defaults[1], "ms", "none", how);
    printFigure("settings: batch time, one pass and 2 rows at once", quick[1], "ms", "none", how);
    printFigure("settings: batch time, one pass and 1 row at once", single[1], "ms", "none", how);
    printFigure("settings: defaults / one pass and 2 rows at once", ratios[1], "ratio", ">= 3.0", how);
    printFigure("settings: lowest round's ratio", ratios[0], "ratio", "none", how);
    printFigure("settings: defaults / one pass and 1 row at once", singleRatios[1], "ratio", "none", how);
    // Only the two steps pause, 500 ms after each of the 8 rows.
    printFigure("settings: defaults without their pauses / one pass and 2 rows at once",
                (defaults[1] - 8 * 500) / quick[1], "ratio", "none", "the medians, less 8 pauses of 500 ms");
}

// The SSIM of a result against its source fitted the same way (the shape
// kept on black bars at 320x240); -1 when ffmpeg cannot tell.
double ssimAgainstSource(const QString &result, const QString &source)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 { "-hide_banner", "-nostdin", "-i", result, "-i", source, "-lavfi",
                   "[1:v]scale=w='min(320,2*round(240*dar/2))':h='min(240,2*round(320/dar/2))',"
                   "pad=320:240:(ow-iw)/2:(oh-ih)/2,setsar=1,format=yuv420p[ref];"
                   "[0:v]scale=320:240,format=yuv420p[out];[out][ref]ssim=shortest=1",
                   "-f", "null", "-" });
    if (!ffmpeg.waitForFinished(300000))
        return -1;
    const QString log = QString::fromUtf8(ffmpeg.readAllStandardError());
    const int at = log.lastIndexOf(QStringLiteral("All:"));
    return at < 0 ? -1 : log.mid(at + 4).section(QLatin1Char(' '), 0, 0).toDouble();
}

// Each format's batch time against AVI's in one pass, in the window with two
// rows at once, and what each makes of the same clip: its size per minute
// and its SSIM.
void formatFigures()
{
    const QStringList sources = hdClips(8);
    const std::pair<Format, const char *> formats[] = { { Format::Avi, "AVI" },
                                                        { Format::Amv, "AMV" },
                                                        { Format::Mp4, "MP4" } };
    std::vector<double> times[3];
    std::vector<double> ratios[3];
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 3; ++i) {
            Settings settings;
            settings.pipeline = Settings::Pipeline::OnePass;
            settings.rowsAtOnce = 2;
            settings.format = formats[i].first;
            times[i].push_back(runProgramBatch(sources, settings).ms);
        }
        for (int i = 0; i < 3; ++i)
            ratios[i].push_back(times[i].back() / times[0].back());
    }
    const char *how = "the window offscreen, 8 clips of 10 s 720p H.264 with sound, one pass, 2 rows at once, real "
                      "tools, median of 3 rounds";
    for (int i = 0; i < 3; ++i) {
        std::sort(times[i].begin(), times[i].end());
        std::sort(ratios[i].begin(), ratios[i].end());
        const QString name = QString::fromLatin1(formats[i].second);
        printFigure(qPrintable(QStringLiteral("formats: batch time, %1").arg(name)), times[i][1], "ms", "none", how);
        if (i > 0)
            printFigure(qPrintable(QStringLiteral("formats: %1 / AVI").arg(name)), ratios[i][1], "ratio", "none", how);
        const QString result = QDir::current().filePath(QStringLiteral("output/hd0.") + suffixFor(formats[i].first));
        printFigure(qPrintable(QStringLiteral("formats: %1 size").arg(name)), QFileInfo(result).size() / 1024.0 * 6,
                    "KB per minute", "none", "the first clip's result at 320x240");
        printFigure(qPrintable(QStringLiteral("formats: %1 SSIM").arg(name)), ssimAgainstSource(result, sources.first()),
                    "", "none", "the first clip's result against the source fitted the same way, by ffmpeg's ssim");
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList parts = app.arguments().mid(1);
    if (parts == QStringList { "progress-window" }) {
        progressWindowFigures();
        return 0;
    }
    if (parts == QStringList { "own-cost-window" }) {
        ownCostWindowFigures();
        return 0;
    }
    if (parts.isEmpty())
        parts = QStringList { "table", "memory", "batch", "startup", "progress", "settings", "nothinglost" };
    const QString benchDir = QStringLiteral(QUORVEL_BENCH_DIR);
    std::printf("Quorvel benchmarks, working directory %s\n", qPrintable(QDir::currentPath()));
    if (parts.contains("startup"))
        startupFigures(QStringLiteral(QUORVEL_STARTUP_PROBE));
    if (parts.contains("table"))
        tableFigures();
    if (parts.contains("memory"))
        memoryFigure(benchDir);
    if (parts.contains("batch")) {
        batchFigures();
        runWithStandIn(benchDir, QStringLiteral("standin"), QStringLiteral("quick-tool"),
                       QStringLiteral("own-cost-window"), 300000);
    }
    if (parts.contains("progress"))
        progressFigures(benchDir);
    if (parts.contains("settings"))
        settingsFigures();
    if (parts.contains("formats"))
        formatFigures();
    if (parts.contains("nothinglost")) {
        keptRowsFigures();
        publishFigure(hdClips(1));
    }
    return 0;
}
