// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// What a tool printed, read as it arrives: the facts that decide whether a
// step made a good file, how far the tool has got, and its last words for a
// failure's reason. Both channels are read line by line ("\n" and "\r" both
// end a line, since progress lines end in "\r"), each channel on its own, so
// a line split across reads is whole again here. Only the beginning of each
// line and a handful of figures are kept: memory stays flat however long the
// tool talks.
//
// This is the program's one parser of untrusted text. It reads nothing past
// what it was handed and treats any byte as possible.
class ToolOutput
{
public:
    enum class Tool { Ffmpeg, Mencoder };
    enum Channel { StandardOutput = 0, StandardError = 1 };

    explicit ToolOutput(Tool tool);

    void feed(Channel channel, const QByteArray &chunk);
    // The tool has ended: what is left on either channel is a last line.
    void finish();

    Tool tool() const { return m_tool; }

    // The tool's marker ("video:" for ffmpeg, "Flushing video frames" for
    // mencoder) at the start of a line: a path that a tool echoes in the
    // middle of a line never counts.
    bool markerSeen() const { return m_markerSeen; }

    // ffmpeg: its closing summary ("video:136kB audio:24kB ...") and its
    // sizes in kB (-1 when missing), the frame count of its last progress
    // line ("frame=   75 ..."; -1 before any), the length of its input
    // ("Duration: 00:01:02.50"; -1 when unknown) and the position of its
    // last progress line ("time=00:00:03.03"; -1 before any).
    bool summarySeen() const { return m_summarySeen; }
    qint64 videoKilobytes() const { return m_videoKb; }
    qint64 audioKilobytes() const { return m_audioKb; }
    qint64 frames() const { return m_frames; }
    double durationSeconds() const { return m_duration; }
    double timeSeconds() const { return m_time; }

    // Whether the tool's input has sound: for mencoder "AUDIO: 44100 Hz, ..."
    // and no line ending in "no sound.", for ffmpeg an audio stream listed
    // under "Input #0".
    bool inputHasSound() const { return m_soundSeen && !m_noSound; }
    // ffmpeg: its input was read ("Input #0" listed) and had no video stream.
    bool inputHasNoPicture() const { return m_inputSeen && !m_pictureSeen; }

    // mencoder: its closing summary ("Video stream: ... size: N bytes ... F
    // frames", "Audio stream: ... size: N bytes"; -1 when missing), and its
    // last progress line ("Pos:  12.3s  308f (25%)").
    qint64 videoBytes() const { return m_videoBytes; }
    qint64 videoFrames() const { return m_videoFrames; }
    // The length of the video it wrote ("... bytes  20.040 secs"); -1 when missing.
    double videoSeconds() const { return m_videoSeconds; }
    qint64 audioBytes() const { return m_audioBytes; }
    double positionSeconds() const { return m_position; }
    int positionPercent() const { return m_positionPercent; }

    // How far the tool has got, 0 to 1, or -1 when it has not said. ffmpeg:
    // time against duration. mencoder: its position against `knownLength`
    // seconds when one is given (more precise than its own per cent, which
    // counts file position), else its own per cent.
    double progress(double knownLength = -1) const;

    // The last line that is neither progress nor blank, nor mencoder's
    // closing "Exiting...", decoded with the local 8-bit codec and trimmed;
    // empty when there was none.
    QString lastMessage() const;

private:
    static constexpr int maxKeptLine = 512;

    void takeLine(QByteArray &line);
    void takeFfmpegLine(const QByteArray &line);
    void takeMencoderLine(const QByteArray &line);

    Tool m_tool;
    QByteArray m_partial[2];
    QByteArray m_lastMessage;

    bool m_markerSeen = false;
    bool m_summarySeen = false;
    bool m_inInput = false;
    bool m_inputSeen = false;
    bool m_pictureSeen = false;
    qint64 m_videoKb = -1;
    qint64 m_audioKb = -1;
    qint64 m_frames = -1;
    double m_duration = -1;
    double m_time = -1;

    bool m_soundSeen = false;
    bool m_noSound = false;
    qint64 m_videoBytes = -1;
    qint64 m_videoFrames = -1;
    double m_videoSeconds = -1;
    qint64 m_audioBytes = -1;
    double m_position = -1;
    int m_positionPercent = -1;
};
