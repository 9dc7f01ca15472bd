// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/outputdrain.h"

#include <algorithm>

namespace korvane {

OutputDrain::OutputDrain(DrainableOutput& output, Times times) : m_output(output), m_times(times)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &OutputDrain::check);
    connect(&m_output, &DrainableOutput::statusChanged, this, [this] {
        if (active()) {
            check();
        }
    });
}

void OutputDrain::start(Leave leave)
{
    m_leave = leave;
    m_end = {};
    m_why.clear();
    m_phase = Phase::Draining;
    m_deadline = QDeadlineTimer(m_times.drain, Qt::PreciseTimer);
    arm(m_deadline);
    QMetaObject::invokeMethod(this, &OutputDrain::check, Qt::QueuedConnection);
}

void OutputDrain::hurry()
{
    if (m_graceEnds.isForever()) {
        m_graceEnds = QDeadlineTimer(m_times.grace, Qt::PreciseTimer);
    }
    if (active()) {
        arm(m_deadline);
    }
}

void OutputDrain::endNow()
{
    if (active()) {
        done();
    }
}

bool OutputDrain::overdue(const QDeadlineTimer& deadline) const
{
    return deadline.hasExpired() || m_graceEnds.hasExpired();
}

void OutputDrain::arm(const QDeadlineTimer& deadline)
{
    const QDeadlineTimer first = std::min(deadline, m_graceEnds);
    m_timer.start(std::chrono::milliseconds(std::max<qint64>(0, first.remainingTime())));
}

void OutputDrain::check()
{
    const SinkStatus status = m_output.status();
    switch (m_phase) {
    case Phase::Idle:
        return;
    case Phase::Draining:
        if (status.state == SinkStatus::State::Failed) {
            done();
        } else if (status.queued == 0 || overdue(m_deadline)) {
            if (m_leave == Leave::GiveUp) {
                giveUp();
            } else {
                done();
            }
        }
        return;
    case Phase::Closing:
        // Asked again, finish() says whether every connection has closed by now.
        if (status.state == SinkStatus::State::Failed || m_output.finish() || overdue(m_deadline)) {
            done();
        }
        return;
    }
}

QString OutputDrain::whyLeft(const SinkStatus& status) const
{
    if (status.state != SinkStatus::State::Open && !status.problem.empty()) {
        return QString::fromStdString(status.problem);
    }
    if (!m_graceEnds.isForever()) {
        return QStringLiteral("the run was ended by a signal before they went out");
    }
    return QStringLiteral("the receiver did not take them within %1 s")
        .arg(std::chrono::duration<double>(m_times.drain).count());
}

void OutputDrain::giveUp()
{
    // Why lines are left is read now: once closed, the connection is down by choice.
    m_why = whyLeft(m_output.status());
    m_undeliveredBefore = m_output.counts().undelivered;
    m_phase = Phase::Closing;
    if (m_output.finish()) {
        done();
        return;
    }
    m_deadline = QDeadlineTimer(m_times.closing, Qt::PreciseTimer);
    arm(m_deadline);
}

void OutputDrain::done()
{
    m_timer.stop();
    const SinkStatus status = m_output.status();
    if (status.state == SinkStatus::State::Failed) {
        m_end.failure = status.problem;
    }
    if (m_leave == Leave::GiveUp && m_end.failure.empty()) {
        const std::int64_t left = m_output.counts().undelivered - m_undeliveredBefore;
        if (left > 0) {
            m_end.notDelivered =
                QStringLiteral("%1 lines not delivered to %2: %3").arg(left).arg(m_output.name(), m_why).toStdString();
        }
    }
    m_phase = Phase::Idle;
    emit ended();
}

} // namespace korvane
