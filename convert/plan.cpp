// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan.h"

#include "names.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <algorithm>

Plan::Plan(const QStringList &sources)
{
    for (const QString &source : sources)
        m_sourcesByName.insert(QFileInfo(source).fileName(), absolutePath(source));
}

// Only the batch's sources of the same file name are looked at on disk: a
// batch of any size costs each job a lookup, not a file system call per
// source.
QString Plan::temporaryFor(const QString &source, const QString &outputFolder)
{
    for (;;) {
        const QString path = temporaryNameFor(outputFolder);
        const auto isPath = [&path](const QString &other) { return sameFile(other, path); };
        const QList<QString> namesakes = m_sourcesByName.values(QFileInfo(path).fileName());
        if (!isPath(source) && std::none_of(namesakes.cbegin(), namesakes.cend(), isPath))
            return path;
    }
}

Job Plan::add(int number, const QString &source, const PlanSettings &settings)
{
    Job job;
    job.number = number;
    job.source = absolutePath(source);
    job.target = buildTargetPath(baseNameOf(job.source), settings.outputFolder, suffixFor(settings.format));
    job.direct = settings.direct || settings.format != Format::Avi;

    const auto earlier = m_firstWithTarget.constFind(job.target);
    if (!settings.outputProblem.isEmpty())
        job.refusal = settings.outputProblem;
    else if (earlier != m_firstWithTarget.constEnd())
        job.refusal = QStringLiteral("same target as %1").arg(*earlier);
    else
        job.refusal = sourceProblem(job.source);
    if (job.refusal.isEmpty() && sameFile(job.source, job.target))
        job.refusal = QStringLiteral("the target would overwrite the source");
    if (job.refusal.isEmpty() && !nameFits(QFileInfo(job.target).fileName()))
        job.refusal = QStringLiteral("the name is too long for the file system");
    if (!job.refusal.isEmpty())
        return job;
    m_firstWithTarget.insert(job.target, job.source);

    job.working = workingNameFor(job.target);
    if (job.direct) {
        job.transcode = directCommand(settings.ffmpeg, settings.scale, job.source, job.working, settings.picture,
                                      settings.decoderThreads, settings.format);
        if (settings.format == Format::Amv)
            job.withSilence = directCommand(settings.ffmpeg, settings.scale, job.source, job.working,
                                            settings.picture, settings.decoderThreads, settings.format, true);
        return job;
    }
    QString input = job.source;
    if (needsPreProcess(job.source)) {
        job.temporary = temporaryFor(job.source, settings.outputFolder);
        job.preProcess = preProcessCommand(settings.ffmpeg, job.source, job.temporary);
        input = job.temporary;
    }
    job.transcode = transcodeCommand(settings.mencoder, settings.scale, input, job.working, settings.picture);
    return job;
}

QString sourceProblem(const QString &source)
{
    if (source.isEmpty())
        return QStringLiteral("an empty path names no file");
    const QFileInfo file(source);
    if (!file.exists())
        return QStringLiteral("%1 does not exist").arg(source);
    if (!file.isFile())
        return QStringLiteral("%1 is not a regular file").arg(source);
    QFile reader(source);
    if (!reader.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 cannot be read").arg(source);
    if (file.size() == 0)
        return QStringLiteral("%1 is empty").arg(source);
    // By content alone: a text file stays text whatever its name says.
    const QMimeDatabase types;
    if (types.mimeTypeForData(&reader).inherits(QStringLiteral("text/plain")))
        return QStringLiteral("%1 is a text file, not a video").arg(source);
    return QString();
}
