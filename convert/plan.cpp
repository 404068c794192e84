// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan.h"

#include "outputfolder.h"
#include "settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSysInfo>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

// The machine's short name, letters, digits and '-' only.
QString machineName()
{
    QString name = QSysInfo::machineHostName().section(QLatin1Char('.'), 0, 0);
    for (QChar &c : name) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('-'))
            c = QLatin1Char('-');
    }
    return name.isEmpty() ? QStringLiteral("host") : name;
}

// A number for each file this process names, across its batches, which may
// run at once.
int nextFileNumber()
{
    static std::atomic<int> files { 0 };
    return ++files;
}

// The longest file name the file systems we write to take, in bytes of the
// name as it is passed to the system (NAME_MAX on Linux).
constexpr int maxNameBytes = 255;

int nameBytes(const QString &name)
{
    return QFile::encodeName(name).size();
}

// The longest start of `text` that takes at most `bytes`, never half a
// letter; `fromEnd` takes the longest end instead.
QString fitted(const QString &text, int bytes, bool fromEnd)
{
    int length = 0;
    while (length < text.size()) {
        int next = length + 1;
        const QChar edge = fromEnd ? text.at(text.size() - next) : text.at(length);
        if (next < text.size() && (fromEnd ? edge.isLowSurrogate() : edge.isHighSurrogate()))
            ++next;
        if (nameBytes(fromEnd ? text.right(next) : text.left(next)) > bytes)
            break;
        length = next;
    }
    return fromEnd ? text.right(length) : text.left(length);
}

// The result's working name: hidden, marked as Quorvel's, and named for this
// machine, process and job, so that nothing else ever writes or removes it.
// A target whose name leaves no room for the marks keeps its start and its
// end, with a hash of the whole name between them, so that the working name
// fits wherever the target does and still reads as the target's.
QString workingNameFor(const QString &target)
{
    const QFileInfo file(target);
    const QString mark =
        QStringLiteral(".quorvel-") + processTag() + QLatin1Char('-') + QString::number(nextFileNumber()) + QLatin1Char('.');
    const QString part = QStringLiteral(".part");
    QString name = file.fileName();
    const int room = maxNameBytes - nameBytes(mark) - nameBytes(part);
    if (nameBytes(name) > room) {
        const QString hash = QStringLiteral("~%1~").arg(qHash(name), 8, 16, QLatin1Char('0'));
        const int half = (room - hash.size()) / 2;
        name = fitted(name, half, false) + hash + fitted(name, half, true);
    }
    return file.path() + QLatin1Char('/') + mark + name + part;
}
} // namespace

QString processTag()
{
    return machineName() + QLatin1Char('-') + QString::number(QCoreApplication::applicationPid());
}

QString absolutePath(const QString &path)
{
    return path.isEmpty() ? path : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return absolutePath(a) == absolutePath(b);
}

Plan::Plan(const QStringList &sources)
{
    for (const QString &source : sources)
        m_sourcesByName.insert(QFileInfo(source).fileName(), absolutePath(source));
}

// Named for this machine, process and job, so that programs sharing an
// output folder (two windows, a window and a script, machines on a shared
// disk) never meet, and with dots in its base name, so that it is never a
// target. Only the batch's sources of the same file name are looked at on
// disk: a batch of any size costs each job a lookup, not a file system call
// per source.
QString Plan::temporaryFor(const QString &source, const QString &outputFolder)
{
    static const QString owner = machineName() + QLatin1Char('.') + QString::number(QCoreApplication::applicationPid());
    for (;;) {
        const QString path = QStringLiteral("%1/quorvel-tmp.%2.%3.avi").arg(outputFolder, owner).arg(nextFileNumber());
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
    job.target = buildTargetPath(baseNameOf(job.source), settings.outputFolder);
    job.direct = settings.direct;

    const auto earlier = m_firstWithTarget.constFind(job.target);
    if (!settings.outputProblem.isEmpty())
        job.refusal = settings.outputProblem;
    else if (earlier != m_firstWithTarget.constEnd())
        job.refusal = QStringLiteral("same target as %1").arg(*earlier);
    else
        job.refusal = sourceProblem(job.source);
    if (job.refusal.isEmpty() && sameFile(job.source, job.target))
        job.refusal = QStringLiteral("the target would overwrite the source");
    if (job.refusal.isEmpty() && nameBytes(QFileInfo(job.target).fileName()) > maxNameBytes)
        job.refusal = QStringLiteral("the name is too long for the file system");
    if (!job.refusal.isEmpty())
        return job;
    m_firstWithTarget.insert(job.target, job.source);

    job.working = workingNameFor(job.target);
    if (settings.direct) {
        job.transcode = directCommand(settings.ffmpeg, settings.scale, job.source, job.working, settings.picture,
                                      settings.decoderThreads);
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

BatchPlan batchPlanFor(const Settings &choices, const QString &scale, int jobCount)
{
    BatchPlan plan;
    plan.workers = std::max(1, std::min(choices.rowsAtOnce, jobCount));
    plan.settings.scale = scale;
    plan.settings.outputFolder = outputFolderFor(choices.outputFolder);
    plan.settings.direct = choices.pipeline == Settings::Pipeline::OnePass;
    plan.settings.picture = choices.picture;
    plan.settings.decoderThreads = decoderThreadsFor(plan.workers, QThread::idealThreadCount());
    return plan;
}

int removeLeftovers(const QString &folder)
{
    // The names temporaryFor() and workingNameFor() give: the machine's name
    // holds no dot, and the process id stands right after it.
    static const QRegularExpression temporary(QStringLiteral("^quorvel-tmp\\.([A-Za-z0-9-]+)\\.(\\d+)\\.\\d+\\.avi$"));
    static const QRegularExpression working(QStringLiteral("^\\.quorvel-([A-Za-z0-9-]+)-(\\d+)-\\d+\\..+\\.part$"));
    const qint64 self = QCoreApplication::applicationPid();
    int removed = 0;
    const QStringList names = QDir(folder).entryList({ QStringLiteral("quorvel-tmp.*"), QStringLiteral(".quorvel-*") },
                                                     QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        QRegularExpressionMatch match = temporary.match(name);
        if (!match.hasMatch())
            match = working.match(name);
        if (!match.hasMatch() || match.captured(1) != machineName())
            continue;
        const qint64 owner = match.captured(2).toLongLong();
        // kill(pid, 0) fails with ESRCH only when no such process exists.
        if (owner == self || owner <= 0 || ::kill(pid_t(owner), 0) == 0 || errno != ESRCH)
            continue;
        removed += QFile::remove(folder + QLatin1Char('/') + name) ? 1 : 0;
    }
    return removed;
}

int decoderThreadsFor(int jobsAtOnce, int cores)
{
    // A decoder starts a thread per core. With several jobs at once the
    // cores are busy already, and those threads only take turns on them:
    // two 720p H.264 rows at once on two cores take a fifth less time when
    // each decodes on one thread, and a lone row is faster with them all.
    if (jobsAtOnce <= 1)
        return 0;
    return std::max(1, cores / jobsAtOnce);
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
