// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// What a collector stored of one message, whatever its own prefix: rsyslog's and syslog-ng's file
// forms, the wire form as sent, Harkwell's --stdout lines and GENERATE.TXT's lines all hold the
// message from its "PIX-" on. No Qt.

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

// The largest id of a message's sequence; the id after it is 1.
inline constexpr std::uint32_t kLargestSequenceId = 2147483647;

struct StoredLine
{
    // The message: from the line's first "PIX-" (a "%" before it is left out) to the end of the
    // line, trailing CR and LF removed. Empty when the line holds no "PIX-": it is foreign.
    std::string_view message;
    // The sequenceId="N" of an RFC 5424 [meta ...] element before the message (1 to
    // kLargestSequenceId); 0 when there is none or it is out of range.
    std::uint32_t sequenceId = 0;
};

StoredLine parseStoredLine(std::string_view line);

// The message id of a message as parseStoredLine() gives it: "6-302013" of "PIX-6-302013: ...",
// a severity digit, a dash and up to nine digits. Empty when the text after "PIX-" is not of that form.
std::string_view messageId(std::string_view message);

// A line as Harkwell's --stdout prints it, back to the bytes that came: its escapes (\r, \n, \t,
// a doubled backslash, \xNN) undone and the mark of a cut message (a tab, then "[cut]", at the
// end) dropped. An escape it never writes is kept as it stands.
std::string unescapedStdoutLine(std::string_view line);

} // namespace korvane
