// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linesink.h"

#include <QObject>
#include <QString>

namespace korvane {

// Where a run's lines go, as the end-of-run drain and the front-ends see it, whether one sink
// (RunOutput) or the sinks of a fleet (FleetOutput).
class DrainableOutput : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~DrainableOutput() override;

    virtual SinkStatus status() const = 0;
    virtual DeliveryCounts counts() const = 0;
    // The front-end is done waiting: see LineSink::finish(). True once every sink is done.
    virtual bool finish() = 0;
    // What the lines go to, as failures name it: "GENERATE.TXT", "TCP 127.0.0.1:5516".
    virtual QString name() const = 0;

signals:
    // The status changed; also the counts, as far as they follow the connections.
    void statusChanged();
};

} // namespace korvane
