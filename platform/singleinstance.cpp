// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/singleinstance.h"

#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

namespace korvane {

QString SingleInstanceLock::defaultLockPath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) {
        dir = QDir::tempPath();
    }
    // The user id keeps users of a shared temporary folder apart.
    return dir + QStringLiteral("/korvane-%1.lock").arg(static_cast<qulonglong>(::getuid()));
}

SingleInstanceLock::SingleInstanceLock(QString lockPath)
    : m_path(std::move(lockPath)), m_lock(std::make_unique<QLockFile>(m_path))
{
    // A live lock is never stale; only the lock of a dead process is taken over, which QLockFile
    // recognises by its process id at once.
    m_lock->setStaleLockTime(0);
}

SingleInstanceLock::~SingleInstanceLock() = default;

bool SingleInstanceLock::tryAcquire()
{
    if (m_held) {
        return true;
    }
    m_held = m_lock->tryLock(0);
    // Only a lock that another copy holds refuses the start. A lock that cannot be made at all
    // (its folder missing or read-only) says nothing about other copies, and refusing then would
    // keep the program from ever starting.
    return m_held || m_lock->error() != QLockFile::LockFailedError;
}

} // namespace korvane
