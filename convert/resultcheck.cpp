// SPDX-License-Identifier: GPL-3.0-or-later
#include "resultcheck.h"

#include <QFileInfo>

namespace {

qint64 fileSize(const QString &path)
{
    const QFileInfo file(path);
    return file.isFile() ? file.size() : 0;
}

QString missingOrEmpty(const QString &path)
{
    return QStringLiteral("%1 is missing or empty").arg(path);
}

// The tool's own last words when it ended without its summary.
QString toolSaid(const ToolRun &run)
{
    const QString name = toolName(run.output.tool());
    const QString message = run.output.lastMessage();
    if (message.isEmpty())
        return QStringLiteral("%1 ended without its closing summary").arg(name);
    return name + QStringLiteral(": ") + message;
}

} // namespace

QString runFailure(const ToolRun &run)
{
    const QString name = toolName(run.output.tool());
    switch (run.end) {
    case ToolRun::End::Finished:
        return QString();
    case ToolRun::End::Crashed:
        return QStringLiteral("%1 was ended by signal %2").arg(name).arg(run.signal);
    case ToolRun::End::NotFound:
        return QStringLiteral("%1 was not found: %2").arg(name, run.program);
    case ToolRun::End::NotStarted:
        return QStringLiteral("%1 could not be started: %2").arg(name, run.program)
            + (run.startError.isEmpty() ? QString() : QStringLiteral(": ") + run.startError);
    case ToolRun::End::Stopped:
        return QStringLiteral("%1 was stopped").arg(name);
    }
    return QString();
}

QString cutShort(double sourceSeconds, double resultSeconds)
{
    if (sourceSeconds <= 0 || resultSeconds < 0)
        return QString();
    // Room for rounding, a last frame's length and decoder padding.
    const double missing = sourceSeconds - resultSeconds;
    if (missing > 0.5 && missing > 0.02 * sourceSeconds)
        return QStringLiteral("cut short: %1 s of %2 s").arg(resultSeconds, 0, 'f', 1).arg(sourceSeconds, 0, 'f', 1);
    return QString();
}

namespace {

// A tool ended from outside (a SIGTERM at logout) still prints its summary:
// only its status tells that the file is cut short.
QString exitProblem(const ToolRun &run)
{
    if (run.exitCode != 0)
        return QStringLiteral("%1 exited with status %2").arg(toolName(run.output.tool())).arg(run.exitCode);
    return QString();
}

// What both ffmpeg steps need: a run that finished, its closing summary,
// and frames. The summary's kB figure rounds one small frame down to
// "video:0kB", so the frame count of the last progress line decides.
QString ffmpegProblem(const ToolRun &run)
{
    const QString failure = runFailure(run);
    if (!failure.isEmpty())
        return failure;
    const ToolOutput &output = run.output;
    if (output.inputHasNoPicture())
        return QStringLiteral("the source has no picture");
    if (!output.markerSeen() || !output.summarySeen())
        return toolSaid(run);
    if (const QString exit = exitProblem(run); !exit.isEmpty())
        return exit;
    if (output.frames() <= 0)
        return QStringLiteral("ffmpeg wrote no frames");
    return QString();
}

} // namespace

QString checkPreProcess(const ToolRun &run, const QString &outputPath)
{
    const QString problem = ffmpegProblem(run);
    if (!problem.isEmpty())
        return problem;
    if (fileSize(outputPath) <= 0)
        return missingOrEmpty(outputPath);
    return cutShort(run.output.durationSeconds(), run.output.timeSeconds());
}

QString checkDirect(const ToolRun &run, const QString &targetPath)
{
    const QString problem = ffmpegProblem(run);
    if (!problem.isEmpty())
        return problem;
    const ToolOutput &output = run.output;
    if (output.inputHasSound() && output.audioKilobytes() <= 0)
        return QStringLiteral("ffmpeg wrote no sound");
    const qint64 size = fileSize(targetPath);
    if (size <= 0)
        return missingOrEmpty(targetPath);
    // The summary rounds each figure to the nearest kB.
    const qint64 reported = (output.videoKilobytes() + std::max<qint64>(0, output.audioKilobytes())) * 1024;
    if (size < reported - 1024)
        return QStringLiteral("%1 is smaller than the %2 kB ffmpeg reported").arg(targetPath).arg(reported / 1024);
    return cutShort(output.durationSeconds(), output.timeSeconds());
}

QString checkTranscode(const ToolRun &run, const QString &targetPath, double sourceSeconds)
{
    const QString failure = runFailure(run);
    if (!failure.isEmpty())
        return failure;
    const ToolOutput &output = run.output;
    if (!output.markerSeen() || output.videoBytes() < 0)
        return toolSaid(run);
    if (const QString exit = exitProblem(run); !exit.isEmpty())
        return exit;
    if (output.videoFrames() <= 0)
        return QStringLiteral("mencoder wrote no frames");
    if (output.inputHasSound() && output.audioBytes() <= 0)
        return QStringLiteral("mencoder wrote no sound");
    const qint64 size = fileSize(targetPath);
    if (size <= 0)
        return missingOrEmpty(targetPath);
    const qint64 reported = output.videoBytes() + std::max<qint64>(0, output.audioBytes());
    if (size < reported)
        return QStringLiteral("%1 is smaller than the %2 bytes mencoder reported").arg(targetPath).arg(reported);
    return cutShort(sourceSeconds, output.videoSeconds());
}
