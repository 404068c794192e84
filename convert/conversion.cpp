// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion.h"

#include "files.h"
#include "plan.h"
#include "resultcheck.h"
#include "stop.h"
#include "toolcommands.h"
#include "toolrun.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStringList>

#include <algorithm>

QString stageText(Stage stage)
{
    // In the order of Stage; Waiting has no word.
    static const char *const words[] = { "", "Pre process", "Converting", "Success", "Failed", "Stopped", "Skipped" };
    return QString::fromLatin1(words[int(stage)]);
}

namespace {

constexpr int progressIntervalMs = 100;

// Passes progress on: only upwards, and at most every 100 ms however fast
// the tool prints, so the receiver sees at most ten updates a second.
class ProgressThrottle
{
public:
    explicit ProgressThrottle(const std::function<void(int)> &sink)
        : m_sink(sink)
    {
    }

    void update(int percent)
    {
        m_latest = std::max(m_latest, std::clamp(percent, 0, 100));
        if (m_latest > m_sent && (!m_clock.isValid() || m_clock.elapsed() >= progressIntervalMs))
            send();
    }
    // Sends what is held back, whatever the time.
    void flush()
    {
        if (m_latest > m_sent)
            send();
    }
    // A step's start: shown at once, even when it adds nothing.
    void start(int percent)
    {
        m_latest = std::max(m_latest, percent);
        send();
    }
    // Takes a step's tool output: its own share done, 0 to 1 (against
    // `knownLength` seconds when given), passed on as `from` to `to`.
    std::function<void(const ToolOutput &)> step(int from, int to, double knownLength = -1)
    {
        return [this, from, to, knownLength](const ToolOutput &output) {
            const double done = output.progress(knownLength);
            if (done >= 0)
                update(from + int(done * (to - from)));
        };
    }

private:
    void send()
    {
        m_sent = m_latest;
        m_clock.start();
        if (m_sink)
            m_sink(m_sent);
    }

    const std::function<void(int)> &m_sink;
    int m_latest = 0;
    int m_sent = -1;
    QElapsedTimer m_clock;
};

// Why a step that wrote `written` failed, where the tools cannot tell: its
// folder has gone (renamed or removed under the batch), or its file system
// had less room left than the step had written. The tools would only say
// that a file could not be opened or written, or is smaller than they said.
QString explained(const QString &reason, const QString &written)
{
    const QFileInfo file(written);
    const QString folder = file.absolutePath();
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("the output folder %1 does not exist").arg(folder);
    QStorageInfo storage(folder);
    storage.refresh();
    if (storage.isValid() && storage.bytesAvailable() < std::max<qint64>(file.size(), 1))
        return QStringLiteral("the disk is full (%1)").arg(folder);
    return reason;
}

// The files a job writes beside its target, removed when the job ends
// unless they were put in place. The folder is held from the start, so that
// they go from wherever it lies by then, renamed or moved.
class JobFiles
{
public:
    explicit JobFiles(const QString &anyOfThem)
        : m_folder(QFileInfo(anyOfThem).absolutePath())
    {
    }
    ~JobFiles()
    {
        for (const QString &path : qAsConst(m_files))
            m_folder.remove(path);
    }
    Q_DISABLE_COPY(JobFiles)

