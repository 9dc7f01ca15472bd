// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/settings.h"

#include "settings/asciitext.h"
#include "settings/keytable.h"
#include "settings/numbers.h"
#include "settings/outputformat.h"
#include "settings/rateprofile.h"
#include "settings/trafficforms.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>
#include <string>

#include <arpa/inet.h>

namespace korvane {

namespace {

// An address as the system reads one to bind to: IPv4 in its four-number dotted form, or IPv6.
bool isIpAddress(std::string_view value)
{
    const std::string text(value);
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, text.c_str(), bytes) == 1 || ::inet_pton(AF_INET6, text.c_str(), bytes) == 1;
}

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
    case Test::FormatCode: // the tests of optional keys take the text: acceptedNumber
    case Test::FacilityCode:
    case Test::ProtocolName:
    case Test::ZeroOrOne:
    case Test::PlainPositive:
    case Test::RateForm:
    case Test::Count:
    case Test::Share:
    case Test::Network:
    case Test::ScenarioList:
    case Test::IpAddress:
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

// "is not UDP, TCP or TLS", from the transports there are.
std::string_view protocolChoice()
{
    static const std::string text = [] {
        std::string names = "is not ";
        const std::size_t count = std::size(kTransports);
        for (std::size_t i = 0; i < count; ++i) {
            names += i == 0 ? "" : i + 1 == count ? " or " : ", ";
            names += kTransports[i].name;
        }
        return names;
    }();
    return text;
}

// What a value that failed `test` is not, for the operator.
std::string_view failedTest(Test test)
{
    switch (test) {
    case Test::Switch:
    case Test::UpToOne:
        return "is not a number above 0 up to 1";
    case Test::Positive:
        return "is not a number above 0";
    case Test::ZeroToOne:
        return "is not a number from 0 to 1";
    case Test::LineSelection:
        return "is not a whole number from -1 to 7";
    case Test::Port:
        return "is not a port from 1 to 32000";
    case Test::TwoCharacters:
        return "is shorter than 2 characters";
    case Test::NotEmpty:
        return "is blank";
    case Test::LeadingNumber:
        return "is not an address whose first number is above 0";
    case Test::FormatCode:
        return "is not 0, 1, 2 or 3";
    case Test::FacilityCode:
        return "is neither a whole number from 0 to 23 nor a facility name";
    case Test::ProtocolName:
        return protocolChoice();
    case Test::ZeroOrOne:
        return "is not 0 or 1";
    case Test::PlainPositive:
        return "is not a number above 0";
    case Test::RateForm:
        return "is not a rate profile (ramp, steps, sine, burst or poisson and its numbers)";
    case Test::Count:
        return "is not a whole number from 1 to 1000000";
    case Test::Share:
        return "is not a number from 0 to 1";
    case Test::Network:
        return "is not an IPv4 network such as 198.51.100.0/24 (a prefix of 8 to 32)";
    case Test::ScenarioList:
        return "is not a list of portscan, bruteforce or denystorm @START+LENGTH";
    case Test::IpAddress:
        return "is not an IP address";
    case Test::Anything:
        break;
    }
    return "is not accepted";
}

// 'KEY "VALUE" is not ...', or 'KEY absent' for a key that reads as empty.
std::string fault(std::string_view key, std::string_view stored, std::string_view why)
{
    std::string text(key);
    if (stored.empty()) {
        return text.append(" absent");
    }
    return text.append(" \"").append(stored).append("\" ").append(why);
}

// Writes the replacements and says each once, unless the file cannot be read at all: then
// nothing is written (it would be refused) and nothing said beyond why the file is unreadable.
class Repairer
{
public:
    Repairer(ProfileStore& store, bool writeBack, std::vector<std::string>& said)
        : store(store), m_writeBack(writeBack), m_said(said)
    {}

    // Writes `value` under `key`; true when it went into the file.
    bool write(std::string_view key, std::string_view value)
    {
        return m_writeBack && store.write(key, value); // a failed write changes nothing in use
    }

    void say(std::string_view fault, std::string_view replaced, bool written, bool wasAbsent)
    {
        if (!m_writeBack) {
            return;
        }
        std::string line = "korvane.ini: ";
        line.append(fault).append("; ").append(replaced);
        line.append(written ? (wasAbsent ? " written" : " written back")
                            : (wasAbsent ? " used, not written" : " used, not written back"));
        m_said.push_back(std::move(line));
    }

