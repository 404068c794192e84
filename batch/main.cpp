// SPDX-License-Identifier: GPL-3.0-or-later
// quorvel-batch: the window's conversion from a script, several sources at once.

#include "batchoptions.h"
#include "batchplan.h"
#include "batchreport.h"
#include "batchrun.h"
#include "console.h"
#include "handoff.h"
#include "outputfolder.h"
#include "pause.h"
#include "sourcefiles.h"
#include "stop.h"
#include "stopsignals.h"
#include "toolsearch.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr int usageOrSetupError = 2;
constexpr int liveLineIntervalMs = 200;

// Standard error carries errors only: the conversion's debug lines (each
// command it runs) are dropped.
void printProblems(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "quorvel-batch: %s\n", qUtf8Printable(message));
    if (type == QtFatalMsg)
        std::abort();
}

int usageError(const QString &message)
{
    std::fprintf(stderr, "quorvel-batch: %s\nTry 'quorvel-batch --help' for more information.\n",
                 qUtf8Printable(message));
    return usageOrSetupError;
}

int setupError(const QString &message)
{
    std::fprintf(stderr, "quorvel-batch: %s\n", qUtf8Printable(message));
    return usageOrSetupError;
}

// The command lines that a run would start, one per line; a source that
// would fail before any tool is named on standard error instead, and the
// status is 1 then.
int printCommands(const std::vector<Job> &jobs)
{
    bool anySkipped = false;
    for (const Job &job : jobs) {
        if (!job.refusal.isEmpty()) {
            std::fprintf(stderr, "quorvel-batch: skipped %s: %s\n", qUtf8Printable(job.source),
                         qUtf8Printable(job.refusal));
            anySkipped = true;
            continue;
        }
        if (job.preProcess)
            std::printf("%s\n", qUtf8Printable(job.preProcess->shellText()));
        std::printf("%s\n", qUtf8Printable(job.transcode.shellText()));
    }
    return anySkipped ? 1 : 0;
}

// A job whose target stands already, newer than its source: results only
// ever appear whole, so an existing one is a finished one.
bool convertedAlready(const Job &job)
{
    const QFileInfo target(job.target);
    return job.refusal.isEmpty() && target.isFile() && target.lastModified() > QFileInfo(job.source).lastModified();
}

// Converts every job on `workers` threads while this thread's event loop
// turns stop signals into the stop and redraws the live line. With
// `keepDone`, a job converted already is reported Skipped instead.
int convertAll(const std::vector<Job> &allJobs, int workers, bool keepDone)
{
    const bool live = isTerminal(stderr);
    BatchReport report(int(allJobs.size()), live);
    std::vector<Job> jobs;
    for (const Job &job : allJobs) {
        if (keepDone && convertedAlready(job))
            report.ended(job.number, Stage::Skipped, job.source, job.target, QStringLiteral("already converted"));
        else
            jobs.push_back(job);
    }
    // A stop signal counts from the moment it is sent: a tool that the same
    // signal ended (a whole process group signalled) must not be followed
    // by the next step before this thread has turned it into a request.
    Stop stop([] { return StopSignals::received() != 0; });
    Pause pause;
    BatchRun run(jobs, report, stop, pause);
    const StopSignals stopSignals(stop, pause); // before any other thread, which inherits its mask
    // The conversion compares file times in local time.
    pinLocalTimeZone();

    QTimer liveLine;
    if (live) {
        QObject::connect(&liveLine, &QTimer::timeout, [&report] { report.redraw(); });
        liveLine.start(liveLineIntervalMs);
    }

    std::thread batch([&] {
        run.run(workers);
        postTo(QCoreApplication::instance(), [] { QCoreApplication::quit(); });
    });
    QCoreApplication::exec();
    batch.join();

    const int signalNumber = StopSignals::received();
    if (signalNumber != 0)
        run.reportUnfinished(StopSignals::reason(signalNumber));
    report.close();
    if (signalNumber != 0)
        return StopSignals::exitCode(signalNumber);
    return report.anyFailed() ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    qInstallMessageHandler(printProblems);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvel-batch"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));

    QString error;
    const std::optional<BatchOptions> options = parseBatchOptions(QCoreApplication::arguments(), &error);
    if (!options)
        return usageError(error);
    const bool direct = options->choices.pipeline == Settings::Pipeline::OnePass || options->choices.format != Format::Avi;
    const std::optional<Tools> tools = findTools(options->toolsFolder, !direct, &error);
    if (!tools)
        return setupError(error);
    if (options->printTools) {
        std::printf("ffmpeg\t%s\n", qUtf8Printable(tools->ffmpeg));
        if (!direct)
            std::printf("mencoder\t%s\n", qUtf8Printable(tools->mencoder));
        return 0;
    }

    const QStringList sources = expandSources(options->paths);
    if (sources.isEmpty())
        return setupError(QStringLiteral("no video files in %1").arg(options->paths.join(QStringLiteral(", "))));
    BatchPlan batchPlan = batchPlanFor(options->choices, options->scale, int(sources.size()));
    batchPlan.settings.ffmpeg = tools->ffmpeg;
    batchPlan.settings.mencoder = tools->mencoder;
    Plan plan(sources);
    std::vector<Job> jobs;
    jobs.reserve(std::size_t(sources.size()));
    for (const QString &source : sources)
        jobs.push_back(plan.add(int(jobs.size()), source, batchPlan.settings));

    if (options->dryRun)
        return printCommands(jobs);
    const QString output = batchPlan.settings.outputFolder;
    error = prepareOutputFolder(output);
    if (!error.isEmpty())
        return setupError(error);
    if (const int removed = removeLeftovers(output))
        std::fprintf(stderr, "quorvel-batch: removed %d file(s) left in %s by a Quorvel that ended while converting\n",
                     removed, qUtf8Printable(output));
    return convertAll(jobs, batchPlan.workers, options->keepDone);
}
