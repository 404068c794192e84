// SPDX-License-Identifier: GPL-3.0-or-later
#include "pause.h"

#include "launcher.h"
#include "stop.h"

void Pause::pause()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_paused)
        return;
    m_paused = true;
    for (const qint64 group : m_groups)
        holdToolTree(group, true);
}

void Pause::resume()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_paused)
        return;
    m_paused = false;
    for (const qint64 group : m_groups)
        holdToolTree(group, false);
    m_changed.notify_all();
}

bool Pause::isPaused() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_paused;
}

void Pause::waitWhilePaused(const Stop &stop) const
{
    // The stop's watch runs under the stop's lock; this object's lock is
    // never held while the stop's is taken, so the two cannot meet.
    const Stop::Watch wake(stop, [this] {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_changed.notify_all();
    });
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return !m_paused || stop.isRequested(); });
}

void Pause::enter(qint64 group)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_groups.insert(group);
    if (m_paused)
        holdToolTree(group, true);
}

void Pause::leave(qint64 group)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_groups.erase(group);
}
