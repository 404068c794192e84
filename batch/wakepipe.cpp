// SPDX-License-Identifier: GPL-3.0-or-later
#include "wakepipe.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

WakePipe::WakePipe(std::function<void()> onWake)
{
    if (pipe2(m_ends, O_CLOEXEC | O_NONBLOCK) != 0)
        qFatal("cannot make a pipe");
    m_notifier = std::make_unique<QSocketNotifier>(m_ends[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this, onWake = std::move(onWake)] {
        char bytes[64];
        while (read(m_ends[0], bytes, sizeof bytes) > 0) { }
        onWake();
    });
}

WakePipe::~WakePipe()
{
    m_notifier.reset();
    close(m_ends[0]);
    close(m_ends[1]);
}

void WakePipe::wake() const
{
    const char byte = 1;
    const ssize_t written = write(m_ends[1], &byte, 1);
    (void)written; // a full pipe already holds a wake-up
}
