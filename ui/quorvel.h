// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings.h"
#include "stop.h"
#include "tablebatch.h"
#include "ui_quorvel.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <QWidget>

class BatchEnd;
class QPushButton;
class QTableWidget;

#include <memory>

// The program's window and the controller behind it: the job table, the
// resolution choice and the buttons, wired to the batch that converts the
// table's rows on the thread pool while the window stays live.
class Quorvel : public QWidget
{
    Q_OBJECT

public:
    explicit Quorvel(QWidget *parent = nullptr);
    // Ends a running batch first (its tools are stopped and reaped).
    ~Quorvel() override;

    // Add: rows for the files chosen in a multi-file dialog.
    void addVideoFiles();
    // Delete: removes the current row; when the batch is converting it, its
    // tool is stopped and the batch goes on with the next row.
    void deleteCurrentVideo();
    // Shows a status text in the status cell of a row that no batch has
    // reached; a batch's rows show what their own data says.
    void updateConvertStatus(int rowNum, QString statusStr);
    // Convert: starts a batch over all rows, unless one runs already.
    void startConvert();
    // Stop (and Esc): ends a running batch; the row being converted reads
    // "Stopped" and what it wrote is removed. Nothing when idle.
    void stopConvert();
    // Pause and Resume (and Ctrl+P): holds the running batch, or lets it go
    // on. Nothing when idle.
    void togglePause();
    bool isBatchPaused() const { return m_batch->isPaused(); }
    // Rows for dropped files, as Add makes them; a folder adds the video files
    // in it and its subfolders.
    void addDroppedFiles(const QList<QUrl> &urls);

    bool isBatchRunning() const { return isConverting(); }

    // The job table, and the TargetPath text of its rows not yet converted.
    QTableWidget *jobTable() const { return ui.videoTableWidget; }
    QString folderText() const;

    // The choices of the Setting dialog, remembered across runs; they apply
    // from the next batch on.
    const Settings &settings() const { return m_settings; }
    void applySettings(const Settings &settings);

signals:
    // A row's status changed. Emitted on the GUI thread as the status is
    // shown, with the row's index in the table at that moment.
    void signalUpdateConvertStatus(int rowNum, QString statusStr);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void showRowMenu(const QPoint &position);
    void openSettings();
    QString chosenScale() const;
    // From Convert until the batch has ended and every report of it is shown.
    bool isConverting() const { return m_batch->isRunning(); }

    Ui::QuorvelClass ui;
    QString m_idleTitle;
    QPushButton *m_pauseBtn = nullptr;
    BatchEnd *m_batchEnd = nullptr;

    // Ends every batch when the window closes; declared before the batch,
    // which stops and waits for its run when it goes.
    Stop m_closing;
    std::unique_ptr<TableBatch> m_batch;
    Settings m_settings;
};