    // `stored` under `key` failed: `replacement` goes into the file and is said. A value that
    // already reads as the replacement is written again, as it always was, but said not.
    void replace(std::string_view key, std::string_view stored, std::string_view why, std::string_view replacement)
    {
        const bool written = write(key, replacement);
        if (stored != replacement) {
            // An empty replacement leaves the key absent, and is said so.
            say(fault(key, stored, why), replacement.empty() ? "absent" : replacement, written, stored.empty());
        }
    }

    ProfileStore& store;

private:
    bool m_writeBack;
    std::vector<std::string>& m_said;
};

auto wholeWithin(double low, double high)
{
    return [=](std::string_view text) -> std::optional<double> {
        const std::optional<double> v = plainDecimal(text);
        if (v && *v >= low && *v <= high && *v == std::floor(*v)) {
            return v;
        }
        return std::nullopt;
    };
}

// Above 0, as a speed or a number of seconds must be.
std::optional<double> positive(std::string_view text)
{
    const std::optional<double> v = plainDecimal(text);
    return v && *v > 0 ? v : std::nullopt;
}

// The facilities by their usual names, numbered as syslog numbers them.
constexpr std::array<std::string_view, 24> kFacilityNames = {
    "kern",   "user",   "mail",     "daemon", "auth",   "syslog",   "lpr",     "news",
    "uucp",   "cron",   "authpriv", "ftp",    "ntp",    "security", "console", "solaris-cron",
    "local0", "local1", "local2",   "local3", "local4", "local5",   "local6",  "local7"};

std::optional<double> facility(std::string_view text)
{
    if (const std::optional<double> v = wholeWithin(0, 23)(text)) {
        return v;
    }
    const auto named =
        std::ranges::find_if(kFacilityNames, [&](std::string_view name) { return sameIgnoringCase(name, text); });
    if (named == kFacilityNames.end()) {
        return std::nullopt;
    }
    return static_cast<double>(named - kFacilityNames.begin());
}

std::string upperCase(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

// An optional key's value, blanks around it removed, as its test takes it; nothing when it fails.
std::optional<double> acceptedNumber(Test test, std::string_view value)
{
    switch (test) {
    case Test::FormatCode:
        return wholeWithin(0, 3)(value);
    case Test::FacilityCode:
        return facility(value);
    case Test::ZeroOrOne:
        return wholeWithin(0, 1)(value);
    case Test::PlainPositive:
        return positive(value);
    case Test::Count:
        return wholeWithin(1, 1e6)(value);
    case Test::Share: {
        const std::optional<double> v = plainDecimal(value);
        return v && *v >= 0 && *v <= 1 ? v : std::nullopt;
    }
    default:
        break;
    }
    return std::nullopt;
}

std::optional<std::string> acceptedText(Test test, std::string_view value)
{
    if (test == Test::ProtocolName) {
        std::string protocol = upperCase(value);
        if (transportNamed(protocol) != nullptr) {
            return protocol;
        }
    }
    if (test == Test::RateForm && RateProfile::parse(value)) {
        return std::string(value);
    }
    if ((test == Test::Network && parseIpv4Network(value)) || (test == Test::ScenarioList && parseScenarios(value)) ||
        (test == Test::IpAddress && isIpAddress(value))) {
        return std::string(value);
    }
    return std::nullopt;
}

std::string& textOf(Settings& s, const Target& target)
{
    return target.group ? (s.*target.group)[static_cast<std::size_t>(target.element)] : s.*target.text;
}

// An optional key: absent (or blank) keeps its default; a value its test accepts becomes it, the
// file left as written; anything else takes the replacement, written back.
void loadOptionalKey(Repairer& repairer, const KeyRow& row, Settings& s)
{
    const std::string stored = repairer.store.read(row.name);
    const std::string_view value = withoutBlanksAround(stored);
    if (value.empty()) {
        return;
    }
    std::string replacement(row.replacement);
    if (row.kind == Kind::Text) {
        std::string& variable = textOf(s, row.target);
        if (std::optional<std::string> text = acceptedText(row.test, value)) {
            variable = std::move(*text);
            return;
        }
        if (row.inUse) {
            variable = replacement;
        }
    } else {
        double& variable = s.*row.target.number;
        if (const std::optional<double> v = acceptedNumber(row.test, value)) {
            variable = *v;
            return;
        }
        const double fallback =
            row.computed == Replacement::ByFraming ? tcpFramingDefault(s) : parseNumber(row.replacement);
        replacement = numberToText(fallback);
        if (row.inUse) {
            variable = fallback;
        }
    }
    if (row.written) {
        repairer.replace(row.name, stored, failedTest(row.test), replacement);
    }
}

void loadKey(Repairer& repairer, const KeyRow& row, Settings& s)
{
    if (row.absent == Absent::KeepsDefault && row.test != Test::Anything) {
        loadOptionalKey(repairer, row, s);
        return;
    }
    const std::string stored = repairer.store.read(row.name);
    if (row.absent == Absent::KeepsDefault && stored.empty()) {
        return;
    }
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
        repairer.replace(row.name, stored, failedTest(row.test), row.replacement);
    }
}

// The five keys are all read before the group is tested, and one short value makes all five
// defaults go into the file (and into use), good values included. Said in one line.
void loadGroup(Repairer& repairer, std::span<const KeyRow> rows, Settings& s)
{
    std::string firstFault;
    bool allAbsent = true;
    for (const KeyRow& row : rows) {
        const std::string stored = repairer.store.read(row.name);
        std::string& variable = textOf(s, row.target);
        variable = withoutTrailingBlanks(stored);
        allAbsent = allAbsent && stored.empty();
        if (!passes(row.test, variable) && firstFault.empty()) {
            firstFault = fault(row.name, stored, failedTest(row.test));
        }
    }
    if (firstFault.empty()) {
        return;
    }
    bool written = true;
    for (const KeyRow& row : rows) {
        if (row.inUse) {
            textOf(s, row.target) = std::string(row.replacement);
        }
        if (row.written) {
            written = repairer.write(row.name, row.replacement) && written;
        }
    }
    const std::string range = std::string(rows.front().name) + " to " + std::string(rows.back().name);
    if (allAbsent) {
        repairer.say(range + " absent", "their defaults", written, true);
    } else {
        repairer.say(firstFault, "the defaults of " + range, written, false);
    }
}

void loadPhase(Repairer& repairer, Phase phase, Settings& s)
{
    const std::span<const KeyRow> keys = keyTable();
    for (std::size_t i = 0; i < keys.size();) {
        const KeyRow& row = keys[i];
        if (row.phase != phase || (row.when == When::Syslog && s.SyslogFile != 1)) {
            ++i;
            continue;
        }
        if (!row.target.group) {
            loadKey(repairer, row, s);
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < keys.size() && keys[end].target.group == row.target.group) {
            ++end;
        }
        loadGroup(repairer, keys.subspan(i, end - i), s);
        i = end;
    }
}

} // namespace

double tcpFramingDefault(const Settings& s)
{
    return s.Protocol == "TLS" || s.SyslogFormat == 0 ? 1 : 0;
}

double SettingsLoader::readPosition(std::string_view key)
{
    return parseNumber(m_store.read(key));
}

void SettingsLoader::loadRunKeys(Settings& s)
{
    Repairer repairer(m_store, m_writeBack, m_repairs);
    loadPhase(repairer, Phase::Run, s);
}

void SettingsLoader::loadTemplateKeys(Settings& s)
{
    Repairer repairer(m_store, m_writeBack, m_repairs);
    loadPhase(repairer, Phase::Template, s);
}

void SettingsLoader::loadReceiverKeys(Settings& s)
{
    Repairer repairer(m_store, m_writeBack, m_repairs);
    loadPhase(repairer, Phase::Receiver, s);
}

void SettingsLoader::loadOutputFormatKeys(Settings& s)
{
    Repairer repairer(m_store, m_writeBack, m_repairs);
    loadPhase(repairer, Phase::Output, s);
}

void SettingsLoader::loadReplayKeys(Settings& s)
{
    Repairer repairer(m_store, m_writeBack, m_repairs);
    loadPhase(repairer, Phase::Replay, s);
}

} // namespace korvane
