// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchclock.h"

#include "progresstext.h"

void BatchClock::start(int rows, qint64 rowPauseMs, int workers)
{
    m_rows = QVector<Row>(rows);
    m_batch.start();
    m_paused.invalidate();
    m_pausedBefore = 0;
    m_rowPauseMs = rowPauseMs;
    m_workers = qMax(1, workers);
}

void BatchClock::setPaused(bool paused)
{
    if (paused == m_paused.isValid())
        return;
    if (paused) {
        m_paused.start();
    } else {
        m_pausedBefore += m_paused.elapsed();
        m_paused.invalidate();
    }
}

void BatchClock::rowStarted(int number)
{
    m_rows[number].started.start();
    m_rows[number].pausedAtStart = pausedMs();
}

void BatchClock::rowEnded(int number)
{
    m_rows[number].endedAt = workMs();
}

void BatchClock::rowDropped(int number)
{
    m_rows[number].dropped = true;
}

qint64 BatchClock::rowElapsed(int number) const
{
    const Row &row = m_rows.at(number);
    return row.started.elapsed() - (pausedMs() - row.pausedAtStart);
}

qint64 BatchClock::leftMs(int percent) const
{
    const qint64 now = workMs();
    qint64 behind = 0;
    qint64 ahead = 0;
    for (const Row &row : m_rows) {
        if (row.endedAt >= 0) {
            const qint64 paused = qMin(m_rowPauseMs, now - row.endedAt);
            behind += paused;
            ahead += m_rowPauseMs - paused;
        } else if (!row.dropped) {
            ahead += m_rowPauseMs;
        }
    }
    const qint64 converting = estimateLeftMs(percent, now - behind / m_workers);
    return converting < 0 ? converting : converting + ahead / m_workers;
}

qint64 BatchClock::pausedMs() const
{
    return m_pausedBefore + (m_paused.isValid() ? m_paused.elapsed() : 0);
}

qint64 BatchClock::workMs() const
{
    return m_batch.elapsed() - pausedMs();
}
