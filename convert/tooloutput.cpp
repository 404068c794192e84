// SPDX-License-Identifier: GPL-3.0-or-later
#include "tooloutput.h"

#include <algorithm>
#include <cstring>

namespace {

bool startsWith(const QByteArray &line, const char *prefix)
{
    return line.startsWith(prefix);
}

const char *skipBlanks(const char *at, const char *end)
{
    while (at < end && (*at == ' ' || *at == '\t'))
        ++at;
    return at;
}

// A whole number at `at`, or -1 when there is none. Absurdly long numbers
// saturate instead of overflowing.
qint64 integerAt(const char *&at, const char *end)
{
    constexpr qint64 ceiling = Q_INT64_C(1000000000000000);
    if (at >= end || *at < '0' || *at > '9')
        return -1;
    qint64 value = 0;
    while (at < end && *at >= '0' && *at <= '9') {
        value = std::min(ceiling, value * 10 + (*at - '0'));
        ++at;
    }
    return value;
}

// A decimal number such as "12.3" at `at`, or -1.
double decimalAt(const char *&at, const char *end)
{
    const qint64 whole = integerAt(at, end);
    if (whole < 0)
        return -1;
    double value = double(whole);
    if (at < end && *at == '.') {
        ++at;
        double scale = 0.1;
        while (at < end && *at >= '0' && *at <= '9') {
            value += (*at - '0') * scale;
            scale /= 10;
            ++at;
        }
    }
    return value;
}

// Where `key` ends in `line`, searching from `from`; null when it is absent.
const char *after(const QByteArray &line, const char *key, int from = 0)
{
    const int index = line.indexOf(key, from);
    return index < 0 ? nullptr : line.constData() + index + int(std::strlen(key));
}

qint64 integerAfter(const QByteArray &line, const char *key, int from = 0)
{
    const char *at = after(line, key, from);
    if (!at)
        return -1;
    const char *end = line.constData() + line.size();
    at = skipBlanks(at, end);
    return integerAt(at, end);
}

// "HH:MM:SS.ss" after `key`, in seconds; -1 when absent or malformed
// ("N/A", a negative time).
double clockAfter(const QByteArray &line, const char *key)
{
    const char *at = after(line, key);
    if (!at)
        return -1;
    const char *end = line.constData() + line.size();
    at = skipBlanks(at, end);
    const qint64 hours = integerAt(at, end);
    if (hours < 0 || at >= end || *at++ != ':')
        return -1;
    const qint64 minutes = integerAt(at, end);
    if (minutes < 0 || at >= end || *at++ != ':')
        return -1;
    const double seconds = decimalAt(at, end);
    if (seconds < 0)
        return -1;
    return double(hours) * 3600 + double(minutes) * 60 + seconds;
}

} // namespace

ToolOutput::ToolOutput(Tool tool)
    : m_tool(tool)
{
}

void ToolOutput::feed(Channel channel, const QByteArray &chunk)
{
    QByteArray &partial = m_partial[channel];
    const char *at = chunk.constData();
    const char *const end = at + chunk.size();
    while (at < end) {
        const char *lineEnd = std::find_if(at, end, [](char c) { return c == '\n' || c == '\r'; });
        // Only a line's beginning matters; the rest of a long line is dropped.
        const int room = maxKeptLine - partial.size();
        if (room > 0)
            partial.append(at, int(std::min<qptrdiff>(room, lineEnd - at)));
        if (lineEnd == end)
            break;
        takeLine(partial);
        partial.clear();
        at = lineEnd + 1;
    }
}

void ToolOutput::finish()
{
    for (QByteArray &partial : m_partial) {
        takeLine(partial);
        partial.clear();
    }
}

void ToolOutput::takeLine(QByteArray &line)
{
    if (line.isEmpty())
        return;
    if (m_tool == Tool::Ffmpeg)
        takeFfmpegLine(line);
    else
        takeMencoderLine(line);
}

void ToolOutput::takeFfmpegLine(const QByteArray &line)
{
    if (startsWith(line, "frame=")) {
        m_frames = integerAfter(line, "frame=");
        m_time = std::max(m_time, clockAfter(line, "time="));
        return;
    }
    if (startsWith(line, "size=")) { // progress of an output without pictures
        m_time = std::max(m_time, clockAfter(line, "time="));
        return;
    }
    if (startsWith(line, "video:")) {
        m_markerSeen = true;
        const char *at = line.constData() + 6;
        const qint64 videoKb = integerAt(at, line.constData() + line.size());
        if (videoKb >= 0) {
            m_summarySeen = true;
            m_videoKb = videoKb;
            m_audioKb = integerAfter(line, "audio:");
        }
    } else if (startsWith(line, "Input #")) {
        m_inInput = true;
        m_inputSeen = true;
    } else if (startsWith(line, "Output #")) {
        m_inInput = false;
    } else if (m_inInput && line.contains("Stream #")) {
        m_soundSeen = m_soundSeen || line.contains(": Audio: ");
        m_pictureSeen = m_pictureSeen || line.contains(": Video: ");
    } else if (m_duration < 0 && startsWith(line.trimmed(), "Duration:")) {
        const double duration = clockAfter(line, "Duration:");
        if (duration > 0)
            m_duration = duration;
    }
    if (!line.trimmed().isEmpty())
        m_lastMessage = line;
}

void ToolOutput::takeMencoderLine(const QByteArray &line)
{
    if (startsWith(line, "Pos:")) {
        const char *end = line.constData() + line.size();
        const char *at = skipBlanks(line.constData() + 4, end);
        const double position = decimalAt(at, end);
        if (position >= 0)
            m_position = position;
        const qint64 percent = integerAfter(line, "(");
        if (percent >= 0 && line.indexOf("%)") > 0)
            m_positionPercent = int(std::min<qint64>(percent, 1000));
        return;
    }
    if (startsWith(line, "Flushing video frames")) {
        m_markerSeen = true;
    } else if (startsWith(line, "Video stream:")) {
        m_videoBytes = integerAfter(line, "size:");
        if (const char *at = after(line, "bytes")) {
            const char *end = line.constData() + line.size();
            at = skipBlanks(at, end);
            m_videoSeconds = decimalAt(at, end);
        }
        const int secs = line.indexOf("secs");
        m_videoFrames = secs < 0 ? -1 : integerAfter(line, "secs", secs);
    } else if (startsWith(line, "Audio stream:")) {
        m_audioBytes = integerAfter(line, "size:");
    } else if (startsWith(line, "AUDIO:")) {
        m_soundSeen = true;
    }
    const QByteArray trimmed = line.trimmed();
    if (trimmed.endsWith("no sound.") || trimmed.endsWith("no sound"))
        m_noSound = true;
    if (!trimmed.isEmpty() && !trimmed.startsWith("Exiting..."))
        m_lastMessage = line;
}

double ToolOutput::progress(double knownLength) const
{
    double fraction = -1;
    if (m_tool == Tool::Ffmpeg) {
        if (m_duration > 0 && m_time >= 0)
            fraction = m_time / m_duration;
    } else if (knownLength > 0 && m_position >= 0) {
        fraction = m_position / knownLength;
    } else if (m_positionPercent >= 0) {
        fraction = m_positionPercent / 100.0;
    }
    return fraction < 0 ? -1 : std::min(fraction, 1.0);
}

QString ToolOutput::lastMessage() const
{
    QString message = QString::fromLocal8Bit(m_lastMessage);
    // A reason ends up in a tooltip and in a tab-separated line: no control
    // characters, no tabs.
    for (QChar &c : message) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    }
    return message.trimmed();
}
