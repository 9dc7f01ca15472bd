// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// A fresh working folder, made current for the life of the object, for the tests of everything
// that works in the current folder (start-up, the window, the session).

#include "settings/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <utility>
#include <vector>

namespace korvane::test {

// A fresh temporary folder holding the working folder "work" (made current for the life of
// the object) and, beside it, the single-copy lock, so that the working folder can be made
// read-only without touching the lock.
class WorkFolder
{
public:
    WorkFolder() : m_saved(QDir::currentPath())
    {
        QDir(m_root.path()).mkdir(QStringLiteral("work"));
        m_work = m_root.filePath(QStringLiteral("work"));
        QDir::setCurrent(m_work);
    }
    ~WorkFolder()
    {
        QFile::setPermissions(m_work, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir::setCurrent(m_saved);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    bool isValid() const { return m_root.isValid() && QDir::currentPath() == m_work; }
    QString lockPath() const { return m_root.filePath(QStringLiteral("korvane.lock")); }
    QString path(const QString& name) const { return m_work + QLatin1Char('/') + name; }

    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(bytes);
        }
    }
    QByteArray read(const QString& name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool exists(const QString& name) const { return QFileInfo::exists(path(name)); }

    // korvane.ini with section Settings holding the given keys, in that order.
    void writeSettings(const std::vector<std::pair<QByteArray, QByteArray>>& keys) const
    {
        QByteArray ini = "[Settings]\r\n";
        for (const auto& [key, value] : keys) {
            ini += key + '=' + value + "\r\n";
        }
        write(QStringLiteral("korvane.ini"), ini);
    }
    QString setting(const char* key) const
    {
        return QString::fromStdString(profileRead(read(QStringLiteral("korvane.ini")).toStdString(), "Settings", key));
    }

private:
    QString m_saved;
    QTemporaryDir m_root;
    QString m_work;
};

} // namespace korvane::test
