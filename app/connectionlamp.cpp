// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/connectionlamp.h"

namespace korvane {

namespace {

const QColor kLampNetwork(255, 0, 0);
const QColor kLampConnecting(255, 160, 0);

} // namespace

ConnectionLamp::ConnectionLamp(StatusLamp* lamp) : QObject(lamp), m_lamp(lamp) {}

void ConnectionLamp::showOutput(const RunOutput& output)
{
    m_output = &output;
    showStatus();
    connect(&output, &RunOutput::statusChanged, this, &ConnectionLamp::showStatus, Qt::UniqueConnection);
}

void ConnectionLamp::showStatus()
{
    const SinkStatus status = m_output->status();
    m_lamp->setColour(status.state == SinkStatus::State::Open ? kLampNetwork : kLampConnecting);
    m_lamp->setToolTip(QString::fromStdString(status.text));
}

} // namespace korvane
