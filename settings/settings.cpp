// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/settings.h"

#include "settings/keytable.h"
#include "settings/numbers.h"

#include <cmath>

namespace korvane {

namespace {

// Trailing blanks only, as a text setting has always been taken; leading ones stay.
std::string withoutTrailingBlanks(std::string text)
{
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

bool passes(Test test, double v)
{
    switch (test) {
    case Test::Anything:
        return true;
    case Test::Switch:
    case Test::UpToOne:
        return v > 0 && v <= 1;
    case Test::Positive:
        return v > 0;
    case Test::ZeroToOne:
        return v >= 0 && v <= 1;
    case Test::LineSelection:
        return v >= -1 && v <= 7 && v == std::floor(v);
    case Test::Port:
        return v > 0.5 && v <= 32000;
    case Test::TwoCharacters:
    case Test::NotEmpty:
    case Test::LeadingNumber:
        break;
    }
    return false;
}

bool passes(Test test, const std::string& text)
{
    switch (test) {
    case Test::Anything:
        return true;
    case Test::TwoCharacters:
        return text.size() >= 2;
    case Test::NotEmpty:
        return !text.empty();
    case Test::LeadingNumber:
        return parseNumber(text) > 0;
    default:
        break;
    }
    return false;
}

std::string& textOf(Settings& s, const Target& target)
{
    return target.group ? (s.*target.group)[static_cast<std::size_t>(target.element)] : s.*target.text;
}

void loadKey(ProfileStore& store, const KeyRow& row, Settings& s)
{
    const std::string stored = store.read(row.name);
    bool accepted = true;
    if (row.kind == Kind::Number) {
        double& variable = s.*row.target.number;
        variable = parseNumber(stored);
        accepted = passes(row.test, variable);
        if (accepted && row.test == Test::Switch) {
            variable = 1;
        } else if (!accepted && row.inUse) {
            variable = parseNumber(row.replacement);
        }
    } else {
        std::string& variable = textOf(s, row.target);
        variable = withoutTrailingBlanks(stored);
        accepted = passes(row.test, variable);
        if (!accepted && row.inUse) {
            variable = std::string(row.replacement);
        }
    }
    if (!accepted && row.written) {
        store.write(row.name, row.replacement); // a failed write changes nothing in use
    }
}

// The five keys are all read before the group is tested, and one short value makes all five
// defaults go into the file, good values included.
void loadGroup(ProfileStore& store, std::span<const KeyRow> rows, Settings& s)
{
    bool accepted = true;
    for (const KeyRow& row : rows) {
        std::string& variable = textOf(s, row.target);
        variable = withoutTrailingBlanks(store.read(row.name));
        accepted = accepted && passes(row.test, variable);
    }
    if (accepted) {
        return;
    }
    for (const KeyRow& row : rows) {
        if (row.inUse) {
            textOf(s, row.target) = std::string(row.replacement);
        }
        if (row.written) {
            store.write(row.name, row.replacement);
        }
    }
}

void loadPhase(ProfileStore& store, Phase phase, Settings& s)
{
    const std::span<const KeyRow> keys = keyTable();
    for (std::size_t i = 0; i < keys.size();) {
        const KeyRow& row = keys[i];
        if (row.phase != phase) {
            ++i;
            continue;
        }
        if (!row.target.group) {
            loadKey(store, row, s);
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < keys.size() && keys[end].target.group == row.target.group) {
            ++end;
        }
        loadGroup(store, keys.subspan(i, end - i), s);
        i = end;
    }
}

} // namespace

double SettingsLoader::readPosition(std::string_view key)
{
    return parseNumber(m_store.read(key));
}

void SettingsLoader::loadRunKeys(Settings& s)
{
    loadPhase(m_store, Phase::Run, s);
}

void SettingsLoader::loadTemplateKeys(Settings& s)
{
    loadPhase(m_store, Phase::Template, s);
}

void SettingsLoader::loadReceiverKeys(Settings& s)
{
    if (s.SyslogFile == 1) {
        loadPhase(m_store, Phase::Receiver, s);
    }
}

namespace {

bool isWholeWithin(double v, double low, double high)
{
    return v >= low && v <= high && v == std::floor(v);
}

// An optional number key: absent keeps `variable` as it is, a value that fails `accepted` takes
// `fallback` and writes it.
template <typename Test>
void loadOptionalNumber(ProfileStore& store, std::string_view key, Test accepted, double fallback, double& variable)
{
    const std::string stored = withoutTrailingBlanks(store.read(key));
    if (stored.empty()) {
        return;
    }
    const double v = parseNumber(stored);
    if (accepted(v)) {
        variable = v;
        return;
    }
    variable = fallback;
    store.write(key, numberToText(fallback));
}

auto wholeWithin(double low, double high)
{
    return [=](double v) { return isWholeWithin(v, low, high); };
}

// Finite and above 0, as a speed or a number of seconds must be.
bool isPositive(double v)
{
    return v > 0 && std::isfinite(v);
}

std::string upperCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

} // namespace

void SettingsLoader::loadOutputFormatKeys(Settings& s)
{
    loadOptionalNumber(m_store, "SyslogFormat", wholeWithin(0, 2), 0, s.SyslogFormat);
    loadOptionalNumber(m_store, "Facility", wholeWithin(0, 23), 20, s.Facility);
    if (s.SyslogFile != 1) {
        return;
    }
    const std::string protocol = upperCase(withoutTrailingBlanks(m_store.read("Protocol")));
    if (protocol == "UDP" || protocol == "TCP" || protocol == "TLS") {
        s.Protocol = protocol;
    } else if (!protocol.empty()) {
        s.Protocol = "UDP";
        m_store.write("Protocol", "UDP");
    }
    // TLS requires octet counting, so that is its default; plain TCP receivers mostly expect line feeds.
    const double framingDefault = s.Protocol == "TLS" ? 1 : 0;
    loadOptionalNumber(m_store, "TCP_Framing", wholeWithin(0, 1), framingDefault, s.TCP_Framing);
    s.TLS_CAFile = withoutTrailingBlanks(m_store.read("TLS_CAFile"));
    s.TLS_CertFile = withoutTrailingBlanks(m_store.read("TLS_CertFile"));
    s.TLS_KeyFile = withoutTrailingBlanks(m_store.read("TLS_KeyFile"));
    s.TLS_PeerName = withoutTrailingBlanks(m_store.read("TLS_PeerName"));
}

void SettingsLoader::loadReplayKeys(Settings& s)
{
    loadOptionalNumber(m_store, "ReplayTiming", wholeWithin(0, 1), 0, s.ReplayTiming);
    loadOptionalNumber(m_store, "ReplaySpeed", isPositive, 1, s.ReplaySpeed);
    loadOptionalNumber(m_store, "ReplayMaxGap", isPositive, 60, s.ReplayMaxGap);
    loadOptionalNumber(m_store, "ReplayRestamp", wholeWithin(0, 1), 0, s.ReplayRestamp);
}

} // namespace korvane
