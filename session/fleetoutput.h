// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linesink.h"
#include "platform/filesink.h"
#include "platform/udpsink.h"
#include "session/drainableoutput.h"
#include "session/fleetplan.h"
#include "settings/result.h"
#include "settings/runconfig.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// Where the lines of a fleet go. GENERATE.TXT: one file, the lines of every firewall in the order
// they were emitted. UDP: one socket, every datagram from its firewall's source address. TCP, TLS
// and RELP: one connection per firewall, each from its own source address.
//
// Each firewall writes to its member() sink, which hands its lines over only when the fleet's run
// calls flush() after each batch of lines due together, so that the lines of many firewalls go to
// the system together.
class FleetOutput final : public DrainableOutput
{
    Q_OBJECT

public:
    FleetOutput();
    ~FleetOutput() override;
    FleetOutput(const FleetOutput&) = delete;
    FleetOutput& operator=(const FleetOutput&) = delete;

    // Makes the sinks of `config` for the firewalls of `plan`. Datagrams go out through `senders`
    // sockets, each with its sender thread (at most one per firewall; 0: one per processor). With SourceAddress every
    // address of the range is checked first: a range past the end of its /8, or an address this machine cannot bind,
    // fails naming it, before any line.
    Result<> prepare(const RunConfig& config, const FleetPlan& plan, FileSink::Mode mode, int senders = 0);

    std::size_t size() const { return m_members.size(); }
    LineSink& member(std::size_t index);
    // Firewall `index`'s source address, "" when the system chooses.
    std::string sourceAddress(std::size_t index) const;

    // Hands the lines written since the last flush to the system.
    FlushResult flush();
    FlushResult flushAndWait();
    DeliveryCounts counts() const override;
    DeliveryCounts countsOf(std::size_t index) const;
    // The status of the file or socket; for connections, the first that is not open, with the
    // lines queued on all of them.
    SinkStatus status() const override;
    // The front-end is done waiting: see LineSink::finish(). True once every sink is done.
    bool finish() override;
    QString name() const override { return m_name; }

private:
    class MemberSink;
    Result<> makeSinks(const RunConfig& config, const FleetPlan& plan, FileSink::Mode mode, int senders);
    SinkResult write(std::size_t index, std::string_view line);

    enum class Mode
    {
        Shared,      // one sink for all: the file
        Datagrams,   // m_udp: firewall i on socket i % senders
        Connections, // one sink per firewall
    };
    Mode m_mode = Mode::Shared;
    std::unique_ptr<LineSink> m_shared;
    std::vector<std::unique_ptr<UdpSink>> m_udp;
    std::vector<std::unique_ptr<LineSink>> m_own;
    std::vector<std::unique_ptr<MemberSink>> m_members;
    std::vector<std::uint32_t> m_addresses; // per firewall, when SourceAddress is set
    std::vector<std::int64_t> m_written;    // per firewall, for the shared file
    std::vector<std::uint32_t> m_dirty;     // firewalls with lines since the last flush (connections)
    std::vector<bool> m_isDirty;
    std::optional<Failure> m_failure; // met by a flush: every later line fails with it
    QString m_name;
};

} // namespace korvane
