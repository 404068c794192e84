// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QVector>

// A batch's clock: how long each row has been converting and how long the
// batch has left, with the time it was paused left out. GUI thread.
class BatchClock
{
public:
    // A batch of `rows` starts now; each worker of `workers` pauses for
    // `rowPauseMs` after each row it converted.
    void start(int rows, qint64 rowPauseMs, int workers);
    // Paused time stops every clock.
    void setPaused(bool paused);

    void rowStarted(int number);
    void rowEnded(int number);
    // A row that will never run (deleted before its turn).
    void rowDropped(int number);
    bool hasStarted(int number) const { return m_rows.at(number).started.isValid(); }

    // How long the row has been converting, paused time left out.
    qint64 rowElapsed(int number) const;
    // The batch's time left when `percent` of it is done, or -1 while there
    // is no estimate. From the speed so far, over every row still to
    // convert, the rows at once included. The pause after each row is no
    // conversion: those behind are taken out of the speed, and those ahead
    // (the last row's included) are added.
    qint64 leftMs(int percent) const;

private:
    struct Row {
        QElapsedTimer started;
        qint64 pausedAtStart = 0; // pausedMs() when it started
        qint64 endedAt = -1; // workMs() when it ended
        bool dropped = false;
    };

    qint64 pausedMs() const;
    qint64 workMs() const;

    QVector<Row> m_rows;
    QElapsedTimer m_batch;
    QElapsedTimer m_paused; // valid while paused
    qint64 m_pausedBefore = 0; // in earlier pauses
    qint64 m_rowPauseMs = 0;
    int m_workers = 1;
};
