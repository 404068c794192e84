// SPDX-License-Identifier: GPL-3.0-or-later
#include "stop.h"

Stop::Stop(Stop &parent)
    : m_parent(&parent)
    , m_parentWatch(std::make_unique<Watch>(parent, [this] { request(); }))
{
}

Stop::Stop(std::function<bool()> alreadyRequested)
    : m_alreadyRequested(std::move(alreadyRequested))
{
}

Stop::~Stop() = default;

void Stop::request()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_requested.exchange(true, std::memory_order_acq_rel))
        return;
    for (const auto &onStop : m_watches)
        onStop();
    m_changed.notify_all();
}

void Stop::reset()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_parent || !m_parent->isRequested())
        m_requested.store(false, std::memory_order_release);
}

bool Stop::sleepFor(std::chrono::milliseconds duration) const
{
    const auto deadline = std::chrono::steady_clock::now() + duration;
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_changed.wait_until(lock, deadline, [this] { return isRequested(); });
}

bool Stop::waitUntil(const std::function<bool()> &ready) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return ready() || isRequested(); });
    return ready();
}

void Stop::wake() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_changed.notify_all();
}

Stop::Watch::Watch(const Stop &stop, std::function<void()> onStop)
    : m_stop(stop)
{
    const std::lock_guard<std::mutex> lock(m_stop.m_mutex);
    m_entry = m_stop.m_watches.insert(m_stop.m_watches.end(), std::move(onStop));
    if (m_stop.isRequested())
        (*m_entry)();
}

Stop::Watch::~Watch()
{
    const std::lock_guard<std::mutex> lock(m_stop.m_mutex);
    m_stop.m_watches.erase(m_entry);
}
