// SPDX-License-Identifier: GPL-3.0-or-later
#include "keptrows.h"

#include "conversion.h"
#include "jobtable.h"
#include "names.h"
#include "rowresults.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTableWidget>

#include <memory>

namespace {

constexpr int writeDelayMs = 1000;

const QString ranOutText = QStringLiteral("Quorvel ended while it was converting");

// The file's version, and the stable keys of the stages a kept row can
// have; a waiting row has none.
constexpr int fileVersion = 2;
constexpr struct {
    Stage stage;
    const char *key;
} stageKeys[] = { { Stage::Failed, "failed" }, { Stage::Stopped, "stopped" } };

QString keyOf(Stage stage)
{
    for (const auto &each : stageKeys) {
        if (each.stage == stage)
            return QString::fromLatin1(each.key);
    }
    return QString();
}

Stage stageOf(const QString &key)
{
    for (const auto &each : stageKeys) {
        if (key == QLatin1String(each.key))
            return each.stage;
    }
    return Stage::Waiting;
}

// Writes the rows whole, or removes the file when there are none; false
// when the rows could not be kept.
bool write(const QString &file, const std::vector<KeptRows::Row> &rows)
{
    const QByteArray data = KeptRows::serialize(rows);
    if (data.isEmpty()) {
        QFile::remove(file); // nothing left to do: the window starts empty
        return !QFile::exists(file);
    }
    QDir().mkpath(QFileInfo(file).path());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit()) {
        qWarning().noquote() << QStringLiteral("cannot keep the job list in %1: %2").arg(file, out.errorString());
        return false;
    }
    return true;
}

// The lock file that a window holds while `rowFile` is its own.
QString lockFor(const QString &rowFile)
{
    return rowFile.left(rowFile.size() - int(sizeof ".json") + 1) + QStringLiteral(".lock");
}

// A lock that only an ended process's lock gives way to, however old.
std::unique_ptr<QLockFile> lockOf(const QString &rowFile)
{
    auto lock = std::make_unique<QLockFile>(lockFor(rowFile));
    lock->setStaleLockTime(0);
    return lock;
}

// Moves a list that cannot be shown out of the way, under a name nothing
// holds yet, and says what became of it.
void setAside(const QString &file, bool readable)
{
    QString aside = file + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = file + QStringLiteral(".bad.%1").arg(n);
    const QString problem = readable ? QStringLiteral("is damaged") : QStringLiteral("cannot be read");
    if (QFile::rename(file, aside))
        qWarning().noquote() << QStringLiteral("the job list %1 %2; set aside as %3").arg(file, problem, aside);
    else
        qWarning().noquote() << QStringLiteral("the job list %1 %2, and could not be set aside as %3")
                                    .arg(file, problem, aside);
}

} // namespace

QString KeptRows::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quorvel");
}

KeptRows::KeptRows(QTableWidget *table, const QString &folder)
    : m_table(table)
    , m_folder(folder)
    , m_file(QStringLiteral("%1/rows-%2.json").arg(folder, processTag()))
    , m_alive(lockFor(m_file))
{
    QDir().mkpath(m_folder);
    m_alive.setStaleLockTime(0);
    if (!m_alive.tryLock(0))
        qWarning().noquote() << QStringLiteral("cannot hold %1: another window may take this window's rows")
                                    .arg(lockFor(m_file));
    m_delay.setSingleShot(true);
    m_delay.setInterval(writeDelayMs);
    connect(&m_delay, &QTimer::timeout, this, &KeptRows::writeSoon);
    QAbstractItemModel *model = table->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, &KeptRows::changed);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &KeptRows::changed);
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QVector<int> &roles) {
                // A row's progress and tooltip change ten times a second and
                // are not kept.
                for (const int role :
                     { int(Qt::DisplayRole), int(Qt::EditRole), JobTable::StageRole, JobTable::ReasonRole }) {
                    if (roles.isEmpty() || roles.contains(role)) {
                        changed();
                        return;
                    }
                }
            });
}

// The lock goes after the last write: from then on, the rows are for the
// next window that starts.
KeptRows::~KeptRows()
{
    if (m_writer.joinable())
        m_writer.join();
    if (m_delay.isActive())
        write(m_file, collect(m_table));
}

void KeptRows::changed()
{
    if (!m_delay.isActive())
        m_delay.start();
}

void KeptRows::writeSoon()
{
    if (m_writing.load()) {
        m_delay.start(); // the next snapshot once this write is done
        return;
    }
    startWriting(Pending { collect(m_table), {}, {} });
}

