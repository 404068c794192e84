// SPDX-License-Identifier: GPL-3.0-or-later
#include "settingsdialog.h"
#include "outputfolder.h"
#include "names.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace {

template <typename Widget>
Widget *named(Widget *widget, const char *objectName)
{
    widget->setObjectName(QLatin1String(objectName));
    return widget;
}

// Two exclusive choices stacked in one form row; each row has a group of its
// own so the two pairs do not share one exclusive set.
QVBoxLayout *choicePair(QWidget *owner, QRadioButton *first, QRadioButton *second)
{
    auto *group = new QButtonGroup(owner);
    group->addButton(first);
    group->addButton(second);
    auto *column = new QVBoxLayout;
    column->addWidget(first);
    column->addWidget(second);
    return column;
}

} // namespace

SettingsDialog::SettingsDialog(const Settings &current, const QString &defaultOutputFolder, bool readOnly,
                               QWidget *parent)
    : QDialog(parent)
    , m_defaultOutputFolder(defaultOutputFolder)
{
    setObjectName(QStringLiteral("settingsDialog"));
    setWindowTitle(tr("Settings"));

    // Every control lives on this page, so read-only mode disables them all
    // in one call and the buttons below stay usable.
    auto *page = new QWidget(this);
    auto *form = new QFormLayout(page);
    form->setContentsMargins(0, 0, 0, 0);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_format = named(new QComboBox(page), "formatCB");
    m_format->addItem(tr("AVI (Xvid, MP2)"), int(Format::Avi));
    m_format->addItem(tr("AMV (pocket players)"), int(Format::Amv));
    m_format->addItem(tr("MP4 (H.264, AAC)"), int(Format::Mp4));
    form->addRow(tr("Format:"), m_format);

    m_twoSteps = named(new QRadioButton(tr("Two steps (ffmpeg, then mencoder)"), page), "twoStepsRB");
    m_onePass = named(new QRadioButton(tr("One pass (ffmpeg only: about twice as fast, sharper)"), page), "onePassRB");
    form->addRow(tr("Conversion:"), choicePair(page, m_twoSteps, m_onePass));
    // AMV and MP4 are always made in one pass: the choice is AVI's alone.
    const auto followFormat = [this] {
        const bool avi = m_format->currentData().toInt() == int(Format::Avi);
        m_twoSteps->setEnabled(avi);
        m_onePass->setEnabled(avi);
    };
    connect(m_format, qOverload<int>(&QComboBox::currentIndexChanged), this, followFormat);

    m_rowsAtOnce = named(new QSpinBox(page), "rowsAtOnceSB");
    m_rowsAtOnce->setRange(1, maxRowsAtOnce());
    auto *rowsLine = new QHBoxLayout;
    rowsLine->addWidget(m_rowsAtOnce);
    rowsLine->addWidget(new QLabel(tr("up to %n, one per core", nullptr, maxRowsAtOnce()), page), 1);
    form->addRow(tr("Rows at once:"), rowsLine);

    m_keepShape = named(new QRadioButton(tr("Keep its shape (black bars)"), page), "keepShapeRB");
    m_stretch = named(new QRadioButton(tr("Stretch to fill the screen"), page), "stretchRB");
    form->addRow(tr("Picture:"), choicePair(page, m_keepShape, m_stretch));

    m_outputFolderEdit = named(new QLineEdit(page), "outputFolderLE");
    // Only a folder that passed the check gets in, so it is not typed here.
    m_outputFolderEdit->setReadOnly(true);
    m_outputFolderEdit->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    auto *choose = named(new QPushButton(tr("Choose…"), page), "chooseOutputBtn");
    m_defaultOutput = named(new QPushButton(tr("Default"), page), "defaultOutputBtn");
    m_defaultOutput->setToolTip(tr("Back to %1").arg(QDir::toNativeSeparators(m_defaultOutputFolder)));
    auto *folderLine = new QHBoxLayout;
    folderLine->addWidget(m_outputFolderEdit, 1);
    folderLine->addWidget(choose);
    folderLine->addWidget(m_defaultOutput);
    m_outputProblem = named(new QLabel(page), "outputProblemLabel");
    m_outputProblem->setWordWrap(true);
    m_outputProblem->setStyleSheet(QStringLiteral("color: #b00020"));
    m_outputProblem->hide();
    auto *folderColumn = new QVBoxLayout;
    folderColumn->addLayout(folderLine);
    folderColumn->addWidget(m_outputProblem);
    form->addRow(tr("Output folder:"), folderColumn);

    m_format->setCurrentIndex(m_format->findData(int(current.format)));
    followFormat();
    (current.pipeline == Settings::Pipeline::OnePass ? m_onePass : m_twoSteps)->setChecked(true);
    m_rowsAtOnce->setValue(current.rowsAtOnce);
    (current.picture == Settings::Picture::Stretch ? m_stretch : m_keepShape)->setChecked(true);
    setOutputFolder(current.outputFolder);

    auto *buttons = named(new QDialogButtonBox(this), "buttonBox");
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(page);
    if (readOnly) {
        page->setEnabled(false);
        auto *note = named(new QLabel(tr("A batch is running. These choices can be changed when it has ended, "
                                         "and apply from the next batch."),
                                      this),
                           "readOnlyNoteLabel");
        note->setWordWrap(true);
        layout->addWidget(note);
        buttons->setStandardButtons(QDialogButtonBox::Close);
    } else {
        buttons->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    }
    // When done: a choice for this session, and the running batch too.
    auto *whenDoneForm = new QFormLayout;
    m_whenDone = named(new QComboBox(this), "whenDoneCB");
    whenDoneForm->addRow(tr("When done:"), m_whenDone);
    layout->addLayout(whenDoneForm);
    layout->addSpacing(6);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(choose, &QPushButton::clicked, this, &SettingsDialog::chooseOutputFolder);
    connect(m_defaultOutput, &QPushButton::clicked, this, &SettingsDialog::useDefaultOutputFolder);
}

