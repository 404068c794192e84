// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchend.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <QWidget>

namespace {

const QString notifications = QStringLiteral("org.freedesktop.Notifications");
const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString login = QStringLiteral("org.freedesktop.login1");
const QString loginPath = QStringLiteral("/org/freedesktop/login1");
const QString loginManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString openFolderAction = QStringLiteral("open-output-folder");

// Calls `method` and hands its reply to `then` on this thread, whenever it
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

BatchEnd::BatchEnd(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    m_whyNot.insert(WhenDone::Suspend, QStringLiteral("no logind"));
    m_whyNot.insert(WhenDone::PowerOff, QStringLiteral("no logind"));
    askLogind(QStringLiteral("CanSuspend"), WhenDone::Suspend);
    askLogind(QStringLiteral("CanPowerOff"), WhenDone::PowerOff);
    QDBusConnection::sessionBus().connect(notifications, notificationsPath, notifications,
                                          QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
}

QString BatchEnd::nameOf(WhenDone choice)
{
    switch (choice) {
    case WhenDone::Nothing:
        break;
    case WhenDone::Close:
        return tr("Close Quorvel");
    case WhenDone::Suspend:
        return tr("Suspend");
    case WhenDone::PowerOff:
        return tr("Power off");
    }
    return tr("Do nothing");
}

void BatchEnd::askLogind(const QString &question, WhenDone choice)
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    callAsync(this, bus, QDBusMessage::createMethodCall(login, loginPath, loginManager, question),
              [this, choice](QDBusPendingCallWatcher &watcher) {
                  const QDBusPendingReply<QString> reply = watcher;
                  if (reply.isError())
                      m_whyNot.insert(choice, QStringLiteral("no logind"));
                  else if (reply.value() == QLatin1String("yes") || reply.value() == QLatin1String("challenge"))
                      m_whyNot.remove(choice);
                  else
                      m_whyNot.insert(choice, QStringLiteral("logind says %1").arg(reply.value()));
                  emit choicesChecked();
              });
}

void BatchEnd::batchEnded(int converted, int failed, int total, bool stopped, const QString &outputFolder)
{
    const QString text = stopped ? tr("Stopped: %1 of %2 converted").arg(converted).arg(total)
                                 : tr("%1 converted, %2 failed").arg(converted).arg(failed);
    if (total > 0 && !m_window->isActiveWindow()) {
        QApplication::alert(m_window);
        notify(text, outputFolder);
    }
    if (stopped || m_whenDone == WhenDone::Nothing)
        return;
    if (m_whenDone == WhenDone::Close) {
        m_window->close();
        return;
    }
    countDownTo(m_whenDone);
}

void BatchEnd::notify(const QString &text, const QString &outputFolder)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString summary = QStringLiteral("Quorvel");
    if (!bus.isConnected()) {
        qDebug().noquote() << QStringLiteral("no notification service: %1").arg(text);
        return;
    }
    m_actionFolder = outputFolder;
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

void BatchEnd::actionInvoked(uint id, const QString &action)
{
    if (id == m_notification && action == openFolderAction)
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_actionFolder));
}

void BatchEnd::countDownTo(WhenDone choice)
{
    const QString what = choice == WhenDone::Suspend ? tr("suspend") : tr("power off");
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("Quorvel"), QString(), QMessageBox::Cancel,
                                m_window);
    box->setObjectName(QStringLiteral("whenDoneBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    auto *tick = new QTimer(box);
    auto left = std::make_shared<qint64>(m_countdown.count());
    const auto show = [box, what, left] {
        box->setText(tr("The batch is done. The computer will %1 in %2 s.").arg(what).arg(*left));
    };
    show();
    connect(tick, &QTimer::timeout, box, [this, box, tick, left, show, choice] {
        if (--*left > 0) {
            show();
            return;
        }
        tick->stop();
        box->close();
        QDBusMessage call = QDBusMessage::createMethodCall(login, loginPath, loginManager,
                                                           choice == WhenDone::Suspend ? QStringLiteral("Suspend")
                                                                                       : QStringLiteral("PowerOff"));
        call << true; // interactive: logind may ask for authorisation
        callAsync(this, QDBusConnection::systemBus(), call, [](QDBusPendingCallWatcher &reply) {
            if (reply.isError())
                qWarning().noquote() << QStringLiteral("When done: %1").arg(reply.error().message());
        });
    });
    tick->start(1000);
    box->open(); // Cancel closes it, and its timer with it
    if (m_countdown.count() <= 0)
        tick->setInterval(0);
}
