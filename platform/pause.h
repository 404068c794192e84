// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <mutex>
#include <set>


class Stop;

// Holds a batch: its running tools stopped, each with whatever it started
// (holdToolTree()), and no job started, until it is resumed. It never stops
// the program itself. Any thread.
class Pause
{
public:
    Pause() = default;
    Q_DISABLE_COPY(Pause)

    void pause();
    void resume();
    bool isPaused() const;

    // Returns once the batch is not paused, or a stop is requested.
    void waitWhilePaused(const Stop &stop) const;

    // A tool's tree while it runs (ToolProcess::tree()): stopped at once if
    // the batch is paused, and whenever it is paused until it leaves.
    void enter(qint64 group);
    void leave(qint64 group);

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_paused = false;
    std::set<qint64> m_groups;
};
