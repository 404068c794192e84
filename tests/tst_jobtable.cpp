// SPDX-License-Identifier: GPL-3.0-or-later
// The job list: Add through the real file dialog, Delete, and status cells.

#include "conversion.h"
#include "jobtable.h"
#include "keptrows.h"
#include "quorvel.h"
#include "settings.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace WindowSupport;

namespace {

QStringList column(QTableWidget *table, int col)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << (table->item(row, col) ? table->item(row, col)->text() : QStringLiteral("<none>"));
    return texts;
}

// Picks `files` in the file dialog, as a person typing them would.
void chooseInDialog(const QStringList &files, QString *shownFolder = nullptr)
{
    onNextModal([files, shownFolder](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Select files"));
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
        QCOMPARE(dialog->nameFilters(), QStringList { "All files(*.*)" });
        if (shownFolder)
            *shownFolder = dialog->directory().absolutePath();
        QStringList quoted;
        for (const QString &file : files)
            quoted << '"' + file + '"';
        dialog->findChild<QLineEdit *>("fileNameEdit")->setText(quoted.join(' '));
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog makes accept() protected
    });
}

} // namespace

using namespace TestSupport;

class JobTableTest : public QObject
{
    Q_OBJECT

    // Each row as its source, its status and its tooltip.
    static QStringList rowsOf(const QTableWidget &table)
    {
        QStringList rows;
        for (int row = 0; row < table.rowCount(); ++row) {
            const QTableWidgetItem *status = table.item(row, JobTable::ProcessStatus);
            rows << table.item(row, 0)->text() + '|' + (status ? status->text() + '|' + status->toolTip() : QString());
        }
        return rows;
    }

    QTemporaryDir m_sources;

