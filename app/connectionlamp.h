// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "app/clickable.h"
#include "session/runoutput.h"

#include <QObject>

namespace korvane {

// FRM_Winsock for an output over the network: red while the output is open (datagrams, or a
// connection that is up), amber while a connection is being made or waits to be tried again; its
// tooltip says which, and why. It lives as long as the lamp it colours.
class ConnectionLamp final : public QObject
{
    Q_OBJECT

public:
    explicit ConnectionLamp(StatusLamp* lamp);

    // Shows a network output and follows it from now on.
    void showOutput(const RunOutput& output);

private:
    void showStatus();

    StatusLamp* m_lamp;
    const RunOutput* m_output = nullptr;
};

} // namespace korvane
