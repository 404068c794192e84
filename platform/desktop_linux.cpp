// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString notifications = QStringLiteral("org.freedesktop.Notifications");
const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString login = QStringLiteral("org.freedesktop.login1");
const QString loginPath = QStringLiteral("/org/freedesktop/login1");
const QString loginManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString openFolderAction = QStringLiteral("open-output-folder");

// Calls `message` and hands its reply to `then` on this thread, whenever it
// comes; never waits for it.
template <typename Then>
void callAsync(QObject *context, const QDBusConnection &bus, const QDBusMessage &message, Then then)
{
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, then] {
        then(*watcher);
        watcher->deleteLater();
    });
}

} // namespace

Desktop::Desktop(QObject *parent)
    : QObject(parent)
{
    QDBusConnection::sessionBus().connect(notifications, notificationsPath, notifications,
                                          QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
}

void Desktop::checkPower()
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    for (const Power power : { Power::Suspend, Power::PowerOff }) {
        if (!bus.isConnected()) {
            emit powerChecked(power, QStringLiteral("no logind"));
            continue;
        }
        const QString question = power == Power::Suspend ? QStringLiteral("CanSuspend") : QStringLiteral("CanPowerOff");
        callAsync(this, bus, QDBusMessage::createMethodCall(login, loginPath, loginManager, question),
                  [this, power](QDBusPendingCallWatcher &watcher) {
                      const QDBusPendingReply<QString> reply = watcher;
                      if (reply.isError())
                          emit powerChecked(power, QStringLiteral("no logind"));
                      else if (reply.value() == QLatin1String("yes") || reply.value() == QLatin1String("challenge"))
                          emit powerChecked(power, QString());
                      else
                          emit powerChecked(power, QStringLiteral("logind says %1").arg(reply.value()));
                  });
    }
}

void Desktop::notify(const QString &text, const QString &folder)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString summary = QStringLiteral("Quorvel");
    if (!bus.isConnected()) {
        qDebug().noquote() << QStringLiteral("no notification service: %1").arg(text);
        return;
    }
    m_actionFolder = folder;
    // The server's capabilities first: an action only where it offers them.
    callAsync(this, bus,
              QDBusMessage::createMethodCall(notifications, notificationsPath, notifications,
                                             QStringLiteral("GetCapabilities")),
              [this, bus, text, summary](QDBusPendingCallWatcher &watcher) {
                  const QDBusPendingReply<QStringList> capabilities = watcher;
                  if (capabilities.isError()) {
                      qDebug().noquote() << QStringLiteral("no notification service: %1").arg(text);
                      return;
                  }
                  QStringList actions;
                  if (capabilities.value().contains(QStringLiteral("actions")))
                      actions << openFolderAction << tr("Open output folder");
                  QDBusMessage notify = QDBusMessage::createMethodCall(notifications, notificationsPath, notifications,
                                                                       QStringLiteral("Notify"));
                  notify << summary << uint(0) << QStringLiteral("org.quorvel.Quorvel") << summary << text << actions
                         << QVariantMap() << int(-1);
                  callAsync(this, bus, notify, [this](QDBusPendingCallWatcher &sent) {
                      const QDBusPendingReply<uint> id = sent;
                      if (!id.isError())
                          m_notification = id.value();
                  });
              });
}

void Desktop::actionInvoked(uint id, const QString &action)
{
    if (id == m_notification && action == openFolderAction)
        emit openFolderAsked(m_actionFolder);
}

void Desktop::requestPower(Power power)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        login, loginPath, loginManager, power == Power::Suspend ? QStringLiteral("Suspend") : QStringLiteral("PowerOff"));
    call << true; // interactive: logind may ask for authorisation
    callAsync(this, QDBusConnection::systemBus(), call, [](QDBusPendingCallWatcher &reply) {
        if (reply.isError())
            qWarning().noquote() << QStringLiteral("When done: %1").arg(reply.error().message());
    });
}
