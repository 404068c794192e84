// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchreport.h"

#include "console.h"
#include "progresstext.h"

#include <QFileInfo>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

constexpr int defaultWidth = 80;

void put(std::FILE *stream, const QByteArray &bytes)
{
    // A reader that went away (a closed pipe) makes this fail; the run goes on.
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

BatchReport::BatchReport(int sources, bool live, std::FILE *out, std::FILE *err)
    : m_sources(std::size_t(sources))
    , m_live(live)
    , m_width(live ? terminalColumns(err) : defaultWidth)
    , m_out(out)
    , m_err(err)
{
    m_clock.start();
}

void BatchReport::started(int index, const QString &source)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    Source &entry = m_sources.at(std::size_t(index));
    entry.stage = Stage::Converting;
    entry.percent = 0;
    entry.startedMs = m_clock.elapsed();
    entry.name = QFileInfo(source).fileName();
}

void BatchReport::progressed(int index, int percent)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_sources.at(std::size_t(index)).percent = qBound(0, percent, 100);
}

void BatchReport::ended(int index, Stage outcome, const QString &source, const QString &target, const QString &reason)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    Source &entry = m_sources.at(std::size_t(index));
    if (entry.stage != Stage::Waiting && entry.stage != Stage::Converting)
        return;
    const double seconds = entry.startedMs < 0 ? 0 : (m_clock.elapsed() - entry.startedMs) / 1000.0;
    const QString line = stageText(outcome) + QLatin1Char('\t') + escaped(source) + QLatin1Char('\t') + escaped(target)
        + QLatin1Char('\t') + QString::number(seconds, 'f', 1) + QLatin1Char('\t') + escaped(reason)
        + QLatin1Char('\n');
    entry.stage = outcome;
    ++m_ended;
    entry.percent = 100;
    entry.name.clear();
    m_anyFailed = m_anyFailed || outcome == Stage::Failed;
    eraseLive();
    put(m_out, line.toUtf8());
}

bool BatchReport::anyFailed() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_anyFailed;
}

void BatchReport::redraw()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_live || m_closed || m_ended == int(m_sources.size()))
        return;
    put(m_err, QByteArray("\r") + liveText().toUtf8() + QByteArray("\033[K"));
    m_shown = true;
}

void BatchReport::close()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    eraseLive();
    m_closed = true;
}

QString BatchReport::escaped(const QString &field)
{
    static const std::pair<QChar, QLatin1String> escapes[] = {
        { QLatin1Char('\\'), QLatin1String("\\\\") },
        { QLatin1Char('\t'), QLatin1String("\\t") },
        { QLatin1Char('\n'), QLatin1String("\\n") },
        { QLatin1Char('\r'), QLatin1String("\\r") },
    };
    QString text;
    text.reserve(field.size());
    for (const QChar c : field) {
        const auto escape = std::find_if(std::begin(escapes), std::end(escapes),
                                         [c](const auto &entry) { return entry.first == c; });
        if (escape != std::end(escapes))
            text += escape->second;
        else
            text += c;
    }
    return text;
}

QString BatchReport::liveText() const
{
    int begun = 0;
    int percentSum = 0;
    const Source *oldest = nullptr;
    for (const Source &entry : m_sources) {
        if (entry.stage == Stage::Waiting)
            continue;
        ++begun;
        percentSum += entry.percent;
        if (entry.stage == Stage::Converting && (!oldest || entry.startedMs < oldest->startedMs))
            oldest = &entry;
    }
    const int total = int(m_sources.size());
    const int percent = total > 0 ? percentSum / total : 100;
    const QString head = QStringLiteral("[%1/%2] %3 %").arg(begun).arg(total).arg(percent);
    const qint64 left = estimateLeftMs(percent, m_clock.elapsed());
    const QString tail = left < 0 ? QString() : QStringLiteral(", %1 left").arg(clockText(left));
    QString name = oldest ? QLatin1Char(' ') + oldest->name : QString();
    // One terminal row: a line that wraps could not be redrawn in place.
    const int room = m_width - 1 - head.size() - tail.size();
    if (name.size() > room)
        name = room > 4 ? name.left(room - 3) + QStringLiteral("...") : QString();
    for (QChar &c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    }
    return head + name + tail;
}

void BatchReport::eraseLive()
{
    if (m_shown)
        put(m_err, QByteArray("\r\033[K"));
    m_shown = false;
}
