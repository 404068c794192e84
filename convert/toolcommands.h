// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The tool commands and every value that goes into them. All of it is pure
// text work: no file or process is touched.

// A program and its arguments, each argument handed to the tool as it
// stands: nothing is quoted on the way in, so nothing needs splitting apart.
class ToolCommand
{
public:
    explicit ToolCommand(const QString &program = QString())
        : m_program(program)
    {
    }

    ToolCommand &operator<<(const QString &argument);
    ToolCommand &operator<<(const QStringList &arguments);
    // A path: shown between double quotes in text().
    ToolCommand &path(const QString &path);

    const QString &program() const { return m_program; }
    const QStringList &arguments() const { return m_arguments; }

    // The command as one line for a person to read (the debug line, the dry
    // run): the program and each path between double quotes, as in
    // "bin/ffmpeg" -y -i "a b.mp4" "out.avi". QProcess::splitCommand reads
    // it back into the same program and arguments.
    QString text() const;
    // The command as a POSIX shell reads it back into the same program and
    // arguments (the dry run): the program, and each argument that holds more
    // than letters, digits and -_./:=,+%@, between single quotes.
    QString shellText() const;

private:
    QString m_program;
    QStringList m_arguments;
    QVector<int> m_paths; // which arguments are paths
};

// The four resolution labels, in the order the user is offered them.
QStringList resolutionLabels();

// "320x240" -> "320:240" and so on; empty when the label holds none of the
// four resolutions.
QString scaleForResolution(const QString &label);

// How the source's picture goes into the chosen size.
enum class Picture {
    // Its display shape kept (a non-square sample aspect honoured): fitted
    // whole, centred on black bars, square pixels, display aspect W:H.
    KeepShape,
    // Scaled to fill the size whatever its shape, declared 4:3.
    Stretch,
};

// The kind of file a conversion writes.
enum class Format {
    // Xvid and MP2 in AVI: the two steps' kind, or one ffmpeg pass.
    Avi,
    // Motion JPEG and IMA ADPCM in AMV, for the cheapest pocket players: one
    // ffmpeg pass.
    Amv,
    // H.264 Constrained Baseline and AAC-LC in MP4, for phones and pocket
    // players: one ffmpeg pass.
    Mp4,
};

// A result's suffix in `format`, without the dot: "avi", "amv" or "mp4".
QString suffixFor(Format format);

// ffmpeg rewriting the source into the temporary file.
ToolCommand preProcessCommand(const QString &ffmpeg, const QString &sourcePath, const QString &preProcessPath);

// mencoder transcoding the input into the target at the given scale.
ToolCommand transcodeCommand(const QString &mencoder, const QString &scale, const QString &inputPath,
                             const QString &targetPath, Picture picture = Picture::KeepShape);

// One ffmpeg pass from the source straight to the target, the picture at the
// given scale placed as the two steps place it. `decoderThreads` caps the
// decoder's threads; 0 lets ffmpeg choose. By format:
// - AVI, the kind the two steps make: Xvid (fourcc XVID) at 608 kbit/s
//   without B-frames, H.263 quantisation; MPEG-1 Layer II sound at 128
//   kbit/s, 44100 Hz, stereo, when the source has sound;
// - AMV: 25 frames a second, and IMA ADPCM sound at 22050 Hz, mono, in
//   blocks of 882 samples, one frame's worth, as AMV players read them. AMV
//   must carry sound: with `silentTrack` a silent one stands in for the
//   sound of a source that has none;
// - MP4: H.264 Constrained Baseline, level 3.0, at a rate that suits the
//   size; AAC-LC at 128 kbit/s, 44100 Hz, stereo, when the source has
//   sound; the index (moov) before the data, so that playing can start at
//   once. x264 works with its "faster" preset.
ToolCommand directCommand(const QString &ffmpeg, const QString &scale, const QString &sourcePath,
                          const QString &targetPath, Picture picture = Picture::KeepShape, int decoderThreads = 0,
                          Format format = Format::Avi, bool silentTrack = false);

// True when the source goes through the pre-process first: its suffix is not
// "avi" in any letter case.
bool needsPreProcess(const QString &sourcePath);

// Base name (file name up to its first ".") and suffix (after its last "."),
// as QFileInfo defines them.
QString baseNameOf(const QString &path);
QString suffixOf(const QString &path);
