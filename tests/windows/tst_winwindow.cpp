// SPDX-License-Identifier: GPL-3.0-or-later
// The window's batch under wine, with the stand-in as both tools in the
// working directory's bin\: both pipelines end in Success, and Stop or
// closing the window ends the tools and what they started.

#include "jobtable.h"
#include "quorvel.h"
#include "settings.h"
#include "standinsupport.h"
#include "windowsupport.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace StandIn;
using namespace WindowSupport;

namespace {

// Waits for the stand-in and its child to note their ids in `folder`.
bool toolTreeRunning(const QString &folder)
{
    QElapsedTimer clock;
    clock.start();
    while (pidsIn(folder).size() < 2 && clock.elapsed() < 20000)
        QTest::qWait(20);
    return pidsIn(folder).size() == 2;
}

} // namespace

class WindowWindowsTest : public QObject
{
    Q_OBJECT

private:
    QString m_source;

private slots:
    void initTestCase()
    {
        QDir().mkpath("bin");
        for (const char *tool : { "bin/ffmpeg.exe", "bin/mencoder.exe" }) {
            QFile::remove(tool);
            QVERIFY(QFile::copy(QStringLiteral(QUORVEL_STANDIN), tool));
        }
        m_source = QDir::current().absoluteFilePath("vidéos/clip.mp4");
        QDir().mkpath("vidéos");
        QFile source(m_source);
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write(QByteArray("\x00\x00\x00\x18" "ftypmp42", 12) + QByteArray(500, '\x01'));
    }

    void init()
    {
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Quorvel", "Quorvel").clear();
        QDir("output").removeRecursively();
    }

    void batchEndsInSuccess_data()
    {
        QTest::addColumn<bool>("onePass");
        QTest::newRow("two steps") << false;
        QTest::newRow("one pass") << true;
    }

    void batchEndsInSuccess()
    {
        QFETCH(bool, onePass);
        qputenv("QUORVEL_STANDIN", "ok");
        Quorvel window;
        Settings chosen;
        chosen.pipeline = onePass ? Settings::Pipeline::OnePass : Settings::Pipeline::TwoSteps;
        window.applySettings(chosen);
        JobTable::appendRows(tableOf(window), { m_source });
        convert(window);
        QVERIFY(waitForBatchEnd(window));
        QCOMPARE(tableOf(window)->item(0, JobTable::ProcessStatus)->text(), QStringLiteral("Success"));
        QCOMPARE(QDir("output").entryList(QDir::Files | QDir::Hidden), QStringList { "clip.avi" });
    }

    // Stop, then closing the window mid-batch: neither the tool nor the
    // child it started outlives them, and no partial result stays.
    void stopAndCloseEndTheTools()
    {
        QTemporaryDir stopped;
        QTemporaryDir closed;
        qputenv("QUORVEL_STANDIN", "hang");
        {
            Quorvel window;
            JobTable::appendRows(tableOf(window), { m_source });
            qputenv("QUORVEL_STANDIN_PIDS", QDir::toNativeSeparators(stopped.path()).toUtf8());
            convert(window);
            QVERIFY(toolTreeRunning(stopped.path()));
            button(window, "stopConvertBtn")->click();
            QVERIFY(waitForBatchEnd(window));
            QCOMPARE(tableOf(window)->item(0, JobTable::ProcessStatus)->text(), QStringLiteral("Stopped"));
            QVERIFY(allEnded(stopped.path()));

            qputenv("QUORVEL_STANDIN_PIDS", QDir::toNativeSeparators(closed.path()).toUtf8());
            convert(window);
            QVERIFY(toolTreeRunning(closed.path()));
            window.close();
        }
        QTRY_VERIFY_WITH_TIMEOUT(allEnded(closed.path()), 5000);
        QCOMPARE(QDir("output").entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_MAIN(WindowWindowsTest)
#include "tst_winwindow.moc"
