// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings.h"

#include "outputfolder.h"

#include <QDebug>
#include <QSettings>
#include <QThread>
#include <QVariant>

#include <algorithm>
#include <utility>

namespace {

// The words stored for a choice of a few.
template <typename Value>
using Words = std::vector<std::pair<Value, const char *>>;

const Words<Settings::Pipeline> pipelineWords = {
    { Settings::Pipeline::TwoSteps, "two-steps" },
    { Settings::Pipeline::OnePass, "one-pass" },
};
const Words<Settings::Picture> pictureWords = {
    { Settings::Picture::KeepShape, "keep-shape" },
    { Settings::Picture::Stretch, "stretch" },
};
const Words<Format> formatWords = {
    { Format::Avi, "avi" },
    { Format::Amv, "amv" },
    { Format::Mp4, "mp4" },
};

template <typename Value>
QString readWord(const QString &text, const Words<Value> &words, Value &into)
{
    QStringList known;
    for (const auto &[value, word] : words) {
        if (text == QLatin1String(word)) {
            into = value;
            return QString();
        }
        known << QLatin1String(word);
    }
    return QStringLiteral("is not one of ") + known.join(QStringLiteral(", "));
}

template <typename Value>
QString wordOf(Value value, const Words<Value> &words)
{
    for (const auto &[known, word] : words) {
        if (known == value)
            return QLatin1String(word);
    }
    return QLatin1String(words.front().second);
}

QString readRows(const QString &text, Settings &into)
{
    bool isNumber = false;
    const int rows = text.toInt(&isNumber);
    if (!isNumber || rows < 1 || rows > maxRowsAtOnce())
        return QStringLiteral("is not a number from 1 to %1").arg(maxRowsAtOnce());
    into.rowsAtOnce = rows;
    return QString();
}

QString readFolder(const QString &text, Settings &into)
{
    const QString problem = outputFolderProblem(text);
    if (problem.isEmpty())
        into.outputFolder = text;
    return problem;
}

// A stored value as the person who edited the file wrote it. An unquoted
// comma makes QSettings read a list, and its @Type(...) forms other types.
QString storedText(const QVariant &value)
{
    if (value.type() == QVariant::StringList)
        return value.toStringList().join(QStringLiteral(", "));
    if (value.canConvert<QString>())
        return value.toString();
    QString text;
    QDebug(&text).nospace() << value;
    return text;
}

void warnFallback(const QString &key, const QString &value, const QString &why, const QString &fallback)
{
    qWarning().noquote() << QStringLiteral("Settings: %1 \"%2\" %3; using %4").arg(key, value, why, fallback);
}

QString statusText(QSettings::Status status)
{
    return status == QSettings::AccessError ? QStringLiteral("cannot be read") : QStringLiteral("is not well formed");
}

} // namespace

int maxRowsAtOnce()
{
    return std::max(1, QThread::idealThreadCount());
}

const std::vector<Choice> &choices()
{
    static const std::vector<Choice> table = {
        { "pipeline", [](const QString &text, Settings &into) { return readWord(text, pipelineWords, into.pipeline); },
          [](const Settings &from) { return wordOf(from.pipeline, pipelineWords); } },
        { "rowsAtOnce", readRows, [](const Settings &from) { return QString::number(from.rowsAtOnce); } },
        { "picture", [](const QString &text, Settings &into) { return readWord(text, pictureWords, into.picture); },
          [](const Settings &from) { return wordOf(from.picture, pictureWords); } },
        { "outputFolder", readFolder, [](const Settings &from) { return from.outputFolder; } },
        { "format", [](const QString &text, Settings &into) { return readWord(text, formatWords, into.format); },
          [](const Settings &from) { return wordOf(from.format, formatWords); } },
    };
    return table;
}

const Choice &choice(const char *key)
{
    const std::vector<Choice> &table = choices();
    const auto found = std::find_if(table.begin(), table.end(),
                                    [key](const Choice &row) { return qstrcmp(row.key, key) == 0; });
    Q_ASSERT(found != table.end());
    return *found;
}

Settings loadSettings(QSettings &store)
{
    Settings settings;
    if (store.status() != QSettings::NoError) {
        // What QSettings made of a damaged file is a guess; none of it is used.
        qWarning().noquote()
            << QStringLiteral("Settings: %1 %2; using the defaults").arg(store.fileName(), statusText(store.status()));
        return settings;
    }
    const Settings defaults;
    for (const Choice &row : choices()) {
        const QString key = QLatin1String(row.key);
        if (!store.contains(key))
            continue;
        const QString text = storedText(store.value(key));
        const QString problem = row.read(text, settings);
        if (!problem.isEmpty()) {
            const QString fallback = row.write(defaults);
            warnFallback(key, text, problem, fallback.isEmpty() ? QStringLiteral("the default") : fallback);
        }
    }
    return settings;
}

void saveSettings(QSettings &store, const Settings &settings)
{
    for (const Choice &row : choices())
        store.setValue(QLatin1String(row.key), row.write(settings));
    store.sync();
    if (store.status() == QSettings::AccessError) {
        const QString warning = QStringLiteral(
            "Settings: %1 cannot be written; the choices last until the program ends");
        qWarning().noquote() << warning.arg(store.fileName());
    }
}
