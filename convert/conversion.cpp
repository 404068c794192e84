// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion.h"

#include "plan.h"
#include "resultcheck.h"
#include "stop.h"
#include "toolcommands.h"
#include "toolrun.h"

#include <QDateTime>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>

QString stageText(Stage stage)
{
    switch (stage) {
    case Stage::Waiting:
        break;
    case Stage::PreProcessing:
        return QStringLiteral("Pre process");
    case Stage::Converting:
        return QStringLiteral("Converting");
    case Stage::Succeeded:
        return QStringLiteral("Success");
    case Stage::Failed:
        return QStringLiteral("Failed");
    case Stage::Stopped:
        return QStringLiteral("Stopped");
    }
    return QString();
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

// A file as it was before a tool ran, to tell whether the tool touched it.
struct FileState {
    explicit FileState(const QString &path)
    {
        const QFileInfo file(path);
        exists = file.exists();
        size = file.size();
        modified = file.lastModified();
    }
    bool operator!=(const FileState &other) const
    {
        return exists != other.exists || size != other.size || modified != other.modified;
    }
    bool exists;
    qint64 size;
    QDateTime modified;
};

struct TargetStep {
    bool stopped = false;
    QString reason; // why the step failed; empty when it succeeded
};

// Runs the step that writes the target and judges it. A target that the run
// touched is removed when the step fails or is stopped, so that no broken
// file stands under the source's name; a file it never touched, such as an
// earlier good result, stays.
TargetStep writeTarget(ToolOutput::Tool tool, const ToolCommand &command, const QString &targetPath, const Stop &stop,
                       const std::function<void(const ToolOutput &)> &onOutput, double sourceSeconds = -1)
{
    TargetStep step;
    const FileState before(targetPath);
    const ToolRun run = runTool(tool, command, stop, onOutput);
    const bool touched = FileState(targetPath) != before;
    step.stopped = stop.isRequested();
    if (!step.stopped)
        step.reason = tool == ToolOutput::Tool::Mencoder ? checkTranscode(run, targetPath, sourceSeconds)
                                                         : checkDirect(run, targetPath);
    if ((step.stopped || !step.reason.isEmpty()) && touched)
        QFile::remove(targetPath);
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
    const TargetStep step = writeTarget(ToolOutput::Tool::Ffmpeg, job.transcode, job.target, stop,
                                        progress.step(0, 100));
    if (step.stopped)
        return ended(Stage::Stopped);
    reportOutcome(steps, progress, step.reason);
    return endedWith(step.reason);
}

} // namespace

ConversionResult convertJob(const Job &job, const ConversionSteps &steps, const Stop &stop)
{
    if (!job.refusal.isEmpty()) {
        steps.report(Stage::Failed);
        return ended(Stage::Failed, job.refusal);
    }
    if (job.direct)
        return convertDirect(job, steps, stop);

    ProgressThrottle progress(steps.progress);
    bool wroteTemporary = false;
    const auto removeTemporary = qScopeGuard([&] {
        if (wroteTemporary)
            QFile::remove(job.temporary);
    });

    QString firstFailure;
    double sourceLength = -1;
    const int transcodeStart = job.preProcess ? 50 : 0;
    if (job.preProcess) {
        steps.report(Stage::PreProcessing);
        progress.start(0);
        // A stale temporary file (a crash, a kill) must not become this
        // source's result when the pre-process fails.
        QFile::remove(job.temporary);
        wroteTemporary = true;
        const ToolRun run = runTool(ToolOutput::Tool::Ffmpeg, *job.preProcess, stop, progress.step(0, transcodeStart));
        if (stop.isRequested())
            return ended(Stage::Stopped);
        firstFailure = checkPreProcess(run, job.temporary);
        sourceLength = run.output.durationSeconds();
        if (!firstFailure.isEmpty())
            QFile::remove(job.temporary); // leaves nothing for the transcode to find
        progress.flush();
        steps.report(firstFailure.isEmpty() ? Stage::Succeeded : Stage::Failed);
    }

    if (stop.isRequested())
        return ended(Stage::Stopped);
    qDebug().noquote() << "convert command:" << job.transcode.text();
    steps.report(Stage::Converting);
    progress.start(transcodeStart);
    const TargetStep step = writeTarget(ToolOutput::Tool::Mencoder, job.transcode, job.target, stop,
                                        progress.step(transcodeStart, 100, sourceLength), sourceLength);
    if (step.stopped)
        return ended(Stage::Stopped);
    QString reason = step.reason;
    // Its input was removed or is missing after a failed pre-process:
    // whatever mencoder made of it is no good result.
    if (reason.isEmpty() && !firstFailure.isEmpty()) {
        reason = firstFailure;
        QFile::remove(job.target);
    }
    reportOutcome(steps, progress, reason);
    // The first step that failed says why.
    return endedWith(firstFailure.isEmpty() ? reason : firstFailure);
}
