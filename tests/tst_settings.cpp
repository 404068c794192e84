// SPDX-License-Identifier: GPL-3.0-or-later
// The window's remembered choices: stored and read back, hand-edited values
// and damaged files falling back to the defaults, and the dialog.

#include "outputfolder.h"
#include "settings.h"
#include "settingsdialog.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QComboBox>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(Settings)

// Found by QCOMPARE through argument-dependent lookup, so a failure shows both sides.
char *toString(const Settings &settings)
{
    return QTest::toString(QStringLiteral("{%1, %2 rows, %3, \"%4\", %5}")
                               .arg(settings.pipeline == Settings::Pipeline::OnePass ? "one pass" : "two steps")
                               .arg(settings.rowsAtOnce)
                               .arg(settings.picture == Settings::Picture::Stretch ? "stretch" : "keep shape")
                               .arg(settings.outputFolder, suffixFor(settings.format)));
}

using namespace WindowSupport;

namespace {

// Picks `folder` in the Choose… button's folder dialog, then runs `afterwards`
// while the program has not yet looked at the folder.
void pickFolder(SettingsDialog &dialog, const QString &folder, std::function<void()> afterwards = nullptr)
{
    onNextModal([folder, afterwards](QWidget *modal) {
        auto *files = qobject_cast<QFileDialog *>(modal);
        if (!files) {
            modal->close(); // or the test would wait on it for ever
            QFAIL("not the folder dialog");
        }
        files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(folder);
        static_cast<QDialog *>(files)->accept(); // QFileDialog makes accept() protected
        if (afterwards)
            afterwards();
    });
    dialog.findChild<QPushButton *>(QStringLiteral("chooseOutputBtn"))->click();
}

template <typename Widget>
Widget *child(QWidget &parent, const char *name)
{
    auto *widget = parent.findChild<Widget *>(QLatin1String(name));
    if (!widget)
        qFatal("no %s", name);
    return widget;
}

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_defaultOutput = QDir::current().filePath(QStringLiteral("output"));

