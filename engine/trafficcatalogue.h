// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The messages the traffic model makes, each known by its message id in the catalogue.
enum class TrafficKind : std::uint8_t
{
    BuiltTcp,             // 302013
    TeardownTcp,          // 302014
    BuiltUdp,             // 302015
    TeardownUdp,          // 302016
    BuiltTranslation,     // 305011
    TeardownTranslation,  // 305012
    DenyByAccessGroup,    // 106023
    DenyInbound,          // 106001
    DenyNoConnection,     // 106015
    DenyByAcl,            // 710003
    AuthenticationFailed, // 109006
    LoginDenied,          // 605004
    UserAuthFailed,       // 611102
    AuthenticationOk,     // 109005
    LoginPermitted,       // 605005
    UserAuthOk,           // 611101
};
inline constexpr std::size_t kTrafficKinds = 16;

// The message id of each kind, "302013".
std::string_view trafficMessageId(TrafficKind kind);

enum class TrafficProtocol : std::uint8_t
{
    Tcp,
    Udp
};

// What fills a message's placeholders, by position: the n-th address (IP_addr, or an address
// written out, which keeps its place but stays as written) takes endpoint n, a "/port" after it
// that endpoint's port; the n-th "%d" number n; the word after "duration " the duration as
// h:mm:ss; the words after "bytes %d" the reason; "'user'" the user, and the word "dec" the
// interface.
struct TrafficValues
{
    struct Endpoint
    {
        std::string_view address;
        int port = 0;
    };
    std::array<Endpoint, 4> endpoints{};
    std::array<std::uint64_t, 2> numbers{};
    std::int64_t durationSeconds = 0;
    std::string_view reason;
    std::string_view user;
    std::string_view interface;
};

// The templates of the catalogue (SAMPLE.TXT) that the model's kinds pick, prepared once: each
// template's literal text and its placeholders in order. Lines of other ids are left alone.
class TrafficCatalogue
{
public:
    struct Template
    {
        enum class Slot : std::uint8_t
        {
            Address,
            Port,
            Number,
            Duration,
            Reason,
            User,
            Interface
        };
        struct Piece
        {
            std::uint32_t literalEnd = 0; // the literal text before the slot ends here
            Slot slot = Slot::Address;
            std::uint8_t index = 0; // which endpoint or number
        };
        std::string text;          // the literal text, the placeholders taken out
        std::vector<Piece> pieces; // the slots, in order
        int severity = 0;          // the digit after "PIX-"
        bool saysTcp = false;      // its words name the protocol or direction
        bool saysUdp = false;
        bool saysInbound = false;
        bool saysOutbound = false;
    };

    explicit TrafficCatalogue(std::span<const std::string> lines);

    bool has(TrafficKind kind) const { return !m_templates[static_cast<std::size_t>(kind)].empty(); }
    // The template of `kind` that best says `protocol` and the direction, among equals the one
    // `r` (in [0, 1)) falls on; null when the catalogue holds none of that id.
    const Template* pick(TrafficKind kind, TrafficProtocol protocol, bool inbound, double r) const;

    // Appends the template filled with `values` to `out`.
    static void fill(const Template& t, const TrafficValues& values, std::string& out);

private:
    std::array<std::vector<Template>, kTrafficKinds> m_templates;
};

// Parses one line into a template; for the tests and the catalogue.
TrafficCatalogue::Template trafficTemplate(std::string_view line);

} // namespace korvane
