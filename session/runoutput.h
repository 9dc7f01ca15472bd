// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "platform/filesink.h"
#include "platform/streamsink.h"
#include "platform/udpsink.h"
#include "settings/result.h"
#include "settings/runconfig.h"

#include <QString>

namespace korvane {

// The one sink the settings choose, prepared once: "GENERATE.TXT" opened, the UDP socket given
// the receiver's address and port, or the TCP or TLS connection started in the background.
class RunOutput
{
public:
    static constexpr const char* kFileName = "GENERATE.TXT";

    RunOutput() { m_named.target = &m_file; }

    // True when "GENERATE.TXT" exists, so that the operator is asked whether to append.
    static bool fileExists();

    // Prepares the sink of `config`. A failure's reason names the file or the address once
    // ("GENERATE.TXT: in use by another run of Korvane"); the sink then fails every line, so a run
    // cannot write nowhere.
    Result<> prepare(const RunConfig& config, FileSink::Mode mode);

    // The prepared sink, whose failures during a run name the file or the address once as well
    // ("GENERATE.TXT: No space left on device", "TLS 127.0.0.1:6514: ..."), ready to be shown as
    // they are.
    LineSink& sink() { return m_named; }
    OutputKind kind() const { return m_kind; }
    const FileSink& fileSink() const { return m_file; }
    const UdpSink& udpSink() const { return m_udp; }
    // The TCP or TLS sink, whose connection the front-ends show.
    StreamSink& streamSink() { return m_stream; }
    // Where the lines go, for the operator: the file's name or "HOST:PORT".
    QString destination() const { return m_destination; }

private:
    // Puts the name of the file or the address in front of the failures of a sink that does not
    // name itself.
    class NamingSink final : public LineSink
    {
    public:
        SinkResult write(std::string_view line) override;
        FlushResult flush() override;
        FlushResult flushAndWait() override;
        DeliveryCounts counts() const override { return target->counts(); }

        LineSink* target = nullptr;
        std::string name; // "" for a sink that names itself

    private:
        Failure named(const Failure& failure) const;
    };

    LineSink& chosen();

    OutputKind m_kind = OutputKind::File;
    FileSink m_file;
    UdpSink m_udp;
    StreamSink m_stream;
    QString m_destination;
    NamingSink m_named;
};

} // namespace korvane
