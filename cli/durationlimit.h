// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

namespace korvane::cli {

// Says when a run has lasted as long as asked, however long that is: a timer's interval has a
// limit (about 24 days), so a long duration is served in steps against a deadline on the steady
// clock.
class DurationLimit final : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::hours kLongestStep{24};

    explicit DurationLimit(QObject* parent = nullptr);

    // Starts counting `duration` from now.
    void start(std::chrono::duration<double> duration);
    // The longest single wait; kLongestStep unless a test asks for less.
    void setLongestStep(std::chrono::milliseconds step) { m_longestStep = step; }

signals:
    void reached();

private:
    void waitOn();

    QTimer m_timer;
    std::chrono::steady_clock::time_point m_deadline;
    std::chrono::milliseconds m_longestStep = kLongestStep;
};

} // namespace korvane::cli
