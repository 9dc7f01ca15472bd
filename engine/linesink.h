// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/result.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace korvane {

// What became of a line the sink took. A failure that ends the run is the Result's Failure.
enum class Delivery
{
    Sent,
    Skipped, // a failure the run passes over (a receiver that refused a datagram)
    Dropped  // the system could not take the line now (a full send buffer): lost and counted
};

// The outcome of delivering one line.
using SinkResult = Result<Delivery>;

// What a flush did with the lines it handed to the system.
struct Flushed
{
    std::int64_t dropped = 0; // lines the system could not take at once: lost, as Delivery::Dropped
};

using FlushResult = Result<Flushed>;

// What became of the lines a sink took (those whose write() did not fail), counted since the sink
// was made. A line is in at most one of the first three, once it is known; until then it is on its
// way (kept for a flush, waiting for a sender thread, queued for a connection).
struct DeliveryCounts
{
    std::int64_t delivered = 0;   // in the file, taken by the kernel (UDP), acknowledged by the receiver (TCP, TLS)
    std::int64_t dropped = 0;     // lost at once: the system's send buffer, or Korvane's own queue, was full
    std::int64_t undelivered = 0; // never delivered: failed, discarded after a failure, or given up on
    std::int64_t resent = 0;      // TCP, TLS, RELP: lines handed to a new connection after a break (also delivered)
};

// How a sink stands with its destination, for the operator (the lamp and its tooltip, the status
// line) and for the end of a run (how long to wait, and why lines were left).
struct SinkStatus
{
    enum class State
    {
        Open,       // the file is open, the socket set up, the connection up
        Connecting, // the connection is being made, or waits to be tried again
        Closed,     // given up on (finish()): nothing more goes out
        Failed      // failed for good: every later line fails with `problem`
    };
    State state = State::Open;
    std::string text;       // the state for the operator ("connected to HOST:PORT"); "" for a sink without a connection
    std::string problem;    // why the connection is down or was last lost, or the failure; "" when nothing went wrong
    std::string dropReason; // why a line written now would be dropped: whose buffer is full
    std::int64_t queued = 0; // lines taken and still on their way (not yet delivered, dropped or undelivered)
};

// Where emitted lines go: "GENERATE.TXT", one UDP datagram per line, a TCP or TLS stream, or RELP. A
// line carries no line end; the sink adds what its medium needs.
//
// Lines that fall due together may be handed to the system together: a sink may keep the lines
// written since its last flush() (write() then reports them Sent) and hand them over in one call
// at the flush, or sooner. The run flushes after every batch of lines due at the same time and
// at its end, so no line is ever kept across a wait.
class LineSink
{
public:
    virtual ~LineSink() = default;
    virtual SinkResult write(std::string_view line) = 0;
    // Hands every line still kept to the system. A failure that ends the run is the Failure; the
    // lines kept are then lost.
    virtual FlushResult flush() { return Flushed{}; }
    // At the end of a run: flush(), and for a sink that hands lines to the system in the
    // background, wait until it has, so that every drop is counted when the run reports its end.
    virtual FlushResult flushAndWait() { return flush(); }
    // What became of the lines taken so far; read at any time, also after the run (a TCP queue
    // drains after it). A sink that does not count reports nothing.
    virtual DeliveryCounts counts() const { return {}; }
    virtual SinkStatus status() const { return {}; }
    // The front-end is done waiting for the lines on their way: no further attempt is made, a
    // connection ends the orderly way, and what is still queued then counts as undelivered. True
    // when nothing more will happen; false while a connection still closes: the status turns
    // Closed (or Failed) when it has.
    virtual bool finish() { return true; }

    // Called whenever status() changes (a connection came up or went down, the queue drained or
    // filled), on the thread that writes. One listener: the output that owns the sink.
    void setStatusListener(std::function<void()> listener) { m_statusListener = std::move(listener); }

protected:
    void statusChanged() const
    {
        if (m_statusListener) {
            m_statusListener();
        }
    }

private:
    std::function<void()> m_statusListener;
};

} // namespace korvane
