// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>

// A request to stop, and every wait that must end when it comes. One
// request wakes them all at once, with no polling: sleeps and waits on this
// object return at the moment it is requested, and a Watch runs its
// function then (from the requesting thread), which is how a wait that
// belongs to someone else, such as a tool's event loop, is woken.
//
// A Stop made with a parent is requested also when its parent is: a row's
// stop under the batch's, so that stopping the batch stops the row and
// stopping the row leaves the batch going.
class Stop
{
public:
    Stop() = default;
    explicit Stop(Stop &parent);
    // A stop that also counts as requested while `alreadyRequested` holds:
    // a request on its way (a signal sent and not yet handled) stops
    // what checks it at once. Waits still end only at request().
    explicit Stop(std::function<bool()> alreadyRequested);
    ~Stop();
    Q_DISABLE_COPY(Stop)

    // Any thread. Idempotent.
    void request();
    bool isRequested() const
    {
        return m_requested.load(std::memory_order_acquire) || (m_parent && m_parent->isRequested())
            || (m_alreadyRequested && m_alreadyRequested());
    }
    // Takes back a request on this stop alone, for its next use; a stop
    // whose parent is requested stays requested.
    void reset();

    // Sleeps for `duration`; false when a stop ended the sleep early.
    bool sleepFor(std::chrono::milliseconds duration) const;
    // Waits until `ready` holds or a stop is requested; tells whether ready
    // holds. `ready` is called under this object's lock: whoever makes it
    // true calls wake() afterwards.
    bool waitUntil(const std::function<bool()> &ready) const;
    void wake() const;

    // Runs `onStop` once when a stop is requested, at once if it already is,
    // for as long as the Watch lives. `onStop` runs under this object's lock
    // and must not call back into it.
    class Watch
    {
    public:
        Watch(const Stop &stop, std::function<void()> onStop);
        ~Watch();
        Q_DISABLE_COPY(Watch)

    private:
        const Stop &m_stop;
        std::list<std::function<void()>>::iterator m_entry;
    };

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable std::list<std::function<void()>> m_watches;
    std::atomic_bool m_requested { false };
    Stop *m_parent = nullptr;
    std::function<bool()> m_alreadyRequested;
    std::unique_ptr<Watch> m_parentWatch;
};