    // `path` goes when the job ends.
    void add(const QString &path) { m_files << path; }
    void remove(const QString &path) const { m_folder.remove(path); }

private:
    const FolderHold m_folder;
    QStringList m_files;
};

struct TargetStep {
    bool stopped = false;
    bool sourceHasSound = false; // as the tool read the source
    QString reason; // why the step failed; empty when it succeeded
};

// Runs the step that writes the result (`command`, or the job's own), into
// its working file, and judges it. The target itself is never touched here:
// see publishResult().
TargetStep writeResult(ToolOutput::Tool tool, const Job &job, const Stop &stop, Pause *pause,
                       const std::function<void(const ToolOutput &)> &onOutput, double sourceSeconds = -1,
                       const ToolCommand *command = nullptr)
{
    TargetStep step;
    const ToolRun run = runTool(tool, command ? *command : job.transcode, stop, onOutput, pause);
    step.stopped = stop.isRequested();
    step.sourceHasSound = run.output.inputHasSound();
    if (!step.stopped)
        step.reason = tool == ToolOutput::Tool::Mencoder ? checkTranscode(run, job.working, sourceSeconds)
                                                         : checkDirect(run, job.working);
    // The result is what its reason speaks of, by the name the user knows.
    step.reason.replace(job.working, job.target);
    if (!step.reason.isEmpty())
        step.reason = explained(step.reason, job.working);
    return step;
}

// The last step's outcome: a full bar on success, where it stands otherwise.
void reportOutcome(const ConversionSteps &steps, ProgressThrottle &progress, const QString &reason)
{
    if (reason.isEmpty())
        progress.start(100);
    else
        progress.flush();
    steps.report(reason.isEmpty() ? Stage::Succeeded : Stage::Failed);
}

ConversionResult ended(Stage outcome, const QString &reason = QString())
{
    return ConversionResult { outcome, reason };
}

// Success when there is no reason to fail.
ConversionResult endedWith(const QString &reason)
{
    return reason.isEmpty() ? ended(Stage::Succeeded) : ended(Stage::Failed, reason);
}

ConversionResult convertDirect(const Job &job, const ConversionSteps &steps, const Stop &stop)
{
    ProgressThrottle progress(steps.progress);
    if (stop.isRequested())
        return ended(Stage::Stopped);
    steps.report(Stage::Converting);
    progress.start(0);
    TargetStep step = writeResult(ToolOutput::Tool::Ffmpeg, job, stop, steps.pause, progress.step(0, 100));
    // A format that must carry sound, and a source without: once more, with
    // a silent track.
    if (!step.stopped && !step.reason.isEmpty() && !step.sourceHasSound && job.withSilence)
        step = writeResult(ToolOutput::Tool::Ffmpeg, job, stop, steps.pause, progress.step(0, 100), -1,
                           &*job.withSilence);
    if (step.stopped)
        return ended(Stage::Stopped);
    const QString reason = step.reason.isEmpty() ? publishResult(job.working, job.target) : step.reason;
    reportOutcome(steps, progress, reason);
    return endedWith(reason);
}

} // namespace

ConversionResult convertJob(const Job &job, const ConversionSteps &steps, const Stop &stop)
{
    if (!job.refusal.isEmpty()) {
        steps.report(Stage::Failed);
        return ended(Stage::Failed, job.refusal);
    }
    // Whatever the tool wrote goes, unless it was put in place: a failed or
    // stopped run leaves the target as it was.
    JobFiles written(job.working);
    written.add(job.working);
    if (job.direct)
        return convertDirect(job, steps, stop);

    ProgressThrottle progress(steps.progress);

    QString firstFailure;
    double sourceLength = -1;
    const int transcodeStart = job.preProcess ? 50 : 0;
    if (job.preProcess) {
        steps.report(Stage::PreProcessing);
        progress.start(0);
        // A stale temporary file (a crash, a kill) must not become this
        // source's result when the pre-process fails.
        written.remove(job.temporary);
        written.add(job.temporary);
        const ToolRun run = runTool(ToolOutput::Tool::Ffmpeg, *job.preProcess, stop, progress.step(0, transcodeStart),
                                    steps.pause);
        if (stop.isRequested())
            return ended(Stage::Stopped);
        firstFailure = checkPreProcess(run, job.temporary);
        if (!firstFailure.isEmpty())
            firstFailure = explained(firstFailure, job.temporary);
        sourceLength = run.output.durationSeconds();
        if (!firstFailure.isEmpty())
            written.remove(job.temporary); // leaves nothing for the transcode to find
        progress.flush();
        steps.report(firstFailure.isEmpty() ? Stage::Succeeded : Stage::Failed);
    }

    if (stop.isRequested())
        return ended(Stage::Stopped);
    qDebug().noquote() << "convert command:" << job.transcode.text();
    steps.report(Stage::Converting);
    progress.start(transcodeStart);
    const TargetStep step = writeResult(ToolOutput::Tool::Mencoder, job, stop, steps.pause,
                                        progress.step(transcodeStart, 100, sourceLength), sourceLength);
    if (step.stopped)
        return ended(Stage::Stopped);
    QString reason = step.reason;
    // Its input was removed or is missing after a failed pre-process:
    // whatever mencoder made of it is no good result.
    if (reason.isEmpty())
        reason = firstFailure.isEmpty() ? publishResult(job.working, job.target) : firstFailure;
    reportOutcome(steps, progress, reason);
    // The first step that failed says why.
    return endedWith(firstFailure.isEmpty() ? reason : firstFailure);
}

QString publishResult(const QString &workingPath, const QString &targetPath)
{
    const QString error = putInPlace(workingPath, targetPath);
    return error.isEmpty() ? error
                           : QStringLiteral("cannot put the result in place as %1: %2").arg(targetPath, error);
}
