// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers for the tests that drive the window: its table, its buttons, and
// waiting for a batch to end.

#include "quorvel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <functional>

namespace WindowSupport {

inline QTableWidget *tableOf(Quorvel &window)
{
    return window.findChild<QTableWidget *>(QStringLiteral("videoTableWidget"));
}

inline QPushButton *button(Quorvel &window, const char *name)
{
    return window.findChild<QPushButton *>(QLatin1String(name));
}

inline void convert(Quorvel &window)
{
    button(window, "convertBtn")->click();
}

// True once the batch has ended (and its last queued updates have reached
// the window) within the time allowed.
inline bool waitForBatchEnd(Quorvel &window, int timeoutMs = 30000)
{
    QElapsedTimer clock;
    clock.start();
    while (window.isBatchRunning() && clock.elapsed() < timeoutMs)
        QTest::qWait(10);
    QTest::qWait(20);
    return !window.isBatchRunning();
}

// Runs `handle` on the next modal dialog, from a timer armed before the
// dialog opens.
inline void onNextModal(std::function<void(QWidget *)> handle)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, handle] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            handle(modal);
        }
    });
    poll->start(10);
}

} // namespace WindowSupport
