// SPDX-License-Identifier: GPL-3.0-or-later
// When a batch ends: the desktop notification and its action, and "When
// done" through logind, against stand-in services on private buses of the
// test's own (never the machine's).

#include "batchend.h"
#include "jobtable.h"
#include "quorvel.h"
#include "settingsdialog.h"
#include "testsupport.h"
#include "urlcatcher.h"
#include "windowsupport.h"

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QtTest>

#include <csignal>
#include <cstdio>

using namespace TestSupport;
using namespace WindowSupport;

namespace {

const char busConfig[] = "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
                         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                         "<busconfig>\n"
                         "  <type>session</type>\n"
                         "  <listen>unix:tmpdir=/tmp</listen>\n"
                         "  <auth>EXTERNAL</auth>\n"
                         "  <policy context=\"default\">\n"
                         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                         "    <allow eavesdrop=\"true\"/>\n"
                         "    <allow own=\"*\"/>\n"
                         "  </policy>\n"
                         "</busconfig>\n";

struct Bus {
    QString address;
    long pid = 0;
};

// A dbus-daemon of the test's own, with the config above.
Bus startBus(const QString &configFile)
{
    Bus bus;
    const QString command =
        QStringLiteral("dbus-daemon --config-file='%1' --fork --print-address=1 --print-pid=1").arg(configFile);
    FILE *out = popen(command.toLocal8Bit().constData(), "r");
    if (!out)
        return bus;
    char line[512];
    if (fgets(line, sizeof line, out))
        bus.address = QString::fromLocal8Bit(line).trimmed();
    if (fgets(line, sizeof line, out))
        bus.pid = QString::fromLocal8Bit(line).trimmed().toLong();
    pclose(out);
    return bus;
}

Bus sessionBus;
Bus systemBus;

// Stands in for the desktop's notification server.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList capabilities { "body", "actions" };
    QList<QVariantList> notified;

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        notified << QVariantList { app, replaces, icon, summary, body, actions, hints, timeout };
        return uint(41 + notified.size());
    }
};

// Stands in for logind's manager.
class FakeLogind : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    QStringList called;

public slots:
    QString CanSuspend() { return QStringLiteral("yes"); }
    QString CanPowerOff() { return QStringLiteral("no"); }
    void Suspend(bool interactive) { called << QStringLiteral("Suspend %1").arg(interactive); }
    void PowerOff(bool interactive) { called << QStringLiteral("PowerOff %1").arg(interactive); }
};

} // namespace

class BatchEndTest : public QObject
{
    Q_OBJECT

    FakeNotifications m_notifications;
    FakeLogind m_logind;
    QString m_pidFile;

    BatchEnd *batchEndOf(Quorvel &window) { return window.findChild<BatchEnd *>(); }

