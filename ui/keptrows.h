// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFuture>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <vector>

class QTableWidget;

// The job list outlives the window. The rows not yet converted (waiting,
// failed, stopped, or converting when the program ended) are kept in a file
// of the user's data folder, written whole (QSaveFile) within a second of a
// change, many changes at once, on a thread of its own; the GUI thread only
// takes a snapshot. They come back at the next start, each with its status
// and reason; a row that was converting comes back not converted. Rows that
// succeeded are not kept.
class KeptRows : public QObject
{
    Q_OBJECT

public:
    // ~/.local/share/Quorvel/rows.json on Linux.
    static QString defaultFile();

    explicit KeptRows(QTableWidget *table, const QString &file = defaultFile());
    // Writes what is still pending, after any write under way.
    ~KeptRows() override;

    // Shows the kept rows in the table. A file that cannot be read or is not
    // a list is set aside as <file>.bad, with a warning naming it.
    void restore();

    // A row worth keeping, as the file holds it.
    struct Row {
        QString source;
        QString folder;
        QString status; // empty while it waits
        QString reason;
    };
    // The rows worth keeping, taken on the GUI thread: copies of the table's
    // texts, nothing more, so that the GUI thread's part stays small.
    static std::vector<Row> collect(const QTableWidget *table);
    // The file's text for them; empty when there are none.
    static QByteArray serialize(const std::vector<Row> &rows);
    static QByteArray snapshot(const QTableWidget *table) { return serialize(collect(table)); }
    // Shows kept rows in a table; false when `data` is not such a list.
    static bool show(QTableWidget *table, const QByteArray &data);

private:
    void changed();
    void writeSoon();

    QTableWidget *m_table;
    const QString m_file;
    QTimer m_delay;
    QThreadPool m_writer;
    QFuture<void> m_writing;
};
