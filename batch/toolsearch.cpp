// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolsearch.h"

#include "paths.h"
#include "toolplaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString systemFfmpeg()
{
    return systemTool(QStringLiteral("ffmpeg"));
}

QString systemMencoder()
{
    return systemTool(QStringLiteral("mencoder"));
}

bool runnable(const QString &path)
{
    const QFileInfo file(path); // follows links: a dangling one does not count
    return file.isFile() && file.isExecutable();
}

// Quorvel's mencoder launcher, which hands its arguments to the system's
// mencoder (that one must be there too, or every transcode would fail), is
// known by the compatibility shim that lies beside it.
bool isLauncher(const QString &path)
{
    const QFileInfo launcher(QFileInfo(path).canonicalFilePath());
    return QFileInfo::exists(launcher.absolutePath() + QStringLiteral("/libquorvel-avcompat.so"));
}

QString installedLauncher()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../libexec/quorvel/mencoder"));
}

std::optional<QString> findFfmpeg(const QString &folder, QString *error)
{
    if (!folder.isEmpty()) {
        const QString path = folder + QLatin1Char('/') + QFileInfo(ffmpegPath).fileName();
        if (runnable(path))
            return path;
        *error = QStringLiteral("%1 is missing or cannot be run; Debian's ffmpeg package provides ffmpeg (sudo apt "
                                "install ffmpeg)")
                     .arg(path);
        return std::nullopt;
    }
    if (runnable(ffmpegPath))
        return ffmpegPath;
    if (runnable(systemFfmpeg()))
        return systemFfmpeg();
    *error = notInstalled(QStringLiteral("ffmpeg"), systemFfmpeg());
    return std::nullopt;
}

std::optional<QString> findMencoder(const QString &folder, QString *error)
{
    QString path;
    if (!folder.isEmpty()) {
        path = folder + QLatin1Char('/') + QFileInfo(mencoderPath).fileName();
        if (!runnable(path)) {
            *error = QStringLiteral("%1 is missing or cannot be run; Debian's mencoder package provides mencoder (sudo "
                                    "apt install mencoder)")
                         .arg(path);
            return std::nullopt;
        }
    } else if (runnable(mencoderPath)) {
        path = mencoderPath;
    } else if (runnable(installedLauncher())) {
        path = installedLauncher();
    } else if (!runnable(systemMencoder())) {
        *error = notInstalled(QStringLiteral("mencoder"), systemMencoder());
        return std::nullopt;
    } else {
        // Debian's mencoder alone cannot encode the sound: it needs the
        // launcher and its shim, which a prepared bin/ or the package has.
        *error = QStringLiteral(
                     "no mencoder launcher: %1 is missing and Quorvel's package is not installed (%2 is "
                     "missing); prepare the folder with tools/prepare-workdir, or install the quorvel package")
                     .arg(mencoderPath, installedLauncher());
        return std::nullopt;
    }
    if (isLauncher(path) && !runnable(systemMencoder())) {
        *error = notInstalled(QStringLiteral("mencoder"), systemMencoder());
        return std::nullopt;
    }
    return path;
}

} // namespace

std::optional<Tools> findTools(const QString &folder, bool needMencoder, QString *error)
{
    const QString absolute = folder.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const std::optional<QString> ffmpeg = findFfmpeg(absolute, error);
    if (!ffmpeg)
        return std::nullopt;
    if (!needMencoder)
        return Tools { *ffmpeg, QString() };
    const std::optional<QString> mencoder = findMencoder(absolute, error);
    if (!mencoder)
        return std::nullopt;
    return Tools { *ffmpeg, *mencoder };
}