void KeptRows::restore(const QString &folderText)
{
    // Each list is taken under its window's lock, which holds while that
    // window lives and which only one starting window gets: no list is
    // shown twice, and none is taken from a running window. This window's
    // own name may have been an ended one's, whose process id it now has.
    std::vector<std::unique_ptr<QLockFile>> taken;
    QStringList adopted;
    const QStringList names = QDir(m_folder).entryList({ QStringLiteral("rows*.json") }, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const QString path = m_folder + QLatin1Char('/') + name;
        if (path != m_file) {
            std::unique_ptr<QLockFile> lock = lockOf(path);
            if (!lock->tryLock(0))
                continue;
            taken.push_back(std::move(lock));
        }
        QFile file(path);
        if (!file.exists())
            continue; // another window took it just before us
        const bool readable = file.open(QIODevice::ReadOnly);
        if (readable && show(m_table, file.readAll(), folderText)) {
            adopted << path;
            continue;
        }
        file.close();
        setAside(path, readable);
    }
    if (adopted.isEmpty())
        return;
    // The rows are this window's once its own file holds them; only then do
    // the ended windows' files go, and their locks with them. One ended
    // window's file (the usual case) simply takes this window's name.
    m_delay.stop();
    if (adopted.size() == 1 && adopted.first() != m_file && QFile::rename(adopted.first(), m_file))
        return;
    startWriting(Pending { collect(m_table), adopted, std::move(taken) });
}

// One write at a time, each on a thread of its own that takes the rows
// with it: starting and joining a thread order everything on both sides,
// as ThreadSanitizer sees too.
void KeptRows::startWriting(Pending pending)
{
    if (m_writer.joinable())
        m_writer.join(); // it has written, or is just ending
    m_writing.store(true);
    m_writer = std::thread([this, pending = std::move(pending)] {
        if (write(m_file, pending.rows)) {
            for (const QString &path : pending.adopted) {
                if (path != m_file)
                    QFile::remove(path);
            }
        }
        m_writing.store(false);
    });
}

std::vector<KeptRows::Row> KeptRows::collect(const QTableWidget *table)
{
    std::vector<Row> rows;
    rows.reserve(std::size_t(table->rowCount()));
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *status = table->item(row, JobTable::ProcessStatus);
        const QVariant stage = status ? status->data(JobTable::StageRole) : QVariant();
        Stage kept = stage.isValid() ? Stage(stage.toInt()) : Stage::Waiting;
        if (kept == Stage::Succeeded)
            continue;
        QString reason = status ? status->data(JobTable::ReasonRole).toString() : QString();
        if (kept == Stage::PreProcessing || kept == Stage::Converting) {
            kept = Stage::Failed;
            reason = ranOutText;
        }
        const QTableWidgetItem *source = table->item(row, JobTable::FileName);
        rows.push_back(Row { source ? source->text() : QString(), kept, reason });
    }
    return rows;
}

QByteArray KeptRows::serialize(const std::vector<Row> &rows)
{
    if (rows.empty())
        return QByteArray();
    QJsonArray entries;
    for (const Row &row : rows) {
        QJsonObject entry { { QStringLiteral("source"), row.source } };
        if (!keyOf(row.stage).isEmpty())
            entry.insert(QStringLiteral("stage"), keyOf(row.stage));
        if (!row.reason.isEmpty())
            entry.insert(QStringLiteral("reason"), row.reason);
        entries.append(entry);
    }
    return QJsonDocument(QJsonObject { { QStringLiteral("quorvelRows"), fileVersion }, { QStringLiteral("rows"), entries } })
        .toJson(QJsonDocument::Compact);
}

// Version 1 kept the status words themselves and each row's folder text:
// its rows come back with their reasons alone, a row with a reason as
// failed.
bool KeptRows::show(QTableWidget *table, const QByteArray &data, const QString &folderText)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    const int version = document.object().value(QStringLiteral("quorvelRows")).toInt();
    if (!document.isObject() || (version != 1 && version != fileVersion)
        || !document.object().value(QStringLiteral("rows")).isArray())
        return false;
    const QJsonArray rows = document.object().value(QStringLiteral("rows")).toArray();
    for (const QJsonValue &value : rows) {
        if (!value.isObject() || !value.toObject().value(QStringLiteral("source")).isString())
            return false;
    }
    for (const QJsonValue &value : rows) {
        const QJsonObject entry = value.toObject();
        const int row = table->rowCount();
        JobTable::appendRows(table, { entry.value(QStringLiteral("source")).toString() }, folderText);
        const QString reason = entry.value(QStringLiteral("reason")).toString();
        const Stage stage = version == 1 ? (reason.isEmpty() ? Stage::Waiting : Stage::Failed)
                                         : stageOf(entry.value(QStringLiteral("stage")).toString());
        if (stage == Stage::Waiting)
            continue;
        RowResults::restored(table->model(), row, stage, reason);
    }
    return true;
}
