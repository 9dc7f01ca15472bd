// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/sinkfactory.h"

#include "platform/relpsink.h"
#include "platform/streamsink.h"
#include "platform/udpsink.h"
#include "session/destination.h"

#include <optional>

namespace korvane {

namespace {

// Puts the file's name or the address in front of the failures of a sink that does not name
// itself; the rest it passes on.
class NamingSink final : public LineSink
{
public:
    NamingSink(std::unique_ptr<LineSink> target, std::string name)
        : m_target(std::move(target)), m_name(std::move(name))
    {
        m_target->setStatusListener([this] { statusChanged(); });
    }

    SinkResult write(std::string_view line) override
    {
        SinkResult result = m_target->write(line);
        return result ? result : SinkResult(named(result.failure()));
    }
    FlushResult flush() override { return named(m_target->flush()); }
    FlushResult flushAndWait() override { return named(m_target->flushAndWait()); }
    DeliveryCounts counts() const override { return m_target->counts(); }
    SinkStatus status() const override { return m_target->status(); }
    bool finish() override { return m_target->finish(); }

private:
    Failure named(const Failure& failure) const { return {m_name + ": " + failure.reason, failure.systemError}; }
    FlushResult named(FlushResult result) const { return result ? result : FlushResult(named(result.failure())); }

    std::unique_ptr<LineSink> m_target;
    std::string m_name;
};

MadeSink named(std::unique_ptr<LineSink> sink, const Result<>& ready, const RunConfig& config)
{
    const std::string name = outputName(config).toStdString();
    if (!ready) {
        return Failure{name + ": " + ready.reason(), ready.systemError()};
    }
    return std::unique_ptr<LineSink>(std::make_unique<NamingSink>(std::move(sink), name));
}

MadeSink fileSink(const RunConfig& config, FileSink::Mode mode)
{
    auto sink = std::make_unique<FileSink>();
    const Result<> opened = sink->open(outputName(config).toStdString(), mode);
    return named(std::move(sink), opened, config);
}

MadeSink udpSink(const RunConfig& config)
{
    auto sink = std::make_unique<UdpSink>();
    const Result<> configured =
        sink->configure(QString::fromStdString(config.host), config.port, QString::fromStdString(config.sourceAddress));
    return named(std::move(sink), configured, config);
}

// TCP and TLS sinks name the address themselves.
MadeSink streamSink(const RunConfig& config)
{
    std::optional<TlsSettings> tls;
    if (config.output == OutputKind::Tls) {
        tls = TlsSettings{QString::fromStdString(config.tlsCaFile), QString::fromStdString(config.tlsCertFile),
                          QString::fromStdString(config.tlsKeyFile), QString::fromStdString(config.tlsPeerName)};
    }
    auto sink = std::make_unique<StreamSink>();
    sink->setSourceAddress(QString::fromStdString(config.sourceAddress));
    if (const Result<> started = sink->start(QString::fromStdString(config.host), config.port, config.framing, tls);
        !started) {
        return started.failure();
    }
    return std::unique_ptr<LineSink>(std::move(sink));
}

// The RELP sink names the address itself.
MadeSink relpSink(const RunConfig& config)
{
    auto sink = std::make_unique<RelpSink>();
    sink->setSourceAddress(config.sourceAddress);
    if (const Result<> started = sink->start(QString::fromStdString(config.host), config.port); !started) {
        return started.failure();
    }
    return std::unique_ptr<LineSink>(std::move(sink));
}

} // namespace

MadeSink makeSink(const RunConfig& config, FileSink::Mode mode)
{
    switch (config.output) {
    case OutputKind::Udp:
        return udpSink(config);
    case OutputKind::Tcp:
    case OutputKind::Tls:
        return streamSink(config);
    case OutputKind::Relp:
        return relpSink(config);
    case OutputKind::File:
        break;
    }
    return fileSink(config, mode);
}

} // namespace korvane
