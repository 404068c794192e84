// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchend.h"

#include "desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QWidget>

BatchEnd::BatchEnd(QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_desktop(new Desktop(this))
{
    m_whyNot.insert(WhenDone::Suspend, QStringLiteral("no logind"));
    m_whyNot.insert(WhenDone::PowerOff, QStringLiteral("no logind"));
    connect(m_desktop, &Desktop::powerChecked, this, [this](Desktop::Power power, const QString &whyNot) {
        const WhenDone choice = power == Desktop::Power::Suspend ? WhenDone::Suspend : WhenDone::PowerOff;
        if (whyNot.isEmpty())
            m_whyNot.remove(choice);
        else
            m_whyNot.insert(choice, whyNot);
        emit choicesChecked();
    });
    connect(m_desktop, &Desktop::openFolderAsked, this,
            [](const QString &folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
    m_desktop->checkPower();
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

void BatchEnd::batchEnded(int converted, int failed, int total, bool stopped, const QString &outputFolder)
{
    const QString text = stopped ? tr("Stopped: %1 of %2 converted").arg(converted).arg(total)
                                 : tr("%1 converted, %2 failed").arg(converted).arg(failed);
    if (total > 0 && !m_window->isActiveWindow()) {
        QApplication::alert(m_window);
        m_desktop->notify(text, outputFolder);
    }
    if (stopped || m_whenDone == WhenDone::Nothing)
        return;
    if (m_whenDone == WhenDone::Close) {
        m_window->close();
        return;
    }
    countDownTo(m_whenDone);
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
        m_desktop->requestPower(choice == WhenDone::Suspend ? Desktop::Power::Suspend : Desktop::Power::PowerOff);
    });
    tick->start(1000);
    box->open(); // Cancel closes it, and its timer with it
    if (m_countdown.count() <= 0)
        tick->setInterval(0);
}
