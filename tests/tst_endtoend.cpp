// SPDX-License-Identifier: GPL-3.0-or-later
// The whole job with the real tools, prepared as the run command prepares
// them: generated clips in several containers and awkward paths become Xvid
// AVI files that a small-screen player can play.

#include "jobtable.h"
#include "mediasupport.h"
#include "quorvel.h"
#include "testsupport.h"
#include "toolcommands.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace MediaSupport;
using namespace TestSupport;

class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        resetWorkDir();
        QVERIFY(prepareWorkDir(QDir::currentPath()));
    }

    void convertsABatchOfRealClips()
    {
        const QString clips = QDir::current().filePath("clips");
        QDir(clips).removeRecursively();
        struct Clip {
            QString path;
            QString format;
            QStringList codecs;
            bool sound = true;
        };
        // Everyday sources: what phones, cameras, editors and the web make.
        const QList<Clip> sources {
            { clips + "/phone.mp4", {}, { "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac" } },
            { clips + "/surround.mkv", {}, { "-c:v", "libx264", "-c:a", "ac3", "-ac", "6" } },
            { clips + "/hevc.mp4", {}, { "-c:v", "libx265", "-x265-params", "log-level=none", "-c:a", "aac" } },
            { clips + "/web.webm", {}, { "-c:v", "libvpx-vp9", "-deadline", "realtime", "-c:a", "libopus" } },
            { clips + "/broadcast.ts", {}, { "-c:v", "mpeg2video", "-c:a", "mp2" } },
            { clips + "/old phone.3gp",
              {},
              { "-c:v", "h263", "-s", "352x288", "-c:a", "aac", "-ar", "8000", "-ac", "1" } },
            { clips + "/editor.mov", {}, { "-c:v", "prores_ks", "-c:a", "pcm_s16le" } },
            { clips + "/windows.wmv", {}, { "-c:v", "wmv2", "-c:a", "wmav2" } },
            { clips + "/flash.flv", {}, { "-c:v", "flv1", "-c:a", "libmp3lame", "-ar", "44100" } },
            { clips + "/silent.mp4", {}, { "-c:v", "libx264", "-pix_fmt", "yuv420p" }, false },
            { clips + "/already.avi", {}, {} },
            { clips + "/nosuffix", "matroska", {} },
            { clips + QString::fromUtf8("/dir with blanks/50% vidéo 映画.mp4"), {}, {} },
        };
        QStringList paths;
        for (const Clip &clip : sources) {
            QVERIFY2(generateClip(clip.path, clip.format, clip.codecs, clip.sound), qPrintable(clip.path));
            paths << clip.path;
        }

        Quorvel window;
        window.show();
        auto *table = window.findChild<QTableWidget *>("videoTableWidget");
        JobTable::appendRows(table, paths);
        window.findChild<QComboBox *>("resolutionCB")->setCurrentText("220x176");
        window.findChild<QPushButton *>("convertBtn")->click();

        QElapsedTimer clock;
        clock.start();
        while (window.isBatchRunning() && clock.elapsed() < 400000)
            QTest::qWait(50);
        QVERIFY(!window.isBatchRunning());
        QCoreApplication::processEvents();

        for (int row = 0; row < paths.size(); ++row) {
            QVERIFY2(table->item(row, 3), qPrintable(paths.at(row)));
            QCOMPARE(table->item(row, 3)->text(), QStringLiteral("Success"));
            const QString result = QDir::current().filePath("output/" + QFileInfo(paths.at(row)).baseName() + ".avi");
            verifyConversion(paths.at(row), result, 220, 176, sources.at(row).sound);
        }
        QCOMPARE(QDir("output").entryList({ "quorvel-tmp.*" }, QDir::Files), QStringList());
    }

    // One pass, chosen in the window's settings: the same kind of file as
    // quorvel-batch --direct makes, with the same result check and progress.
    void onePassThroughTheWindow()
    {
        const QString clip = QDir::current().filePath("clips/one pass.mp4");
        QVERIFY(
            generateClip(clip, {}, { "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac" }, true, 3.0, "1280x720"));
        Quorvel window;
        Settings onePass;
        onePass.pipeline = Settings::Pipeline::OnePass;
        window.applySettings(onePass);
        auto *table = window.findChild<QTableWidget *>("videoTableWidget");
        JobTable::appendRows(table, { clip });
        window.findChild<QPushButton *>("convertBtn")->click();
        QElapsedTimer clock;
        clock.start();
        while (window.isBatchRunning() && clock.elapsed() < 120000)
            QTest::qWait(50);
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("Success"));
        QCOMPARE(table->item(0, 3)->data(JobTable::ProgressRole).toInt(), 100);
        verifyConversion(clip, QDir::current().filePath("output/one pass.avi"), 320, 240, true, 3.0);
        window.applySettings(Settings());
    }

    // Two windows and a quorvel-batch started in the same folder convert at
    // once: each result is its own source's, whole, and no temporary file
    // of one is taken, written over or removed by another.
    void programsSharingAnOutputFolder()
    {
        const QString clips = QDir::current().filePath("clips");
        const QList<QPair<QString, double>> sources { { clips + "/first.mp4", 3.0 },
                                                      { clips + "/second.mp4", 2.0 },
                                                      { clips + "/third.mp4", 4.0 } };
        for (const auto &clip : sources)
            QVERIFY(generateClip(clip.first, {}, {}, true, clip.second, "640x480"));
        Quorvel first;
        Quorvel second;
        JobTable::appendRows(first.findChild<QTableWidget *>("videoTableWidget"), { sources.at(0).first });
        JobTable::appendRows(second.findChild<QTableWidget *>("videoTableWidget"), { sources.at(1).first });
        QProcess batch;
        batch.start(QUORVEL_BATCH, { "-j", "1", sources.at(2).first });
        first.findChild<QPushButton *>("convertBtn")->click();
        second.findChild<QPushButton *>("convertBtn")->click();
        QVERIFY(batch.waitForFinished(120000));
        QCOMPARE(batch.exitCode(), 0);
        QElapsedTimer clock;
        clock.start();
        while ((first.isBatchRunning() || second.isBatchRunning()) && clock.elapsed() < 120000)
            QTest::qWait(50);
        for (const Quorvel *window : { &first, &second })
            QCOMPARE(window->findChild<QTableWidget *>("videoTableWidget")->item(0, 3)->text(),
                     QStringLiteral("Success"));
        for (const auto &clip : sources)
            verifyConversion(clip.first, QDir::current().filePath("output/" + baseNameOf(clip.first) + ".avi"), 320,
                             240, true, clip.second);
        QCOMPARE(QDir("output").entryList({ "quorvel-tmp.*" }, QDir::Files), QStringList());
    }

    // A clip long enough to watch: the bar moves while the real tools run,
    // never goes back, and the row ends at 100 with how long it took; a
    // Pause and Resume in the middle leave the result whole.
    void progressWithTheRealTools()
    {
        const QString clip = QDir::current().filePath("clips/long walk.mp4");
        QVERIFY(
            generateClip(clip, {}, { "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac" }, true, 12.0, "640x480"));
        Quorvel window;
        window.show();
        auto *table = window.findChild<QTableWidget *>("videoTableWidget");
        JobTable::appendRows(table, { clip });
        QList<int> values;
        QStringList titles;
        connect(table->model(), &QAbstractItemModel::dataChanged, &window, [&] {
            const QTableWidgetItem *status = table->item(0, 3);
            if (status && status->data(JobTable::ProgressRole).isValid())
                values << status->data(JobTable::ProgressRole).toInt();
        });
        connect(&window, &QWidget::windowTitleChanged, &window, [&](const QString &title) { titles << title; });
        window.findChild<QPushButton *>("convertBtn")->click();
        // Held for a while in the middle of the pre-process, then resumed:
        // the result is whole all the same.
        QTRY_VERIFY_WITH_TIMEOUT(!values.isEmpty() && values.last() >= 10, 60000);
        window.togglePause();
        QVERIFY(window.windowTitle().startsWith("Quorvel - paused - 0 of 1 - "));
        const int heldAt = values.last();
        QTest::qWait(1500);
        QVERIFY(values.last() <= heldAt + 2); // what was read before the hold took
        window.togglePause();
        QElapsedTimer clock;
        clock.start();
        while (window.isBatchRunning() && clock.elapsed() < 300000)
            QTest::qWait(50);
        QTest::qWait(50);

        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("Success"));
        QCOMPARE(values.last(), 100);
        for (int i = 1; i < values.size(); ++i)
            QVERIFY(values.at(i) >= values.at(i - 1));
        QList<int> distinct = values;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        QVERIFY2(distinct.size() >= 5, qPrintable(QString::number(distinct.size())));
        QVERIFY(distinct.contains(50) || (distinct.first() < 50 && distinct.last() > 50));
        QVERIFY(table->item(0, 3)->toolTip().startsWith("Done in 0:"));
        QVERIFY(titles.contains("Quorvel - 0 of 1 - 0 %"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Quorvel"));
        verifyConversion(clip, QDir::current().filePath("output/long walk.avi"), 320, 240, true, 12.0);
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
