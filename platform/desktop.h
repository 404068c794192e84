// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

// What the desktop offers at a batch's end: a notification, with an action
// that opens the output folder where the desktop offers actions, and the
// machine's power actions. Nothing here waits: every answer comes later as
// a signal on the thread that made this object.
//
// Linux: the freedesktop notification service on the session bus, and
// logind on the system bus (desktop_linux.cpp).
class Desktop : public QObject
{
    Q_OBJECT

public:
    enum class Power { Suspend, PowerOff };

    explicit Desktop(QObject *parent = nullptr);

    // Asks whether the machine can suspend and power off; powerChecked()
    // follows for each answer that comes.
    void checkPower();
    // "Quorvel" and `text` as a notification; its action opens `folder`.
    void notify(const QString &text, const QString &folder);
    // Suspends or powers off the machine, letting the desktop ask the user
    // for authorisation; a refusal is a warning.
    void requestPower(Power power);

signals:
    // Why `power` cannot be asked for ("no logind", "logind says no"), or
    // empty when it can.
    void powerChecked(Desktop::Power power, const QString &whyNot);
    // The user chose the notification's action.
    void openFolderAsked(const QString &folder);

private slots:
    void actionInvoked(uint id, const QString &action);

private:
    QString m_actionFolder; // what the action of the last notification opens
    uint m_notification = 0;
};
