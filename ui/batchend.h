// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QObject>
#include <QString>

#include <chrono>

class Desktop;
class QWidget;

// What the window does when a batch ends, beyond the table: a word to the
// desktop when the window is not the active one (a notification, with "Open
// output folder" where the desktop offers actions, and the window marked in
// the task bar), and the session's "When done" choice: close Quorvel,
// suspend or power off the machine (after a countdown that can be
// cancelled). The desktop's side is Desktop's; nothing here waits for it.
class BatchEnd : public QObject
{
    Q_OBJECT

public:
    enum class WhenDone { Nothing, Close, Suspend, PowerOff };

    explicit BatchEnd(QWidget *window);

    // Every start begins at Nothing: no one's computer powers off by
    // surprise a week later.
    WhenDone whenDone() const { return m_whenDone; }
    void setWhenDone(WhenDone choice) { m_whenDone = choice; }
    // Why a choice cannot be made here ("logind says no", "no logind"), as
    // the desktop answered; empty when it can.
    QString whyNot(WhenDone choice) const { return m_whyNot.value(choice); }
    // The choices' names, in the order they are offered.
    static QString nameOf(WhenDone choice);

    // How long the countdown before Suspend or Power off lasts.
    void setCountdown(std::chrono::seconds countdown) { m_countdown = countdown; }

    // A batch over `total` rows ended: `converted` of them succeeded and
    // `failed` failed; `stopped` when the user stopped it, which then does
    // nothing of When done.
    void batchEnded(int converted, int failed, int total, bool stopped, const QString &outputFolder);

signals:
    // The desktop answered what the machine allows.
    void choicesChecked();

private:
    void countDownTo(WhenDone choice);

    QWidget *m_window;
    Desktop *m_desktop;
    WhenDone m_whenDone = WhenDone::Nothing;
    QMap<WhenDone, QString> m_whyNot;
    std::chrono::seconds m_countdown { 60 };
};