    // A batch of one good and one missing source, to its end.
    void runBatch(Quorvel &window)
    {
        JobTable::appendRows(tableOf(window), { source("good.avi"), QDir::current().filePath("videos/gone.avi") });
        button(window, "convertBtn")->click();
        QVERIFY(waitForBatchEnd(window));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!sessionBus.address.isEmpty() && !systemBus.address.isEmpty(), "dbus-daemon did not start");
        QDBusConnection session = QDBusConnection::connectToBus(sessionBus.address, "standin-session");
        QVERIFY(session.registerObject("/org/freedesktop/Notifications", &m_notifications,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(session.registerService("org.freedesktop.Notifications"));
        QDBusConnection system = QDBusConnection::connectToBus(systemBus.address, "standin-system");
        QVERIFY(system.registerObject("/org/freedesktop/login1", &m_logind, QDBusConnection::ExportAllSlots));
        QVERIFY(system.registerService("org.freedesktop.login1"));
    }

    void init()
    {
        m_pidFile = installFakeTools().pidFile;
        m_notifications.notified.clear();
        m_notifications.capabilities = QStringList { "body", "actions" };
        m_logind.called.clear();
    }

    // Sent when the window is not the active one, with "Open output folder"
    // where the server offers actions; the action opens the folder.
    void notificationWithItsAction_data()
    {
        QTest::addColumn<bool>("actions");
        QTest::newRow("server with actions") << true;
        QTest::newRow("server without actions") << false;
    }

    void notificationWithItsAction()
    {
        QFETCH(bool, actions);
        if (!actions)
            m_notifications.capabilities = QStringList { "body" };
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("file", &catcher, "open");
        Quorvel window; // never shown, so never the active window
        runBatch(window);
        QTRY_COMPARE(m_notifications.notified.size(), 1);
        const QVariantList call = m_notifications.notified.first();
        QCOMPARE(call.at(3).toString(), QStringLiteral("Quorvel"));
        QCOMPARE(call.at(4).toString(), QStringLiteral("1 converted, 1 failed"));
        QCOMPARE(call.at(5).toStringList(),
                 actions ? QStringList({ "open-output-folder", "Open output folder" }) : QStringList());
        if (actions) {
            QDBusMessage invoked = QDBusMessage::createSignal("/org/freedesktop/Notifications",
                                                              "org.freedesktop.Notifications", "ActionInvoked");
            invoked << uint(42) << QStringLiteral("open-output-folder");
            QDBusConnection(QStringLiteral("standin-session")).send(invoked);
            QTRY_COMPARE(catcher.opened, QList<QUrl>({ QUrl::fromLocalFile(outputPath) }));
        }
        QDesktopServices::unsetUrlHandler("file");
    }

    void stoppedBatchSaysSoAndDoesNothing()
    {
        qputenv("QUORVEL_FAKE_MENCODER", "hang");
        Quorvel window;
        batchEndOf(window)->setWhenDone(BatchEnd::WhenDone::Suspend);
        batchEndOf(window)->setCountdown(std::chrono::seconds(0));
        JobTable::appendRows(tableOf(window), { source("a.avi"), source("b.avi") });
        button(window, "convertBtn")->click();
        QTRY_VERIFY(readPid(m_pidFile) > 0); // the first row's tool runs
        window.stopConvert();
        QVERIFY(waitForBatchEnd(window));
        QTRY_COMPARE(m_notifications.notified.size(), 1);
        QCOMPARE(m_notifications.notified.first().at(4).toString(), QStringLiteral("Stopped: 0 of 2 converted"));
        QTest::qWait(500);
        QVERIFY(!window.findChild<QMessageBox *>("whenDoneBox"));
        QVERIFY(m_logind.called.isEmpty());
    }

    // What logind says the machine cannot do is offered disabled, with why.
    void choicesFollowLogind()
    {
        Quorvel window;
        BatchEnd *batchEnd = batchEndOf(window);
        QTRY_COMPARE(batchEnd->whyNot(BatchEnd::WhenDone::PowerOff), QStringLiteral("logind says no"));
        QCOMPARE(batchEnd->whyNot(BatchEnd::WhenDone::Suspend), QString());
        QCOMPARE(batchEnd->whenDone(), BatchEnd::WhenDone::Nothing); // every start

        SettingsDialog dialog(Settings(), outputPath, false);
        dialog.offerWhenDone(*batchEnd);
        auto *choices = dialog.findChild<QComboBox *>("whenDoneCB");
        auto *model = qobject_cast<QStandardItemModel *>(choices->model());
        QCOMPARE(choices->count(), 4);
        QCOMPARE(choices->currentText(), QStringLiteral("Do nothing"));
        QVERIFY(model->item(2)->isEnabled());
        QCOMPARE(model->item(3)->text(), QStringLiteral("Power off (logind says no)"));
        QVERIFY(!model->item(3)->isEnabled());
    }

    // Suspend or power off after the countdown, which can be cancelled; Close
    // Quorvel.
    void whenDone_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QStringList>("called");
        QTest::newRow("suspend") << int(BatchEnd::WhenDone::Suspend) << false << QStringList("Suspend 1");
        QTest::newRow("suspend, cancelled") << int(BatchEnd::WhenDone::Suspend) << true << QStringList();
        QTest::newRow("power off") << int(BatchEnd::WhenDone::PowerOff) << false << QStringList("PowerOff 1");
        QTest::newRow("close") << int(BatchEnd::WhenDone::Close) << false << QStringList();
    }

    void whenDone()
    {
        QFETCH(int, choice);
        QFETCH(bool, cancel);
        QFETCH(QStringList, called);
        Quorvel window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        batchEndOf(window)->setWhenDone(BatchEnd::WhenDone(choice));
        batchEndOf(window)->setCountdown(std::chrono::seconds(1));
        runBatch(window);
        if (BatchEnd::WhenDone(choice) == BatchEnd::WhenDone::Close) {
            QTRY_VERIFY(!window.isVisible());
            return;
        }
        QTRY_VERIFY(window.findChild<QMessageBox *>("whenDoneBox"));
        QMessageBox *box = window.findChild<QMessageBox *>("whenDoneBox");
        QVERIFY(box->text().contains(BatchEnd::WhenDone(choice) == BatchEnd::WhenDone::Suspend ? "suspend in 1 s"
                                                                                             : "power off in 1 s"));
        if (cancel)
            box->button(QMessageBox::Cancel)->click();
        QTest::qWait(2000);
        QCOMPARE(m_logind.called, called);
    }

    // With no notification service: a debug line, nothing more.
    void noServiceNoHarm()
    {
        QDBusConnection(QStringLiteral("standin-session")).unregisterService("org.freedesktop.Notifications");
        const auto restore = qScopeGuard([] {
            QDBusConnection(QStringLiteral("standin-session")).registerService("org.freedesktop.Notifications");
        });
        DebugCapture debug;
        Quorvel window;
        runBatch(window);
        QTRY_COMPARE(debug.startingWith("no notification service: "),
                     QStringList("no notification service: 1 converted, 1 failed"));
    }
};

// The buses come first: the program's connections read their addresses
// when first used.
int main(int argc, char **argv)
{
    const QString config = QDir::current().filePath("bus.conf");
    {
        QFile file(config);
        if (file.open(QIODevice::WriteOnly))
            file.write(busConfig);
    }
    sessionBus = startBus(config);
    systemBus = startBus(config);
    qputenv("DBUS_SESSION_BUS_ADDRESS", sessionBus.address.toLocal8Bit());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", systemBus.address.toLocal8Bit());
    int status = 0;
    {
        QApplication app(argc, argv);
        BatchEndTest test;
        status = QTest::qExec(&test, argc, argv);
    }
    for (const Bus &bus : { sessionBus, systemBus }) {
        if (bus.pid > 0)
            ::kill(pid_t(bus.pid), SIGTERM);
    }
    return status;
}

#include "tst_batchend.moc"
