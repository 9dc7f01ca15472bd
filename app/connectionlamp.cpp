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

void ConnectionLamp::showOutput(OutputKind output, const StreamSink& stream)
{
    m_lamp->setColour(kLampNetwork);
    if (output != OutputKind::Udp) {
        m_stream = &stream;
        showConnection();
        connect(&stream, &StreamSink::stateChanged, this, &ConnectionLamp::showConnection, Qt::UniqueConnection);
    }
}

void ConnectionLamp::showConnection()
{
    m_lamp->setColour(m_stream->isConnected() ? kLampNetwork : kLampConnecting);
    m_lamp->setToolTip(m_stream->stateText());
}

} // namespace korvane
