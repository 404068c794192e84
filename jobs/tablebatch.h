// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "batchclock.h"
#include "conversion.h"
#include "pause.h"
#include "plan.h"
#include "stop.h"

#include <QFuture>
#include <QObject>
#include <QPersistentModelIndex>
#include <QString>
#include <QVector>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

class QAbstractItemModel;
class Runner;

// A batch over the job table's rows: which rows it converts, and handing
// them to the runner's workers. What each row's run comes to goes into the
// row (RowResults); the window makes its texts from there.
//
// It takes the rows as they stand when it starts and follows each of them
// wherever a Delete moves it. A row is planned when its turn comes, from its
// text and the size chosen at that moment; a row deleted before its turn is
// skipped, and a running row that is deleted is stopped.
//
// The runner never waits for the GUI thread: what it reads (each row's
// text, whether it is gone, the size) the GUI thread keeps up to date under
// a lock, and what it reports comes over as queued calls that it does not
// wait for. Everything else here runs on the GUI thread.
class TableBatch : public QObject
{
    Q_OBJECT

public:
    // `model` is the job table's; `stop` (the window's closing) ends every
    // batch.
    TableBatch(QAbstractItemModel *model, Stop &stop);
    // Ends a running batch and waits for it: its tools are stopped and reaped.
    ~TableBatch() override;

    // Starts a batch over the rows now in the table, on the global thread
    // pool. `workers` rows convert at once, each worker pausing for `pause`
    // after each two-step row. The output folder is made, if need be, and
    // checked on the pool: one that cannot take results fails every row.
    void start(const PlanSettings &settings, int workers, std::chrono::milliseconds pause);
    // From start() until ended() is emitted.
    bool isRunning() const { return m_runner != nullptr; }
    // Ends the running batch: running rows read "Stopped", rows not reached
    // keep their status. Any thread.
    void stop() { m_batchStop.request(); }
    // The scale for the rows that start from now on.
    void setScale(const QString &scale);
    // Holds the running batch: its tools stopped, no row started; and lets
    // it go on. Nothing between batches.
    void setPaused(bool paused);
    bool isPaused() const { return m_pause.isPaused(); }

signals:
    // A row's run reached a stage, or a step's outcome; `row` is its index
    // in the table now.
    void statusChanged(int row, Stage stage);
    // A row's conversion starts.
    void rowStarted(int row);
    // Rows ended (skipped and deleted ones included) of all the batch's
    // rows, the batch's share done, and its time left (-1 while there is no
    // estimate); `total` is 0 between batches.
    void progressChanged(int ended, int total, int percent, qint64 leftMs, bool paused);
    // The batch has ended and every report of it has been shown: of its
    // `total` rows, `converted` succeeded and `failed` failed; `stopped`
    // when it was stopped.
    void ended(int converted, int failed, int total, bool stopped);

private:
    struct SharedRow {
        QString source;
        bool gone = false;
    };

    // Worker threads. run() is the whole batch, on a pool thread.
    void run();
    std::optional<Job> next();
    bool more();

    // GUI thread.
    int rowOf(int number) const;
    void followRemovals();
    void followEdits(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    void rowStart(int number);
    void rowStatus(int number, Stage stage);
    void showProgress(int number, int percent);
    void finish(const Job &job, const ConversionResult &result);
    void showBatchProgress();

    QAbstractItemModel *m_model;
    Stop m_batchStop;
    Pause m_pause;
    std::unique_ptr<Runner> m_runner;
    QFuture<void> m_run;
    std::atomic_bool m_runEnded { true };

    // Read by the workers, written by the GUI thread.
    std::mutex m_mutex;
    QVector<SharedRow> m_shared;
    PlanSettings m_settings;

    // The workers' own, one at a time.
    std::unique_ptr<Plan> m_plan;
    int m_next = 0;

    // The GUI thread's own.
    QVector<QPersistentModelIndex> m_rows;
    QVector<bool> m_done; // ended, skipped or deleted
    BatchClock m_clock;
    int m_converted = 0;
    int m_failed = 0;
    bool m_begun = false; // the title follows the batch from its first row on
};
