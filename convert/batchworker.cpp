#include "batchworker.h"

#include "toolcommands.h"
#include "toolrun.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>

namespace {

const QString preProcessText = QStringLiteral("Pre process");
const QString convertingText = QStringLiteral("Converting");
const QString successText = QStringLiteral("Success");
const QString failedText = QStringLiteral("Failed");

const QByteArray preProcessMarker = QByteArrayLiteral("video:");
const QByteArray convertMarker = QByteArrayLiteral("Flushing video frames");

constexpr int pauseAfterRowMs = 500;
constexpr int pauseSliceMs = 10;

// True when both paths name the same file, through links or "..", so that a
// tool is never asked to write over the file it reads.
bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath());
}

// Sleeps in short slices that watch for a stop, against a deadline so the
// slices' own overshoot does not add up.
void pauseAfterRow(const std::atomic_bool &stopRequested)
{
    const QDeadlineTimer deadline(pauseAfterRowMs, Qt::PreciseTimer);
    while (!stopRequested && !deadline.hasExpired())
        QThread::msleep(qBound<qint64>(1, deadline.remainingTime(), pauseSliceMs));
}

// Converts one row: the pre-process when the source is not AVI, then the
// transcode, each reported. Once a stop is requested it reports nothing
// more; the temporary file is removed in any case, if this row wrote it.
void convertRow(const BatchHost &host, int row, const QString &sourcePath, const std::atomic_bool &stopRequested)
{
    QString inputPath = sourcePath;
    QString preProcessPath;
    bool wrotePreProcessFile = false;
    const auto removePreProcessFile = qScopeGuard([&] {
        if (wrotePreProcessFile)
            QFile::remove(preProcessPath);
    });

    if (suffixOf(sourcePath).compare(QLatin1String("avi"), Qt::CaseInsensitive) != 0) {
        preProcessPath = buildPreProcessPath();
        host.report(row, preProcessText);
        // A source that is itself the temporary file is neither run over nor removed.
        wrotePreProcessFile = !sameFile(sourcePath, preProcessPath);
        const bool ok = wrotePreProcessFile
            && runTool(buildPreProcessCommand(sourcePath, preProcessPath), preProcessMarker, stopRequested);
        if (stopRequested)
            return;
        host.report(row, ok ? successText : failedText);
        inputPath = preProcessPath;
    }

    const QString targetPath = buildTargetPath(baseNameOf(sourcePath));
    const QString scale = scaleForResolution(host.resolutionLabel());
    if (stopRequested)
        return;
    const QString command = buildConvertCommand(scale, inputPath, targetPath);
    qDebug().noquote() << "convert command:" << command;
    host.report(row, convertingText);
    // mencoder would destroy its input if the target were the same file: a
    // source already in the output folder under the target's name, or one
    // whose base name makes the target the temporary file.
    const bool overwritesInput = sameFile(inputPath, targetPath) || sameFile(sourcePath, targetPath);
    const bool ok = !overwritesInput && runTool(command, convertMarker, stopRequested);
    if (stopRequested)
        return;
    host.report(row, ok ? successText : failedText);
}

} // namespace

void convertBatch(const BatchHost &host, const std::atomic_bool &stopRequested)
{
    const int rows = host.rowCount();
    for (int row = 0; row < rows && !stopRequested; ++row) {
        const std::optional<QString> sourcePath = host.selectRow(row);
        if (!sourcePath)
            continue; // deleted during the batch: no row at this index, no tool for it
        convertRow(host, row, *sourcePath, stopRequested);
        pauseAfterRow(stopRequested);
    }
}
