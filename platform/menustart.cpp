// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/menustart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace korvane {

namespace {

constexpr QLatin1String kFolderName("Korvane");
constexpr QLatin1String kSampleSubfolder("korvane");

bool holdsSamples(const QString& folder)
{
    return !folder.isEmpty() && QFileInfo(QDir(folder).filePath(QStringLiteral("SAMPLE.TXT"))).isFile();
}

} // namespace

QStringList menuStartFiles()
{
    return {QStringLiteral("SAMPLE.TXT"), QStringLiteral("KORVANE.TXT"), QStringLiteral("korvane.ini")};
}

QString menuStartFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(kFolderName);
}

QString findSampleFolder()
{
    const QString beside =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/") + kSampleSubfolder);
    if (holdsSamples(beside)) {
        return beside;
    }
    const QStringList found = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, kSampleSubfolder,
                                                        QStandardPaths::LocateDirectory);
    for (const QString& folder : found) {
        if (holdsSamples(folder)) {
            return folder;
        }
    }
    return {};
}

Result<QStringList> prepareMenuStartFolder(const QString& folder, const QString& samples)
{
    if (!QDir().mkpath(folder)) {
        return Failure{QStringLiteral("%1: the folder cannot be made").arg(folder).toStdString()};
    }
    QStringList copied;
    for (const QString& name : menuStartFiles()) {
        const QString target = QDir(folder).filePath(name);
        const QFileInfo existing(target);
        // A dangling link counts as a file of the user's: it is not written through either.
        if (existing.exists() || existing.isSymLink()) {
            continue;
        }
        const QString source = QDir(samples).filePath(name);
        if (samples.isEmpty() || !QFileInfo(source).isFile()) {
            continue;
        }
        QFile file(source);
        if (!file.copy(target)) {
            return Failure{QStringLiteral("%1: %2").arg(target, file.errorString()).toStdString()};
        }
        // The copy of a read-only sample must still take the repairs and the window position.
        QFile::setPermissions(target, QFile::permissions(target) | QFile::ReadOwner | QFile::WriteOwner);
        copied << name;
    }
    return copied;
}

} // namespace korvane
