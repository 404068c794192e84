// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaObject>
#include <QObject>

#include <mutex>
#include <utility>

// The one way work crosses from a worker to the thread that owns `context`:
// queued to that thread's event loop, never waited for, and dropped if
// `context` goes first. Everything the calling thread wrote before, the
// captures included, is visible to `work`.
//
// Qt's event queue synchronises through futexes that ThreadSanitizer cannot
// see in Debian's Qt; with one lock around both ends the hand-over is plain
// std::mutex ordering, which it checks in full. Neither end waits for the
// other beyond taking the lock.
std::mutex &handOffLock();

template <typename Work>
void postTo(QObject *context, Work work)
{
    const std::lock_guard<std::mutex> handOff(handOffLock());
    QMetaObject::invokeMethod(
        context,
        [work = std::move(work)]() mutable {
            {
                const std::lock_guard<std::mutex> handOff(handOffLock());
            }
            work();
        },
        Qt::QueuedConnection);
}
