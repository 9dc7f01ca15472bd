// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linesink.h"
#include "platform/filesink.h"
#include "settings/result.h"
#include "settings/runconfig.h"

#include <QObject>
#include <QString>

#include <memory>

namespace korvane {

// The one sink the settings choose, made once by the sink factory, with what the front-ends show
// of it: its status, as it changes.
class RunOutput final : public QObject
{
    Q_OBJECT

public:
    explicit RunOutput(QObject* parent = nullptr);
    ~RunOutput() override;

    // True when "GENERATE.TXT" exists, so that the operator is asked whether to append.
    static bool fileExists();

    // Makes the sink of `config`. A failure's reason names the file or the address once
    // ("GENERATE.TXT: in use by another run of Korvane"); the sink then fails every line with it, so
    // a run cannot write nowhere.
    Result<> prepare(const RunConfig& config, FileSink::Mode mode);

    LineSink& sink() { return *m_sink; }
    SinkStatus status() const { return m_sink->status(); }
    DeliveryCounts counts() const { return m_sink->counts(); }
    OutputKind kind() const { return m_kind; }
    // What the lines go to, as failures name it: "GENERATE.TXT", "TCP 127.0.0.1:5516".
    const QString& name() const { return m_name; }

signals:
    // The sink's status() changed; also its counts, as far as they follow the connection.
    void statusChanged();

private:
    void use(std::unique_ptr<LineSink> sink);

    std::unique_ptr<LineSink> m_sink;
    OutputKind m_kind = OutputKind::File;
    QString m_name;
};

} // namespace korvane
