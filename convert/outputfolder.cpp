// SPDX-License-Identifier: GPL-3.0-or-later
#include "outputfolder.h"

#include "names.h"
#include "paths.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {

// Permission bits do not tell: root passes them everywhere, and a read-only
// mount or /proc refuses anyone. Making a file does tell.
bool takesFiles(const QString &folder)
{
    QTemporaryFile probe(probeTemplateFor(folder));
    return probe.open();
}

} // namespace

QString outputFolderFor(const QString &chosen)
{
    return chosen.isEmpty() ? outputPath : absolutePath(chosen);
}

QString prepareOutputFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return QStringLiteral("the output folder %1 is not a folder").arg(folder);
    if (!QDir().mkpath(folder))
        return QStringLiteral("cannot make the output folder %1").arg(folder);
    if (!takesFiles(folder))
        return QStringLiteral("cannot write to the output folder %1").arg(folder);
    return QString();
}

QString outputFolderProblem(const QString &folder)
{
    if (folder.isEmpty())
        return QString();
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("does not exist");
    if (!info.isDir())
        return QStringLiteral("is not a folder");
    if (!takesFiles(info.absoluteFilePath()))
        return QStringLiteral("cannot be written");
    return QString();
}
