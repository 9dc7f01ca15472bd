// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/runoutput.h"

#include "session/destination.h"
#include "session/sinkfactory.h"

#include <filesystem>
#include <system_error>

namespace korvane {

namespace {

// Stands in for a sink that could not be made: every line fails with the reason.
class FailedSink final : public LineSink
{
public:
    explicit FailedSink(Failure failure) : m_failure(std::move(failure)) {}
    SinkResult write(std::string_view) override { return m_failure; }
    SinkStatus status() const override
    {
        SinkStatus s;
        s.state = SinkStatus::State::Failed;
        s.problem = m_failure.reason;
        return s;
    }

private:
    Failure m_failure;
};

} // namespace

RunOutput::RunOutput(QObject* parent) : DrainableOutput(parent)
{
    use(std::make_unique<FailedSink>(Failure{"the output is not set up"}));
}

RunOutput::~RunOutput() = default;

bool RunOutput::fileExists()
{
    std::error_code ec;
    return std::filesystem::exists("GENERATE.TXT", ec);
}

Result<> RunOutput::prepare(const RunConfig& config, FileSink::Mode mode)
{
    m_kind = config.output;
    m_name = outputName(config);
    MadeSink made = makeSink(config, mode);
    if (!made) {
        use(std::make_unique<FailedSink>(made.failure()));
        return made.failure();
    }
    use(std::move(made).value());
    return {};
}

void RunOutput::use(std::unique_ptr<LineSink> sink)
{
    m_sink = std::move(sink);
    m_sink->setStatusListener([this] { emit statusChanged(); });
    emit statusChanged();
}

} // namespace korvane
