// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "app/clickable.h"
#include "platform/streamsink.h"
#include "settings/outputformat.h"

#include <QObject>

namespace korvane {

// FRM_Winsock for an output over the network: red for UDP. For TCP or TLS it is red while the
// connection is up, as for UDP, and amber while it is being made or waits to be tried again; its
// tooltip says which, and why. It lives as long as the lamp it colours.
class ConnectionLamp final : public QObject
{
    Q_OBJECT

public:
    explicit ConnectionLamp(StatusLamp* lamp);

    // Shows a network output; a TCP or TLS one is followed from now on.
    void showOutput(OutputKind output, const StreamSink& stream);

private:
    void showConnection();

    StatusLamp* m_lamp;
    const StreamSink* m_stream = nullptr;
};

} // namespace korvane
