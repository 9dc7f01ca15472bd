#pragma once

#include <string>
#include <string_view>

namespace korvane {

// The outcome of delivering one line.
struct SinkResult
{
    enum class Kind
    {
        Delivered,
        Skipped, // a failure the run passes over (a receiver that refused a datagram)
        Dropped, // the system could not take the line now (a full send buffer): lost and counted
        Failed   // the run ends with an error
    };
    Kind kind = Kind::Delivered;
    std::string reason; // the system's words, for Skipped and Failed

    static SinkResult delivered() { return {}; }
    static SinkResult skipped(std::string why) { return {Kind::Skipped, std::move(why)}; }
    static SinkResult dropped(std::string why) { return {Kind::Dropped, std::move(why)}; }
    static SinkResult failed(std::string why) { return {Kind::Failed, std::move(why)}; }
};

// Where emitted lines go: "GENERATE.TXT" or one UDP datagram per line. A line carries no
// line end; the sink adds what its medium needs.
class LineSink
{
public:
    virtual ~LineSink() = default;
    virtual SinkResult write(std::string_view line) = 0;
};

} // namespace korvane
