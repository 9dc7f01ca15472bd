// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linesink.h"
#include "platform/filesink.h"
#include "session/drainableoutput.h"
#include "settings/result.h"
#include "settings/runconfig.h"

#include <QObject>
#include <QString>

#include <memory>

namespace korvane {

// The one sink the settings choose, made once by the sink factory, with what the front-ends show
// of it: its status, as it changes.
class RunOutput final : public DrainableOutput
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
    SinkStatus status() const override { return m_sink->status(); }
    DeliveryCounts counts() const override { return m_sink->counts(); }
    bool finish() override { return m_sink->finish(); }
    OutputKind kind() const { return m_kind; }
    QString name() const override { return m_name; }

private:
    void use(std::unique_ptr<LineSink> sink);

    std::unique_ptr<LineSink> m_sink;
    OutputKind m_kind = OutputKind::File;
    QString m_name;
};

} // namespace korvane
