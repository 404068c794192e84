// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "batchend.h"
#include "settings.h"

#include <QDialog>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

// The Setting button's dialog: how rows are converted, how many at once, how
// the picture fits, and where results go. The caller reads chosen() after
// exec() returns Accepted and keeps what it had otherwise.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    // `defaultOutputFolder` is the folder shown while `current` has none of
    // its own. `readOnly` (a batch is running) shows the choices without
    // letting them change, since the running batch keeps its own.
    SettingsDialog(const Settings &current, const QString &defaultOutputFolder, bool readOnly,
                   QWidget *parent = nullptr);

    Settings chosen() const;

    // "When done" for this session, offered also while a batch runs: each
    // choice the machine does not allow is shown disabled, with the reason.
    void offerWhenDone(const BatchEnd &batchEnd);
    BatchEnd::WhenDone whenDone() const;

private:
    void chooseOutputFolder();
    void useDefaultOutputFolder();
    void setOutputFolder(const QString &folder);

    QString m_defaultOutputFolder;
    QString m_outputFolder; // empty: the default
    QComboBox *m_format = nullptr;
    QRadioButton *m_twoSteps = nullptr;
    QRadioButton *m_onePass = nullptr;
    QSpinBox *m_rowsAtOnce = nullptr;
    QRadioButton *m_keepShape = nullptr;
    QRadioButton *m_stretch = nullptr;
    QLineEdit *m_outputFolderEdit = nullptr;
    QPushButton *m_defaultOutput = nullptr;
    QLabel *m_outputProblem = nullptr;
    QComboBox *m_whenDone = nullptr;
};
