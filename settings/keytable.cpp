// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/keytable.h"

namespace korvane {

namespace {

using P = Phase;
using K = Kind;
using T = Test;
using S = Settings;
using W = When;
using A = Absent;
using R = Replacement;

constexpr bool kInUse = true;
constexpr bool kFileOnly = false;
constexpr bool kWritten = true;
constexpr bool kNotWritten = false;

// clang-format off
constexpr std::array<KeyRow, 49> kKeys{{
    // key              phase        kind       test              replacement        in use     written      variable                when       absent           computed replacement
    {"PositionX",       P::Position, K::Number, T::Anything,      "",                kFileOnly, kNotWritten, {}},
    {"PositionY",       P::Position, K::Number, T::Anything,      "",                kFileOnly, kNotWritten, {}},
    {"RealLogFile",     P::Run,      K::Number, T::Switch,        "0",               kInUse,    kWritten,    &S::RealLogFile},
    {"Delay",           P::Run,      K::Number, T::Positive,      "1",               kInUse,    kWritten,    &S::Delay},
    {"onetime",         P::Run,      K::Number, T::UpToOne,       "0",               kInUse,    kWritten,    &S::onetime},
    {"GenerationType",  P::Run,      K::Number, T::LineSelection, "0",               kInUse,    kWritten,    &S::GenerationType},
    {"RemoveHeader",    P::Template, K::Number, T::ZeroToOne,     "0",               kInUse,    kWritten,    &S::RemoveHeader},
    {"HeaderString",    P::Template, K::Text,   T::Anything,      "",                kFileOnly, kNotWritten, &S::HeaderString},
    {"SRC_IP_1",        P::Template, K::Text,   T::TwoCharacters, "194.98.65.10",    kInUse,    kWritten,    {&S::SRC_IP, 0}},
    {"SRC_IP_2",        P::Template, K::Text,   T::TwoCharacters, "193.10.22.23",    kInUse,    kWritten,    {&S::SRC_IP, 1}},
    {"SRC_IP_3",        P::Template, K::Text,   T::TwoCharacters, "193.50.60.70",    kInUse,    kWritten,    {&S::SRC_IP, 2}},
    {"SRC_IP_4",        P::Template, K::Text,   T::TwoCharacters, "195.60.61.62",    kInUse,    kWritten,    {&S::SRC_IP, 3}},
    {"SRC_IP_5",        P::Template, K::Text,   T::TwoCharacters, "193.99.98.99",    kInUse,    kWritten,    {&S::SRC_IP, 4}},
    {"DST_IP_1",        P::Template, K::Text,   T::TwoCharacters, "10.10.12.12",     kInUse,    kWritten,    {&S::DST_IP, 0}},
    {"DST_IP_2",        P::Template, K::Text,   T::TwoCharacters, "10.10.12.20",     kInUse,    kWritten,    {&S::DST_IP, 1}},
    {"DST_IP_3",        P::Template, K::Text,   T::TwoCharacters, "10.10.12.30",     kInUse,    kWritten,    {&S::DST_IP, 2}},
    {"DST_IP_4",        P::Template, K::Text,   T::TwoCharacters, "10.10.12.40",     kInUse,    kWritten,    {&S::DST_IP, 3}},
    {"DST_IP_5",        P::Template, K::Text,   T::TwoCharacters, "10.11.11.1",      kInUse,    kWritten,    {&S::DST_IP, 4}},
    {"GTW_IP",          P::Template, K::Text,   T::TwoCharacters, "10.11.11.11",     kInUse,    kWritten,    &S::GTW_IP},
    {"UserName",        P::Template, K::Text,   T::TwoCharacters, "PIX_User",        kInUse,    kWritten,    &S::UserName},
    {"SessionNum",      P::Template, K::Number, T::Positive,      "10",              kInUse,    kWritten,    &S::SessionNum},
    {"ElapsedTime",     P::Template, K::Number, T::Positive,      "10",              kInUse,    kWritten,    &S::ElapsedTime},
    {"FirewallName",    P::Template, K::Text,   T::NotEmpty,      "Pix-Inside-Demo", kInUse,    kWritten,    &S::FirewallName},
    {"SyslogFile",      P::Template, K::Number, T::Switch,        "0",               kInUse,    kWritten,    &S::SyslogFile},
    {"UDP_Port_Syslog", P::Receiver, K::Number, T::Port,          "514",             kInUse,    kWritten,    &S::UDP_Port_Syslog,   W::Syslog},
    {"HostIP",          P::Receiver, K::Text,   T::LeadingNumber, "127.0.0.1",       kInUse,    kWritten,    &S::HostIP,            W::Syslog},
    {"SyslogFormat",    P::Output,   K::Number, T::FormatCode,    "0",               kInUse,    kWritten,    &S::SyslogFormat,      W::Always, A::KeepsDefault},
    {"Facility",        P::Output,   K::Number, T::FacilityCode,  "20",              kInUse,    kWritten,    &S::Facility,          W::Always, A::KeepsDefault},
    {"Protocol",        P::Output,   K::Text,   T::ProtocolName,  "UDP",             kInUse,    kWritten,    &S::Protocol,          W::Syslog, A::KeepsDefault},
    // SyslogFormat and Protocol are in by now, so a bad framing takes the default the run would use.
    {"TCP_Framing",     P::Output,   K::Number, T::ZeroOrOne,     "",                kInUse,    kWritten,    &S::TCP_Framing,       W::Syslog, A::KeepsDefault, R::ByFraming},
    {"TLS_CAFile",      P::Output,   K::Text,   T::Anything,      "",                kFileOnly, kNotWritten, &S::TLS_CAFile,        W::Syslog, A::KeepsDefault},
    {"TLS_CertFile",    P::Output,   K::Text,   T::Anything,      "",                kFileOnly, kNotWritten, &S::TLS_CertFile,      W::Syslog, A::KeepsDefault},
    {"TLS_KeyFile",     P::Output,   K::Text,   T::Anything,      "",                kFileOnly, kNotWritten, &S::TLS_KeyFile,       W::Syslog, A::KeepsDefault},
    {"TLS_PeerName",    P::Output,   K::Text,   T::Anything,      "",                kFileOnly, kNotWritten, &S::TLS_PeerName,      W::Syslog, A::KeepsDefault},
    {"SourceAddress",   P::Output,   K::Text,   T::IpAddress,     "",                kInUse,    kWritten,    &S::SourceAddress,     W::Syslog, A::KeepsDefault},
    {"ReplayTiming",    P::Replay,   K::Number, T::ZeroOrOne,     "0",               kInUse,    kWritten,    &S::ReplayTiming,      W::Always, A::KeepsDefault},
    {"ReplaySpeed",     P::Replay,   K::Number, T::PlainPositive, "1",               kInUse,    kWritten,    &S::ReplaySpeed,       W::Always, A::KeepsDefault},
    {"ReplayMaxGap",    P::Replay,   K::Number, T::PlainPositive, "60",              kInUse,    kWritten,    &S::ReplayMaxGap,      W::Always, A::KeepsDefault},
    {"ReplayRestamp",   P::Replay,   K::Number, T::ZeroOrOne,     "0",               kInUse,    kWritten,    &S::ReplayRestamp,     W::Always, A::KeepsDefault},
    // Read with the replay keys, once SyslogFormat is in.
    {"SequenceId",      P::Replay,   K::Number, T::ZeroOrOne,     "0",               kInUse,    kWritten,    &S::SequenceId,        W::Always, A::KeepsDefault},
    {"Manifest",        P::Replay,   K::Number, T::ZeroOrOne,     "0",               kInUse,    kWritten,    &S::Manifest,          W::Always, A::KeepsDefault},
    // A bad profile is taken out: the run keeps to Delay.
    {"RateProfile",     P::Replay,   K::Text,   T::RateForm,      "",                kInUse,    kWritten,    &S::RateProfile,       W::Always, A::KeepsDefault},
    // The traffic model's, read last: they shape what the templates say, not how lines go out.
    {"Traffic",         P::Replay,   K::Number, T::ZeroOrOne,     "0",               kInUse,    kWritten,    &S::Traffic,           W::Always, A::KeepsDefault},
    {"Connections",     P::Replay,   K::Number, T::Count,         "100",             kInUse,    kWritten,    &S::Connections,       W::Always, A::KeepsDefault},
    {"MeanDuration",    P::Replay,   K::Number, T::PlainPositive, "30",              kInUse,    kWritten,    &S::MeanDuration,      W::Always, A::KeepsDefault},
    {"DenyShare",       P::Replay,   K::Number, T::Share,         "0.1",             kInUse,    kWritten,    &S::DenyShare,         W::Always, A::KeepsDefault},
    {"SRC_NET",         P::Replay,   K::Text,   T::Network,       "",                kInUse,    kWritten,    &S::SRC_NET,           W::Always, A::KeepsDefault},
    {"DST_NET",         P::Replay,   K::Text,   T::Network,       "",                kInUse,    kWritten,    &S::DST_NET,           W::Always, A::KeepsDefault},
    {"Scenarios",       P::Replay,   K::Text,   T::ScenarioList,  "",                kInUse,    kWritten,    &S::Scenarios,         W::Always, A::KeepsDefault},
}};
// clang-format on

// Every row's kind matches the variable it fills, every tested key has a variable, and what is
// written back is what the run itself uses, so the first start sends what the file then says.
// An optional key that can fail is repaired like any other; a computed replacement is a number.
constexpr bool rowsAreConsistent()
{
    for (const KeyRow& row : kKeys) {
        if (row.written && !row.inUse) {
            return false;
        }
        if (row.absent == Absent::KeepsDefault && row.test != Test::Anything && !row.written) {
            return false;
        }
        if (row.computed != Replacement::AsWritten && row.kind != Kind::Number) {
            return false;
        }
        const bool numberTarget = row.target.number != nullptr;
        const bool textTarget = row.target.text != nullptr || row.target.group != nullptr;
        if (row.kind == Kind::Number && textTarget) {
            return false;
        }
        if (row.kind == Kind::Text && numberTarget) {
            return false;
        }
        if (row.phase != Phase::Position && !numberTarget && !textTarget) {
            return false;
        }
    }
    return true;
}
static_assert(rowsAreConsistent());

} // namespace

std::span<const KeyRow> keyTable()
{
    return kKeys;
}

} // namespace korvane
