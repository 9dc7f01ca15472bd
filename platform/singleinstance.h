// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace korvane {

// Keeps a second copy of Korvane from running for the same user. The lock lives in the user's
// runtime folder (or the temporary folder); a lock left by a copy that was killed is taken over.
class SingleInstanceLock
{
public:
    // The per-user default place of the lock.
    static QString defaultLockPath();

    explicit SingleInstanceLock(QString lockPath = defaultLockPath());
    ~SingleInstanceLock();

    // False when another copy holds the lock. True when this process now holds it (or already
    // did), and also when no lock can be made in that place, as no other copy can be told then.
    [[nodiscard]] bool tryAcquire();
    bool isHeld() const { return m_held; }
    const QString& lockPath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    bool m_held = false;
};

} // namespace korvane
