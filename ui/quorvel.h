#pragma once

#include "ui_quorvel.h"

#include <QFuture>
#include <QString>
#include <QWidget>

class GuiRequests;

#include <atomic>
#include <optional>

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
    // Delete: removes the current row.
    void deleteCurrentVideo();
    // Shows a status text in the row's status cell.
    void updateConvertStatus(int rowNum, QString statusStr);
    // Convert: starts a batch over all rows, unless one runs already.
    void startConvert();
    // The batch itself; runs on a thread of the global pool.
    void convertAllVideos();

    bool isBatchRunning() const { return isConverting.load(); }

signals:
    // A row's status changed; emitted by the batch on its own thread.
    void signalUpdateConvertStatus(int rowNum, QString statusStr);

private:
    template <typename Result, typename Read>
    std::optional<Result> askGuiThread(Read read);

    std::atomic_bool isConverting { false };
    Ui::QuorvelClass ui;

    GuiRequests *m_guiRequests = nullptr;
    std::atomic_bool m_stopRequested { false };
    QFuture<void> m_batch;
};
