// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QTimer>

#include <chrono>
#include <functional>
#include <utility>

namespace korvane {

// The alarm a run driver schedules its wake-ups through: one wake-up pending at most, armed
// afresh for every wait (never for every line). A wake-up armed for 0 ms comes once the event
// loop has handled the events already queued.
class WakeUpTimer
{
public:
    virtual ~WakeUpTimer() = default;

    // Replaces any wake-up still pending.
    virtual void arm(std::chrono::milliseconds after) = 0;
    virtual void cancel() = 0;

    // Who is woken; set once, by the driver.
    void setWake(std::function<void()> wake) { m_wake = std::move(wake); }

protected:
    void wake()
    {
        if (m_wake) {
            m_wake();
        }
    }

private:
    std::function<void()> m_wake;
};

// The product's: a single-shot precise timer, so that a wait ends within the millisecond it was
// armed for rather than within the 5 % a coarse timer allows.
class PreciseWakeUpTimer final : public WakeUpTimer
{
public:
    PreciseWakeUpTimer()
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { wake(); });
    }

    void arm(std::chrono::milliseconds after) override { m_timer.start(after); }
    void cancel() override { m_timer.stop(); }

private:
    QTimer m_timer;
};

} // namespace korvane
