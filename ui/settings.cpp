// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings.h"

#include <QDebug>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>
#include <QThread>
#include <QVariant>

#include <algorithm>
#include <utility>

namespace {

const QString pipelineKey = QStringLiteral("pipeline");
const QString rowsAtOnceKey = QStringLiteral("rowsAtOnce");
const QString pictureKey = QStringLiteral("picture");
const QString outputFolderKey = QStringLiteral("outputFolder");

// The words stored for each choice; the first is the default.
const std::pair<Settings::Pipeline, const char *> pipelineWords[] = {
    { Settings::Pipeline::TwoSteps, "two-steps" },
    { Settings::Pipeline::OnePass, "one-pass" },
};
const std::pair<Settings::Picture, const char *> pictureWords[] = {
    { Settings::Picture::KeepShape, "keep-shape" },
    { Settings::Picture::Stretch, "stretch" },
};

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

template <typename Choice, std::size_t count>
Choice loadWord(QSettings &store, const QString &key, const std::pair<Choice, const char *> (&words)[count])
{
    if (!store.contains(key))
        return words[0].first;
    const QString text = storedText(store.value(key));
    QStringList known;
    for (const auto &[choice, word] : words) {
        if (text == QLatin1String(word))
            return choice;
        known << QLatin1String(word);
    }
    warnFallback(key, text, QStringLiteral("is not one of ") + known.join(QStringLiteral(", ")),
                 QLatin1String(words[0].second));
    return words[0].first;
}

template <typename Choice, std::size_t count>
QString wordOf(Choice choice, const std::pair<Choice, const char *> (&words)[count])
{
    const auto found = std::find_if(std::begin(words), std::end(words),
                                    [choice](const auto &entry) { return entry.first == choice; });
    return QLatin1String(found == std::end(words) ? words[0].second : found->second);
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

Settings loadSettings(QSettings &store)
{
    Settings settings;
    if (store.status() != QSettings::NoError) {
        // What QSettings made of a damaged file is a guess; none of it is used.
        qWarning().noquote()
            << QStringLiteral("Settings: %1 %2; using the defaults").arg(store.fileName(), statusText(store.status()));
        return settings;
    }

    settings.pipeline = loadWord(store, pipelineKey, pipelineWords);
    settings.picture = loadWord(store, pictureKey, pictureWords);

    if (store.contains(rowsAtOnceKey)) {
        const QString text = storedText(store.value(rowsAtOnceKey));
        bool isNumber = false;
        const int rows = text.toInt(&isNumber);
        if (isNumber && rows >= 1 && rows <= maxRowsAtOnce())
            settings.rowsAtOnce = rows;
        else
            warnFallback(rowsAtOnceKey, text, QStringLiteral("is not a number from 1 to %1").arg(maxRowsAtOnce()),
                         QString::number(settings.rowsAtOnce));
    }

    if (store.contains(outputFolderKey)) {
        const QString folder = storedText(store.value(outputFolderKey));
        const QString problem = outputFolderProblem(folder);
        if (problem.isEmpty())
            settings.outputFolder = folder;
        else
            warnFallback(outputFolderKey, folder, problem, QStringLiteral("the default"));
    }
    return settings;
}

void saveSettings(QSettings &store, const Settings &settings)
{
    store.setValue(pipelineKey, wordOf(settings.pipeline, pipelineWords));
    store.setValue(rowsAtOnceKey, QString::number(settings.rowsAtOnce));
    store.setValue(pictureKey, wordOf(settings.picture, pictureWords));
    store.setValue(outputFolderKey, settings.outputFolder);
    store.sync();
    if (store.status() == QSettings::AccessError) {
        const QString warning = QStringLiteral(
            "Settings: %1 cannot be written; the choices last until the program ends");
        qWarning().noquote() << warning.arg(store.fileName());
    }
}

QString outputFolderProblem(const QString &folder)
{
    if (folder.isEmpty())
        return QString();
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("does not exist");
    if (!info.isDir())
        return QStringLiteral("is not a folder");
    // Permission bits do not tell: root passes them everywhere, and a
    // read-only mount or /proc refuses anyone. Making a file does tell.
    QTemporaryFile probe(info.absoluteFilePath() + QStringLiteral("/.quorvel-XXXXXX"));
    if (!probe.open())
        return QStringLiteral("cannot be written");
    return QString();
}
