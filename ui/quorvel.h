// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stop.h"
#include "ui_quorvel.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QList>
#include <QPersistentModelIndex>
#include <QString>
#include <QUrl>
#include <QVector>
#include <QWidget>

#include <atomic>
#include <optional>

struct BatchRow;
struct ConversionResult;

// The program's window and the controller behind it: the job table, the
// resolution choice and the buttons, and the batch that converts the table's
// rows on a pool thread while the window stays live.
class Quorvel : public QWidget
{
    Q_OBJECT

public:
    explicit Quorvel(QWidget *parent = nullptr);
    // Ends a running batch first (its tool is stopped and reaped), so that the
    // batch never touches a destroyed window.
    ~Quorvel() override;

    // Add: rows for the files chosen in a multi-file dialog.
    void addVideoFiles();
    // Delete: removes the current row; when the batch is converting it, its
    // tool is stopped and the batch goes on with the next row.
    void deleteCurrentVideo();
    // Shows a status text in the row's status cell.
    void updateConvertStatus(int rowNum, QString statusStr);
    // Convert: starts a batch over all rows, unless one runs already.
    void startConvert();
    // Stop (and Esc): ends a running batch; the row being converted reads
    // "Stopped" and what it wrote is removed. Nothing when idle.
    void stopConvert();
    // Rows for dropped files, as Add makes them; a folder adds the video files
    // in it and its subfolders.
    void addDroppedFiles(const QList<QUrl> &urls);
    // The batch itself; runs on a thread of the global pool.
    void convertAllVideos();

    bool isBatchRunning() const { return isConverting.load(); }

signals:
    // A row's status changed. Emitted on the GUI thread as the status is
    // shown, with the row's index in the table at that moment.
    void signalUpdateConvertStatus(int rowNum, QString statusStr);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void showRowMenu(const QPoint &position);

    template <typename Work>
    void postToGuiThread(Work work);
    template <typename Result, typename Read>
    std::optional<Result> askGuiThread(Read read);

    // GUI thread: the batch's side of the table.
    int takeBatchRows();
    std::optional<BatchRow> selectBatchRow(int batchRow);
    int tableRowOf(int batchRow) const;
    void showBatchProgress(int batchRow, int percent);
    void finishBatchRow(int batchRow, const ConversionResult &result);
    void showBatchInTitle();
    void endBatch();

    std::atomic_bool isConverting { false };
    Ui::QuorvelClass ui;

    // Three levels of one stop: the window closing ends everything and every
    // wait for the GUI thread; Stop ends the batch; deleting the running row
    // ends that row.
    Stop m_closing;
    Stop m_batchStop { m_closing };
    Stop m_rowStop { m_batchStop };
    QFuture<void> m_batch;
    // The batch's rows, each followed wherever it moves; invalid once deleted.
    // Touched on the GUI thread only.
    QList<QPersistentModelIndex> m_batchRows;
    QVector<QString> m_batchSources; // as each row was read when the batch reached it
    int m_runningBatchRow = -1;
    QVector<int> m_batchProgress; // per batch row, 0 to 100
    QElapsedTimer m_rowClock; // since the running row was selected
    QString m_idleTitle;
};
