// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop.h"

#include <QApplication>
#include <QDebug>
#include <QIcon>
#include <QStyle>
#include <QSystemTrayIcon>

#include <windows.h>
#include <powrprof.h>

namespace {

// Lets this process shut the machine down: ExitWindowsEx asks for it.
bool mayShutDown()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool granted = LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)
        && AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return granted;
}

} // namespace

Desktop::Desktop(QObject *parent)
    : QObject(parent)
{
}

void Desktop::checkPower()
{
    SYSTEM_POWER_CAPABILITIES capabilities = {};
    const bool known = GetPwrCapabilities(&capabilities);
    emit powerChecked(Power::Suspend,
                      known && capabilities.SystemS3 ? QString() : QStringLiteral("the machine cannot sleep"));
    emit powerChecked(Power::PowerOff, QString());
}

// A message from the tray; clicking it opens the output folder.
void Desktop::notify(const QString &text, const QString &folder)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable() || !qobject_cast<QApplication *>(QCoreApplication::instance())) {
        qDebug().noquote() << QStringLiteral("no notification service: %1").arg(text);
        return;
    }
    m_actionFolder = folder;
    auto *tray = findChild<QSystemTrayIcon *>();
    if (!tray) {
        tray = new QSystemTrayIcon(QApplication::style()->standardIcon(QStyle::SP_MediaPlay), this);
        connect(tray, &QSystemTrayIcon::messageClicked, this, [this] { emit openFolderAsked(m_actionFolder); });
        tray->show();
    }
    tray->showMessage(QStringLiteral("Quorvel"), text);
}

void Desktop::actionInvoked(uint, const QString &)
{
}

void Desktop::requestPower(Power power)
{
    bool done = false;
    if (power == Power::Suspend)
        done = SetSuspendState(FALSE, FALSE, FALSE);
    else
        done = mayShutDown() && ExitWindowsEx(EWX_POWEROFF, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED);
    if (!done)
        qWarning().noquote() << QStringLiteral("When done: %1").arg(qt_error_string(int(GetLastError())));
}
