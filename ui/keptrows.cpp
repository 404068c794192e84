// SPDX-License-Identifier: GPL-3.0-or-later
#include "keptrows.h"

#include "conversion.h"
#include "jobtable.h"
#include "rowtip.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtConcurrent>

namespace {

constexpr int writeDelayMs = 1000;

const QString ranOutText = QStringLiteral("Quorvel ended while it was converting");

QString textOf(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

// The stage a word names; Waiting for none.
Stage stageNamed(const QString &word)
{
    for (const Stage stage :
         { Stage::PreProcessing, Stage::Converting, Stage::Succeeded, Stage::Failed, Stage::Stopped, Stage::Skipped }) {
        if (stageText(stage) == word)
            return stage;
    }
    return Stage::Waiting;
}

void write(const QString &file, const std::vector<KeptRows::Row> &rows)
{
    const QByteArray data = KeptRows::serialize(rows);
    if (data.isEmpty()) {
        QFile::remove(file); // nothing left to do: the window starts empty
        return;
    }
    QDir().mkpath(QFileInfo(file).path());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit())
        qWarning().noquote() << QStringLiteral("cannot keep the job list in %1: %2").arg(file, out.errorString());
}

} // namespace

QString KeptRows::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quorvel/rows.json");
}

KeptRows::KeptRows(QTableWidget *table, const QString &file)
    : m_table(table)
    , m_file(file)
{
    m_writer.setMaxThreadCount(1);
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

KeptRows::~KeptRows()
{
    m_writing.waitForFinished();
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
    if (m_writing.isRunning()) {
        m_delay.start(); // the next snapshot once this write is done
        return;
    }
    m_writing = QtConcurrent::run(&m_writer, write, m_file, collect(m_table));
}

void KeptRows::restore()
{
    QFile file(m_file);
    if (!file.exists())
        return;
    const bool readable = file.open(QIODevice::ReadOnly);
    if (readable && show(m_table, file.readAll()))
        return;
    file.close();
    const QString aside = m_file + QStringLiteral(".bad");
    QFile::remove(aside);
    QFile::rename(m_file, aside);
    qWarning().noquote() << QStringLiteral("the job list %1 %2; set aside as %3")
                                .arg(m_file, readable ? QStringLiteral("is damaged") : QStringLiteral("cannot be read"),
                                     aside);
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
        if (kept == Stage::PreProcessing || kept == Stage::Converting || (kept == Stage::Waiting && stage.isValid())) {
            kept = Stage::Failed;
            reason = ranOutText;
        }
        rows.push_back(Row { textOf(table, row, JobTable::FileName), textOf(table, row, JobTable::TargetPath),
                             stageText(kept), reason });
    }
    return rows;
}

QByteArray KeptRows::serialize(const std::vector<Row> &rows)
{
    if (rows.empty())
        return QByteArray();
    QJsonArray entries;
    for (const Row &row : rows) {
        QJsonObject entry { { QStringLiteral("source"), row.source }, { QStringLiteral("folder"), row.folder } };
        if (!row.status.isEmpty())
            entry.insert(QStringLiteral("status"), row.status);
        if (!row.reason.isEmpty())
            entry.insert(QStringLiteral("reason"), row.reason);
        entries.append(entry);
    }
    return QJsonDocument(QJsonObject { { QStringLiteral("quorvelRows"), 1 }, { QStringLiteral("rows"), entries } })
        .toJson(QJsonDocument::Compact);
}

bool KeptRows::show(QTableWidget *table, const QByteArray &data)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isObject() || document.object().value(QStringLiteral("quorvelRows")).toInt() != 1
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
        JobTable::appendRows(table, { entry.value(QStringLiteral("source")).toString() },
                             entry.value(QStringLiteral("folder")).toString(JobTable::defaultFolderText()));
        const Stage stage = stageNamed(entry.value(QStringLiteral("status")).toString());
        if (stage == Stage::Waiting)
            continue;
        JobTable::setStatus(table, row, stageText(stage));
        QTableWidgetItem *status = table->item(row, JobTable::ProcessStatus);
        status->setData(JobTable::StageRole, int(stage));
        status->setData(JobTable::ReasonRole, entry.value(QStringLiteral("reason")).toString());
        status->setToolTip(rowTip(*status));
    }
    return true;
}
