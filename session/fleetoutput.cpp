// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/fleetoutput.h"

#include "platform/sourceaddress.h"
#include "session/destination.h"
#include "session/sinkfactory.h"

#include <algorithm>
#include <thread>

namespace korvane {

// A firewall's view of the fleet's output: its lines are counted as its own, and handed to the
// system with the other firewalls' at the fleet's flush.
class FleetOutput::MemberSink final : public LineSink
{
public:
    MemberSink(FleetOutput& output, std::size_t index) : m_output(output), m_index(index) {}
    SinkResult write(std::string_view line) override { return m_output.write(m_index, line); }
    FlushResult flush() override
    {
        return m_output.m_failure ? FlushResult(*m_output.m_failure) : FlushResult(Flushed{});
    }
    DeliveryCounts counts() const override { return m_output.countsOf(m_index); }

private:
    FleetOutput& m_output;
    std::size_t m_index;
};

namespace {

template <typename Sinks>
DeliveryCounts sum(const Sinks& sinks)
{
    DeliveryCounts all;
    for (const auto& sink : sinks) {
        const DeliveryCounts one = sink->counts();
        all.delivered += one.delivered;
        all.dropped += one.dropped;
        all.undelivered += one.undelivered;
        all.resent += one.resent;
    }
    return all;
}

} // namespace

FleetOutput::FleetOutput() = default;
FleetOutput::~FleetOutput() = default;

Result<> FleetOutput::prepare(const RunConfig& config, const FleetPlan& plan, FileSink::Mode mode, int senders)
{
    m_name = outputName(config);
    Result<> made = makeSinks(config, plan, mode, senders);
    const auto changed = [this] { emit statusChanged(); };
    for (const auto& sink : m_udp) {
        sink->setStatusListener(changed);
    }
    for (const auto& sink : m_own) {
        sink->setStatusListener(changed);
    }
    if (m_shared) {
        m_shared->setStatusListener(changed);
    }
    return made;
}

Result<> FleetOutput::makeSinks(const RunConfig& config, const FleetPlan& plan, FileSink::Mode mode, int senders)
{
    const auto count = static_cast<std::size_t>(plan.count);
    m_addresses.clear();
    if (config.output != OutputKind::File && !config.sourceAddress.empty()) {
        Result<std::vector<std::uint32_t>> range = fleetAddresses(config.sourceAddress, plan);
        if (!range) {
            return range.failure();
        }
        m_addresses = std::move(range.value());
        const int type = config.output == OutputKind::Udp ? SOCK_DGRAM : SOCK_STREAM;
        for (const std::uint32_t address : m_addresses) {
            if (const Result<SourceAddress> bindable = bindableSourceAddress(ipv4Text(address), type); !bindable) {
                return bindable.failure();
            }
        }
    }
    m_members.clear();
    for (std::size_t i = 0; i < count; ++i) {
        m_members.push_back(std::make_unique<MemberSink>(*this, i));
    }
    m_isDirty.assign(count, false);
    m_written.assign(count, 0);
    switch (config.output) {
    case OutputKind::File: {
        m_mode = Mode::Shared;
        MadeSink made = makeSink(config, mode);
        if (!made) {
            return made.failure();
        }
        m_shared = std::move(made.value());
        return {};
    }
    case OutputKind::Udp: {
        m_mode = Mode::Datagrams;
        // The system's work per datagram is most of the cost: spread over the processors.
        const std::size_t sockets = std::clamp<std::size_t>(
            senders > 0 ? static_cast<std::size_t>(senders) : std::max(1u, std::thread::hardware_concurrency()), 1,
            count);
        m_udp.clear();
        for (std::size_t i = 0; i < sockets; ++i) {
            auto sink = std::make_unique<UdpSink>();
            if (const Result<> configured = sink->configure(QString::fromStdString(config.host), config.port);
                !configured) {
                return Failure{outputName(config).toStdString() + ": " + configured.reason()};
            }
            sink->sendFrom(count, m_addresses);
            m_udp.push_back(std::move(sink));
        }
        return {};
    }
    case OutputKind::Tcp:
    case OutputKind::Tls:
    case OutputKind::Relp:
        break;
    }
    m_mode = Mode::Connections;
    m_own.clear();
    RunConfig own = config;
    for (std::size_t i = 0; i < count; ++i) {
        own.sourceAddress = m_addresses.empty() ? std::string() : ipv4Text(m_addresses[i]);
        MadeSink made = makeSink(own, mode);
        if (!made) {
            return made.failure();
        }
        m_own.push_back(std::move(made.value()));
    }
    return {};
}

LineSink& FleetOutput::member(std::size_t index)
{
    return *m_members[index];
}

std::string FleetOutput::sourceAddress(std::size_t index) const
{
    return index < m_addresses.size() ? ipv4Text(m_addresses[index]) : std::string();
}

SinkResult FleetOutput::write(std::size_t index, std::string_view line)
{
    if (m_failure) {
        return *m_failure;
    }
    switch (m_mode) {
    case Mode::Datagrams:
        return m_udp[index % m_udp.size()]->writeFrom(static_cast<std::uint32_t>(index), line);
    case Mode::Shared: {
        SinkResult result = m_shared->write(line);
        if (result) {
            ++m_written[index];
        }
        return result;
    }
    case Mode::Connections:
        break;
    }
    if (!m_isDirty[index]) {
        m_isDirty[index] = true;
        m_dirty.push_back(static_cast<std::uint32_t>(index));
    }
    return m_own[index]->write(line);
}

FlushResult FleetOutput::flush()
{
    if (m_failure) {
        return *m_failure;
    }
    FlushResult result = Flushed{};
    switch (m_mode) {
    case Mode::Datagrams:
        result = Flushed{};
        for (const auto& sink : m_udp) {
            const FlushResult one = sink->flush();
            if (!one) {
                result = one;
                break;
            }
            result.value().dropped += one.value().dropped;
        }
        break;
    case Mode::Shared:
        result = m_shared->flush();
        break;
    case Mode::Connections: {
        Flushed all;
        for (const std::uint32_t index : m_dirty) {
            m_isDirty[index] = false;
            const FlushResult one = m_own[index]->flush();
            if (!one) {
                result = one;
                break;
            }
            all.dropped += one.value().dropped;
        }
        m_dirty.clear();
        if (result) {
            result = all;
        }
        break;
    }
    }
    if (!result) {
        m_failure = result.failure();
    }
    return result;
}

FlushResult FleetOutput::flushAndWait()
{
    if (m_mode == Mode::Datagrams && !m_failure) {
        Flushed all;
        for (const auto& sink : m_udp) {
            const FlushResult one = sink->flushAndWait();
            if (!one) {
                m_failure = one.failure();
                return one;
            }
            all.dropped += one.value().dropped;
        }
        return all;
    }
    return flush();
}

DeliveryCounts FleetOutput::counts() const
{
    switch (m_mode) {
    case Mode::Datagrams:
        return sum(m_udp);
    case Mode::Shared:
        return m_shared ? m_shared->counts() : DeliveryCounts{};
    case Mode::Connections:
        break;
    }
    return sum(m_own);
}

DeliveryCounts FleetOutput::countsOf(std::size_t index) const
{
    switch (m_mode) {
    case Mode::Datagrams:
        return m_udp[index % m_udp.size()]->countsOf(static_cast<std::uint32_t>(index));
    case Mode::Shared: {
        // The file takes every line it is given, or the run fails: a firewall's lines are its
        // written ones, less its share of any the file did not take.
        DeliveryCounts one;
        one.delivered = m_written[index];
        return one;
    }
    case Mode::Connections:
        break;
    }
    return m_own[index]->counts();
}

SinkStatus FleetOutput::status() const
{
    switch (m_mode) {
    case Mode::Datagrams:
        return m_udp.front()->status();
    case Mode::Shared:
        return m_shared ? m_shared->status() : SinkStatus{};
    case Mode::Connections:
        break;
    }
    SinkStatus first;
    bool found = false;
    std::int64_t queued = 0;
    for (const auto& sink : m_own) {
        const SinkStatus one = sink->status();
        queued += one.queued;
        if (!found && one.state != SinkStatus::State::Open) {
            first = one;
            found = true;
        }
        if (!found && first.dropReason.empty()) {
            first.dropReason = one.dropReason;
        }
    }
    first.queued = queued;
    return first;
}

bool FleetOutput::finish()
{
    bool done = true;
    if (m_mode == Mode::Connections) {
        for (const auto& sink : m_own) {
            done = sink->finish() && done;
        }
    } else if (m_shared) {
        done = m_shared->finish();
    }
    for (const auto& sink : m_udp) {
        done = sink->finish() && done;
    }
    return done;
}

} // namespace korvane
