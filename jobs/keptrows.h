// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "conversion.h"

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class QTableWidget;

// The job list outlives the window. The rows not yet converted (waiting,
// failed, stopped, or converting when the program ended) are kept in a file
// of the user's data folder, written whole (QSaveFile) within a second of a
// change, many changes at once, on a thread of its own; the GUI thread only
// takes a snapshot. Rows that succeeded are not kept.
//
// Each window keeps its own file, named for this machine and process and
// held by a lock file while the window lives, so that windows running at
// once never write over each other's rows. A starting window takes over the
// files of windows that have ended (closed, crashed, killed): their rows
// come back there, once, each with its status and reason; a row that was
// converting comes back not converted. A running window's rows stay its own.
class KeptRows : public QObject
{
    Q_OBJECT

public:
    // ~/.local/share/Quorvel on Linux.
    static QString defaultFolder();

    explicit KeptRows(QTableWidget *table, const QString &folder = defaultFolder());
    // Writes what is still pending, after any write under way.
    ~KeptRows() override;

    // This window's file.
    QString file() const { return m_file; }

    // Shows the rows of the windows that have ended in the table, with
    // `folderText` as their TargetPath, and makes them this window's. A file that cannot be read or is not a list is set
    // aside under a free name (<file>.bad, <file>.bad.2, ...), with a
    // warning that says what happened to it.
    void restore(const QString &folderText);

    // A row worth keeping, as the file holds it.
    struct Row {
        QString source;
        Stage stage = Stage::Waiting; // Waiting, Failed or Stopped
        QString reason;
    };
    // The rows worth keeping, taken on the GUI thread: copies of their
    // sources, stages and reasons, nothing more, so that the GUI thread's
    // part stays small.
    static std::vector<Row> collect(const QTableWidget *table);
    // The file's text for them; empty when there are none.
    static QByteArray serialize(const std::vector<Row> &rows);
    static QByteArray snapshot(const QTableWidget *table) { return serialize(collect(table)); }
    // Shows kept rows in a table; false when `data` is not such a list, or
    // one of a version this build does not know.
    static bool show(QTableWidget *table, const QByteArray &data, const QString &folderText);

private:
    // What the writer's thread writes next: the rows, and the ended
    // windows' files (with their locks) that go once the rows are written.
    struct Pending {
        std::vector<Row> rows;
        QStringList adopted;
        std::vector<std::unique_ptr<QLockFile>> locks;
    };

    void changed();
    void writeSoon();
    void startWriting(Pending pending);


    QTableWidget *m_table;
    const QString m_folder;
    const QString m_file;
    QLockFile m_alive; // held while this window lives: its rows are not to be taken
    QTimer m_delay;
    std::thread m_writer;
    std::atomic_bool m_writing { false };
};