    QString source(const QString &name)
    {
        const QString path = m_sources.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        return path;
    }

private slots:
    void addAppendsRowsInTheDialogsOrder()
    {
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("first.avi"), source("second.mp4") });

        const QStringList chosen { source("c.mp4"), source("clip.part1.mp4"), source("clip") };
        QString shownFolder;
        chooseInDialog(chosen, &shownFolder);
        window.addVideoFiles();

        QCOMPARE(shownFolder, QFileInfo(QStringLiteral(".")).absolutePath());
        QCOMPARE(table->rowCount(), 5);
        QCOMPARE(column(table, 0).mid(2), chosen);
        QCOMPARE(column(table, 1), QVector<QString>(5, "/output").toList());
        QCOMPARE(column(table, 2), QStringList({ "first.avi", "second.avi", "c.avi", "clip.avi", "clip.avi" }));
        QCOMPARE(column(table, 3), QVector<QString>(5, "<none>").toList());
        QCOMPARE(table->item(2, 0)->textAlignment(), int(Qt::AlignLeft | Qt::AlignVCenter));
        QCOMPARE(table->item(2, 1)->textAlignment(), int(Qt::AlignHCenter | Qt::AlignVCenter));
        QCOMPARE(table->item(2, 2)->textAlignment(), int(Qt::AlignHCenter | Qt::AlignVCenter));
        QVERIFY(table->item(2, 0)->flags() & Qt::ItemIsEditable);
    }

    void sameFileTwiceGivesTwoRows()
    {
        Quorvel window;
        const QString file = source("twice.mkv");
        chooseInDialog({ file });
        window.addVideoFiles();
        chooseInDialog({ file });
        window.addVideoFiles();
        QCOMPARE(column(tableOf(window), 0), QStringList({ file, file }));
        QCOMPARE(column(tableOf(window), 2), QStringList({ "twice.avi", "twice.avi" }));
    }

    void cancelShowsTheWarningAndChangesNothing()
    {
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { source("kept.avi") });

        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        onNextModal([&](QWidget *dialog) {
            onNextModal([&](QWidget *box) {
                auto *warning = qobject_cast<QMessageBox *>(box);
                QVERIFY(warning);
                title = warning->windowTitle();
                text = warning->text();
                buttons = warning->standardButtons();
                warning->button(QMessageBox::Ok)->click();
            });
            qobject_cast<QDialog *>(dialog)->reject();
        });
        window.addVideoFiles();

        QCOMPARE(title, QStringLiteral("Warning"));
        QCOMPARE(text, QStringLiteral("Failed to open the file."));
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(column(table, 0), QStringList { m_sources.filePath("kept.avi") });
    }

    void deleteWithoutCurrentCellDoesNothing()
    {
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { "/a.avi", "/b.avi" });
        table->setCurrentCell(-1, -1);
        window.deleteCurrentVideo();
        QCOMPARE(table->rowCount(), 2);
    }

    void deleteMakesTheLastRowCurrent()
    {
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { "/0.avi", "/1.avi", "/2.avi", "/3.avi" });
        table->setCurrentCell(1, 2);
        window.deleteCurrentVideo();
        QCOMPARE(column(table, 0), QStringList({ "/0.avi", "/2.avi", "/3.avi" }));
        QCOMPARE(table->currentRow(), 2);
        QCOMPARE(table->currentColumn(), 0);
    }

    void deletingTheOnlyRowLeavesNoCurrentCell()
    {
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { "/only.avi" });
        table->setCurrentCell(0, 0);
        window.deleteCurrentVideo();
        QCOMPARE(table->rowCount(), 0);
        QCOMPARE(table->currentRow(), -1);
    }

    void statusReplacesTheRowsCellOnly()
    {
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { "/0.avi", "/1.avi", "/2.avi" });
        window.updateConvertStatus(2, "Converting");
        window.updateConvertStatus(2, "Success");
        QCOMPARE(column(table, 3), QStringList({ "<none>", "<none>", "Success" }));
        QCOMPARE(table->item(2, 3)->textAlignment(), int(Qt::AlignHCenter | Qt::AlignVCenter));

        window.updateConvertStatus(3, "Failed");
        window.updateConvertStatus(-1, "Failed");
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(column(table, 3), QStringList({ "<none>", "<none>", "Success" }));
    }

    // The TargetFileName column follows the chosen format: rows not yet
    // converted, rows added and edited later, and the window's choice; a
    // converted row keeps its result's name.
    void targetNamesFollowTheFormat()
    {
        Quorvel window;
        QTableWidget *table = tableOf(window);
        JobTable::appendRows(table, { "/a.mp4", "/b.mkv" });
        JobTable::setStatus(table, 1, QString());
        table->item(1, JobTable::ProcessStatus)->setData(JobTable::StageRole, int(Stage::Succeeded));
        Settings mp4;
        mp4.format = Format::Mp4;
        window.applySettings(mp4);
        QCOMPARE(column(table, JobTable::TargetFileName), QStringList({ "a.mp4", "b.avi" }));
        JobTable::appendRows(table, { "/c.avi" });
        QCOMPARE(table->item(2, JobTable::TargetFileName)->text(), QStringLiteral("c.mp4"));
        table->item(0, JobTable::FileName)->setText("/renamed.mov");
        QCOMPARE(table->item(0, JobTable::TargetFileName)->text(), QStringLiteral("renamed.mp4"));
        window.applySettings(Settings());
        QCOMPARE(column(table, JobTable::TargetFileName), QStringList({ "renamed.avi", "b.avi", "c.avi" }));
    }

    void bulkAddSizesColumnsLikeOneByOne()
    {
        QStringList paths;
        for (int i = 0; i < 300; ++i)
            paths << QStringLiteral("/videos/%1/%2.mp4").arg(i).arg(QString(i % 37, QLatin1Char('n')));

        Quorvel bulk;
        JobTable::appendRows(tableOf(bulk), paths);
        Quorvel oneByOne;
        for (const QString &path : paths)
            JobTable::appendRows(tableOf(oneByOne), { path });
        bulk.show();
        oneByOne.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bulk));
        QVERIFY(QTest::qWaitForWindowExposed(&oneByOne));

        for (int col = 0; col < 4; ++col)
            QCOMPARE(tableOf(bulk)->columnWidth(col), tableOf(oneByOne)->columnWidth(col));
        QVERIFY(tableOf(bulk)->columnWidth(2) > tableOf(bulk)->horizontalHeader()->minimumSectionSize());
        QCOMPARE(tableOf(bulk)->horizontalHeader()->sectionResizeMode(1), QHeaderView::ResizeToContents);
        QCOMPARE(tableOf(bulk)->horizontalHeader()->sectionResizeMode(2), QHeaderView::ResizeToContents);
    }

    // The list keeps every row not converted, with its status and reason; a
    // row that was converting comes back not converted; a converted row is
    // not kept. It is written within a second of a change.
    void keptRowsComeBackAsTheyWere()
    {
        QTableWidget table(0, 4);
        JobTable::appendRows(&table,
                             { "/v/waiting.mp4", "/v/failed.mp4", "/v/done.mp4", "/v/stopped.mp4", "/v/running.mp4" });
        const auto reached = [&table](int row, Stage stage, const QString &reason = QString()) {
            JobTable::setStatus(&table, row, stageText(stage));
            table.item(row, JobTable::ProcessStatus)->setData(JobTable::StageRole, int(stage));
            table.item(row, JobTable::ProcessStatus)->setData(JobTable::ReasonRole, reason);
        };
        QTemporaryDir data;
        QString file;
        {
            KeptRows kept(&table, data.path());
            file = kept.file();
            reached(1, Stage::Failed, "/v/failed.mp4 is empty");
            reached(2, Stage::Succeeded);
            reached(3, Stage::Stopped);
            reached(4, Stage::Converting);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file), 1500);
        }

        QTableWidget back(0, 4);
        KeptRows(&back, data.path()).restore(JobTable::defaultFolderText());
        QCOMPARE(rowsOf(back),
                 QStringList({ "/v/waiting.mp4|", "/v/failed.mp4|Failed|/v/failed.mp4 is empty",
                               "/v/stopped.mp4|Stopped|Stopped by the user",
                               "/v/running.mp4|Failed|Quorvel ended while it was converting" }));

        // With nothing left to do, nothing is kept.
        QTableWidget done(0, 4);
        JobTable::appendRows(&done, { "/v/done.mp4" });
        JobTable::setStatus(&done, 0, stageText(Stage::Succeeded));
        done.item(0, JobTable::ProcessStatus)->setData(JobTable::StageRole, int(Stage::Succeeded));
        QVERIFY(KeptRows::snapshot(&done).isEmpty());
    }

    // A list the build before this one wrote comes back, rows and reasons
    // alone, under the folder in use now; one of a version this build does
    // not know is not shown.
    void olderAndNewerLists()
    {
        QTableWidget table(0, 4);
        QVERIFY(KeptRows::show(&table, readFile(fixture("rows-v1.json")), "/chosen"));
        QCOMPARE(rowsOf(table),
                 QStringList({ "/v/waiting.mp4|", "/v/failed.mp4|Failed|/v/failed.mp4 is empty", "/v/stopped.mp4|",
                               "/v/running.mp4|Failed|Quorvel ended while it was converting" }));
        for (int row = 0; row < table.rowCount(); ++row)
            QCOMPARE(table.item(row, JobTable::TargetPath)->text(), QStringLiteral("/chosen"));
        QTableWidget newer(0, 4);
        QVERIFY(!KeptRows::show(&newer, R"({"quorvelRows": 3, "rows": [{"source": "/v/a.mp4"}]})", "/output"));
        QCOMPARE(newer.rowCount(), 0);
    }
};

QTEST_MAIN(JobTableTest)
#include "tst_jobtable.moc"
