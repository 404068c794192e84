// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

class QSocketNotifier;

// Wakes the event loop of the thread that made it, from any thread: wake()
// writes one byte to a pipe, and the pipe's notifier runs `onWake` on the
// owning thread. Unlike a posted event, whose memory Qt hands over behind
// ThreadSanitizer's back, the write and the read are seen as a hand-over.
class WakePipe
{
public:
    explicit WakePipe(std::function<void()> onWake);
    ~WakePipe();
    Q_DISABLE_COPY(WakePipe)

    void wake() const;

private:
    int m_ends[2] = { -1, -1 };
    std::unique_ptr<QSocketNotifier> m_notifier;
};