Settings SettingsDialog::chosen() const
{
    Settings settings;
    settings.pipeline = m_onePass->isChecked() ? Settings::Pipeline::OnePass : Settings::Pipeline::TwoSteps;
    settings.rowsAtOnce = m_rowsAtOnce->value();
    settings.picture = m_stretch->isChecked() ? Settings::Picture::Stretch : Settings::Picture::KeepShape;
    settings.outputFolder = m_outputFolder;
    settings.format = Format(m_format->currentData().toInt());
    return settings;
}

void SettingsDialog::chooseOutputFolder()
{
    const QString start = m_outputFolder.isEmpty() ? m_defaultOutputFolder : m_outputFolder;
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Output folder"), start);
    if (folder.isEmpty())
        return;
    // The file dialog offers folders that exist, but not only ones that can
    // be written, and a folder can go while the dialog is open.
    const QString problem = outputFolderProblem(folder);
    if (!problem.isEmpty()) {
        m_outputProblem->setText(
            tr("%1 %2; the output folder stays as it was.").arg(QDir::toNativeSeparators(folder), problem));
        m_outputProblem->show();
        return;
    }
    setOutputFolder(absolutePath(folder) == absolutePath(m_defaultOutputFolder) ? QString() : folder);
}

void SettingsDialog::useDefaultOutputFolder()
{
    setOutputFolder(QString());
}

void SettingsDialog::setOutputFolder(const QString &folder)
{
    m_outputFolder = folder;
    m_outputFolderEdit->setText(QDir::toNativeSeparators(folder.isEmpty() ? m_defaultOutputFolder : folder));
    m_defaultOutput->setEnabled(!folder.isEmpty());
    m_outputProblem->hide();
}

void SettingsDialog::offerWhenDone(const BatchEnd &batchEnd)
{
    using WhenDone = BatchEnd::WhenDone;
    auto *model = qobject_cast<QStandardItemModel *>(m_whenDone->model());
    for (const WhenDone choice : { WhenDone::Nothing, WhenDone::Close, WhenDone::Suspend, WhenDone::PowerOff }) {
        const QString why = batchEnd.whyNot(choice);
        m_whenDone->addItem(why.isEmpty() ? BatchEnd::nameOf(choice) : tr("%1 (%2)").arg(BatchEnd::nameOf(choice), why),
                            int(choice));
        if (!why.isEmpty() && model)
            model->item(m_whenDone->count() - 1)->setEnabled(false);
    }
    m_whenDone->setCurrentIndex(m_whenDone->findData(int(batchEnd.whenDone())));
}

BatchEnd::WhenDone SettingsDialog::whenDone() const
{
    return BatchEnd::WhenDone(m_whenDone->currentData().toInt());
}
