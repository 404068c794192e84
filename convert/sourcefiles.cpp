// SPDX-License-Identifier: GPL-3.0-or-later
#include "sourcefiles.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QMimeDatabase>

namespace {

bool isVideo(const QMimeDatabase &types, const QString &path)
{
    const QMimeType type = types.mimeTypeForFile(path);
    if (type.name().startsWith(QLatin1String("video/")))
        return true;
    const QStringList parents = type.allAncestors();
    for (const QString &parent : parents) {
        if (parent.startsWith(QLatin1String("video/")))
            return true;
    }
    return false;
}

} // namespace

QStringList videoFilesIn(const QString &folder)
{
    const QMimeDatabase types;
    QStringList found;
    QDirIterator entries(folder, QDir::Files | QDir::Readable | QDir::Hidden, QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        if (isVideo(types, path))
            found << path;
    }
    found.sort();
    return found;
}

QStringList expandSources(const QStringList &paths)
{
    QStringList sources;
    for (const QString &path : paths) {
        if (QFileInfo(path).isDir())
            sources << videoFilesIn(path);
        else
            sources << path;
    }
    return sources;
}