    // Every choice away from its default (rows too, unless there is one core);
    // the folder exists and can be written.
    Settings changed() const
    {
        Settings settings;
        settings.pipeline = Settings::Pipeline::OnePass;
        settings.rowsAtOnce = maxRowsAtOnce();
        settings.picture = Settings::Picture::Stretch;
        settings.outputFolder = m_dir.path();
        settings.format = Format::Mp4;
        return settings;
    }

    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        // Keeps any QSettings made without a file name out of the real ~/.config.
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }

    void choicesSurviveARestart_data()
    {
        QTest::addColumn<Settings>("saved");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("defaults") << Settings()
                                  << QStringList { "pipeline=two-steps", "rowsAtOnce=1", "picture=keep-shape",
                                                   "outputFolder=", "format=avi" };
        Settings odd = changed();
        odd.outputFolder = file(QStringLiteral("Vidéos, \"mes\" clips=%1"));
        QVERIFY(QDir().mkpath(odd.outputFolder));
        QTest::newRow("every choice changed, awkward folder")
            << odd
            << QStringList { "pipeline=one-pass", QStringLiteral("rowsAtOnce=%1").arg(maxRowsAtOnce()),
                             "picture=stretch", "format=mp4" };
    }
    void choicesSurviveARestart()
    {
        QFETCH(Settings, saved);
        QFETCH(QStringList, lines);
        const QString path = file(QStringLiteral("%1.conf").arg(QTest::currentDataTag()));
        {
            QSettings store(path, QSettings::IniFormat);
            saveSettings(store, saved);
        }
        QFile text(path);
        QVERIFY(text.open(QIODevice::ReadOnly));
        const QStringList written = QString::fromUtf8(text.readAll()).split('\n');
        for (const QString &line : lines)
            QVERIFY2(written.contains(line), qPrintable(line));

        TestSupport::DebugCapture capture;
        QSettings store(path, QSettings::IniFormat);
        QCOMPARE(loadSettings(store), saved);
        QCOMPARE(capture.warnings(), QStringList());
    }

    void noFileGivesTheDefaultsQuietly()
    {
        TestSupport::DebugCapture capture;
        QSettings store(file(QStringLiteral("never-written.conf")), QSettings::IniFormat);
        QCOMPARE(loadSettings(store), Settings());
        QCOMPARE(capture.warnings(), QStringList());
    }

    void badValueFallsBackToItsDefault_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value"); // as written in the file
        QTest::addColumn<QString>("shown"); // as the warning names it

        const QString plainFile = file(QStringLiteral("plain"));
        TestSupport::writeFile(plainFile, "x");
        const QString tooMany = QString::number(maxRowsAtOnce() + 1);
        const auto row = [](const char *tag, const char *key, const QString &value, const QString &shown) {
            QTest::newRow(tag) << QString::fromLatin1(key) << value << shown;
        };
        row("unknown pipeline", "pipeline", "fast", "fast");
        row("empty pipeline", "pipeline", "", "");
        row("pipeline list", "pipeline", "one-pass, two-steps", "one-pass, two-steps");
        row("picture in capitals", "picture", "Stretch", "Stretch");
        row("no rows", "rowsAtOnce", "0", "0");
        row("negative rows", "rowsAtOnce", "-1", "-1");
        row("more rows than cores", "rowsAtOnce", tooMany, tooMany);
        row("rows in words", "rowsAtOnce", "two", "two");
        row("fractional rows", "rowsAtOnce", "1.5", "1.5");
        row("rows as a size", "rowsAtOnce", "@Size(1 2)", "QVariant(QSize, QSize(1, 2))");
        row("folder gone", "outputFolder", file("gone"), file("gone"));
        row("folder is a file", "outputFolder", plainFile, plainFile);
        row("folder not writable", "outputFolder", "/proc", "/proc");
        row("unknown format", "format", "mkv", "mkv");
        row("format in capitals", "format", "MP4", "MP4");
    }
    void badValueFallsBackToItsDefault()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, shown);

        // The other keys hold good values, which must survive the bad one.
        const Settings good = changed();
        QMap<QString, QString> lines { { "pipeline", "one-pass" },
                                       { "rowsAtOnce", QString::number(good.rowsAtOnce) },
                                       { "picture", "stretch" },
                                       { "outputFolder", good.outputFolder },
                                       { "format", "mp4" } };
        lines[key] = value;
        QByteArray text = "[General]\n";
        for (auto line = lines.cbegin(); line != lines.cend(); ++line)
            text += (line.key() + '=' + line.value() + '\n').toUtf8();
        // A file per row: QSettings caches a file it read, and trusts an
        // unchanged size and time stamp.
        const QString path = file(QStringLiteral("bad-%1.conf").arg(QTest::currentDataTag()));
        TestSupport::writeFile(path, text);

        Settings expected = good;
        if (key == "pipeline")
            expected.pipeline = Settings().pipeline;
        else if (key == "rowsAtOnce")
            expected.rowsAtOnce = Settings().rowsAtOnce;
        else if (key == "picture")
            expected.picture = Settings().picture;
        else if (key == "format")
            expected.format = Settings().format;
        else
            expected.outputFolder = Settings().outputFolder;

        TestSupport::DebugCapture capture;
        QSettings store(path, QSettings::IniFormat);
        QCOMPARE(loadSettings(store), expected);
        QCOMPARE(capture.warnings().size(), 1);
        QVERIFY2(capture.warnings().first().contains(key + " \"" + shown + '"'),
                 qPrintable(capture.warnings().first()));
    }

    void damagedFileGivesTheDefaults_data()
    {
        QTest::addColumn<bool>("folderInItsPlace");
        QTest::newRow("unclosed section") << false;
        QTest::newRow("a folder in its place") << true;
    }
    void damagedFileGivesTheDefaults()
    {
        QFETCH(bool, folderInItsPlace);
        const QString path = file(QStringLiteral("damaged-%1.conf").arg(QTest::currentDataTag()));
        if (folderInItsPlace)
            QVERIFY(QDir().mkpath(path));
        else
            TestSupport::writeFile(path, "[General\npipeline=one-pass\npicture=stretch\n");

        TestSupport::DebugCapture capture;
        QSettings store(path, QSettings::IniFormat);
        QCOMPARE(loadSettings(store), Settings());
        QCOMPARE(capture.warnings().size(), 1);
        QVERIFY2(capture.warnings().first().contains(path), qPrintable(capture.warnings().first()));
    }

    void outputFolderProblem_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("problem");
        const QString plainFile = file(QStringLiteral("plain-file"));
        TestSupport::writeFile(plainFile, "x");
        QTest::newRow("the default") << QString() << QString();
        QTest::newRow("writable") << file(QStringLiteral("writable")) << QString();
        QTest::newRow("missing") << file(QStringLiteral("missing")) << "does not exist";
        QTest::newRow("plain file") << plainFile << "is not a folder";
        // Not even root may make a file in /proc; the tests may run as root.
        QTest::newRow("not writable") << QStringLiteral("/proc") << "cannot be written";
    }
    void outputFolderProblem()
    {
        QFETCH(QString, folder);
        QFETCH(QString, problem);
        QDir().mkpath(file(QStringLiteral("writable")));
        QCOMPARE(::outputFolderProblem(folder), problem);
        // The check leaves nothing behind in a folder it accepts.
        if (!folder.isEmpty() && problem.isEmpty())
            QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    void dialogShowsTheCurrentChoices_data()
    {
        QTest::addColumn<Settings>("current");
        QTest::addColumn<QString>("shownFolder");
        QTest::newRow("defaults") << Settings() << m_defaultOutput;
        QTest::newRow("every choice changed") << changed() << changed().outputFolder;
    }
    void dialogShowsTheCurrentChoices()
    {
        QFETCH(Settings, current);
        QFETCH(QString, shownFolder);
        SettingsDialog dialog(current, m_defaultOutput, false);
        QCOMPARE(dialog.chosen(), current);
        QCOMPARE(child<QLineEdit>(dialog, "outputFolderLE")->text(), shownFolder);
        QCOMPARE(child<QSpinBox>(dialog, "rowsAtOnceSB")->minimum(), 1);
        QCOMPARE(child<QSpinBox>(dialog, "rowsAtOnceSB")->maximum(), maxRowsAtOnce());
        const QDialogButtonBox *buttons = child<QDialogButtonBox>(dialog, "buttonBox");
        QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    }

    void dialogReturnsWhatIsPicked()
    {
        SettingsDialog dialog(Settings(), m_defaultOutput, false);
        child<QRadioButton>(dialog, "onePassRB")->click();
        // AMV and MP4 are made in one pass: the pipeline is AVI's choice alone.
        auto *format = child<QComboBox>(dialog, "formatCB");
        format->setCurrentIndex(format->findText("MP4 (H.264, AAC)"));
        QVERIFY(!child<QRadioButton>(dialog, "twoStepsRB")->isEnabled());
        child<QRadioButton>(dialog, "stretchRB")->click();
        child<QSpinBox>(dialog, "rowsAtOnceSB")->setValue(maxRowsAtOnce());
        pickFolder(dialog, m_dir.path());
        QCOMPARE(child<QLineEdit>(dialog, "outputFolderLE")->text(), m_dir.path());
        QCOMPARE(dialog.chosen(), changed());

        // Picking the default's own path, or the way back, both mean the default.
        QDir().mkpath(m_defaultOutput);
        pickFolder(dialog, m_defaultOutput);
        QCOMPARE(dialog.chosen().outputFolder, QString());
        pickFolder(dialog, m_dir.path());
        child<QPushButton>(dialog, "defaultOutputBtn")->click();
        QCOMPARE(dialog.chosen().outputFolder, QString());
        QCOMPARE(child<QLineEdit>(dialog, "outputFolderLE")->text(), m_defaultOutput);

        child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void refusedFolderChangesNothing_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("goesWhileOpen");
        QTest::addColumn<QString>("problem");
        QTest::newRow("not writable") << "/proc" << false << "cannot be written";
        QTest::newRow("gone while the dialog was open")
            << file(QStringLiteral("short-lived")) << true << "does not exist";
    }
    void refusedFolderChangesNothing()
    {
        QFETCH(QString, folder);
        QFETCH(bool, goesWhileOpen);
        QFETCH(QString, problem);
        const Settings current = changed();
        SettingsDialog dialog(current, m_defaultOutput, false);
        auto *reason = child<QLabel>(dialog, "outputProblemLabel");
        QVERIFY(!reason->isVisibleTo(&dialog));

        if (goesWhileOpen)
            QVERIFY(QDir().mkpath(folder));
        pickFolder(dialog, folder, [&] {
            if (goesWhileOpen)
                QVERIFY(QDir(folder).removeRecursively());
        });

        QCOMPARE(dialog.chosen(), current);
        QCOMPARE(child<QLineEdit>(dialog, "outputFolderLE")->text(), current.outputFolder);
        QVERIFY(reason->isVisibleTo(&dialog));
        QVERIFY2(reason->text().contains(folder + ' ' + problem), qPrintable(reason->text()));

        // A good folder afterwards takes the reason away.
        pickFolder(dialog, m_dir.path());
        QVERIFY(!reason->isVisibleTo(&dialog));
    }

    void readOnlyDisablesEveryControl()
    {
        SettingsDialog dialog(changed(), m_defaultOutput, true);
        auto *buttons = child<QDialogButtonBox>(dialog, "buttonBox");
        QCOMPARE(buttons->standardButtons(), QDialogButtonBox::StandardButtons(QDialogButtonBox::Close));
        QVERIFY(buttons->button(QDialogButtonBox::Close)->isEnabled());

        QStringList enabled;
        int controls = 0;
        for (QWidget *widget : dialog.findChildren<QWidget *>()) {
            if (buttons->isAncestorOf(widget)
                || !(qobject_cast<QAbstractButton *>(widget) || qobject_cast<QAbstractSpinBox *>(widget)
                     || qobject_cast<QLineEdit *>(widget)))
                continue;
            ++controls;
            if (widget->isEnabled())
                enabled << widget->objectName();
        }
        QCOMPARE(enabled, QStringList());
        QVERIFY(controls >= 8); // the four radio buttons, rows, the folder line and its two buttons
        QVERIFY(child<QLabel>(dialog, "readOnlyNoteLabel")->text().contains("next batch"));
        QCOMPARE(dialog.chosen(), changed());
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
