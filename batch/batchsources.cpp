// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchsources.h"

#include "sourcefiles.h"
#include "toolcommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QSysInfo>

namespace {

QString absolute(const QString &path)
{
    return path.isEmpty() ? path : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

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

} // namespace

QString temporaryPathFor(const QString &outputFolder, int number)
{
    static const QString owner = machineName() + QLatin1Char('.') + QString::number(QCoreApplication::applicationPid());
    return QStringLiteral("%1/quorvel-batch.%2.%3.tmp.avi").arg(outputFolder, owner).arg(number);
}

std::vector<BatchTask> planTasks(const QStringList &paths, const QString &outputFolder)
{
    QStringList absolutePaths;
    for (const QString &path : paths)
        absolutePaths << absolute(path);
    const QStringList sources = expandSources(absolutePaths);

    std::vector<BatchTask> tasks;
    tasks.reserve(std::size_t(sources.size()));
    QHash<QString, QString> firstWithTarget;
    for (const QString &source : sources) {
        BatchTask task;
        task.source = QDir::cleanPath(source);
        task.target = buildTargetPath(baseNameOf(task.source), outputFolder);
        task.temporary = temporaryPathFor(outputFolder, int(tasks.size()) + 1);
        const auto earlier = firstWithTarget.constFind(task.target);
        if (earlier != firstWithTarget.constEnd())
            task.failure = QStringLiteral("same target as %1").arg(*earlier);
        else
            firstWithTarget.insert(task.target, task.source);
        tasks.push_back(task);
    }
    return tasks;
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
