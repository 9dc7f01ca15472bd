// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/storedfleet.h"

#include "session/storedline.h"

#include <algorithm>

namespace korvane {

namespace {

void addCounts(CheckCounts& to, const CheckCounts& from)
{
    to.expected += from.expected;
    to.stored += from.stored;
    to.missing += from.missing;
    to.duplicated += from.duplicated;
    to.reordered += from.reordered;
    to.damaged += from.damaged;
    to.foreign += from.foreign;
}

bool endsWord(char c)
{
    return c == ' ' || c == '\t' || c == '|' || c == ',';
}

} // namespace

FleetHosts::FleetHosts(const std::vector<std::string>& names)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        m_index.emplace(names[i], i);
        std::string underscored = names[i];
        std::replace(underscored.begin(), underscored.end(), ' ', '_');
        m_index.emplace(underscored, i);
    }
}

std::optional<std::size_t> FleetHosts::find(std::string_view line) const
{
    const std::size_t message = line.find("PIX-");
    std::string_view before = line.substr(0, message == std::string_view::npos ? line.size() : message);
    std::string word;
    // From the message backwards: the nearest name is the host.
    std::size_t end = before.size();
    while (end > 0) {
        while (end > 0 && endsWord(before[end - 1])) {
            --end;
        }
        std::size_t start = end;
        while (start > 0 && !endsWord(before[start - 1])) {
            --start;
        }
        std::string_view candidate = before.substr(start, end - start);
        while (!candidate.empty() && (candidate.back() == ':' || candidate.back() == '%')) {
            candidate.remove_suffix(1);
        }
        if (!candidate.empty()) {
            word.assign(candidate);
            if (const auto it = m_index.find(word); it != m_index.end()) {
                return it->second;
            }
        }
        end = start;
    }
    return std::nullopt;
}

FleetStoredCheck::FleetStoredCheck(const std::vector<std::string>& names,
                                   const std::vector<const ExpectedMessages*>& expected, CheckOptions options)
    : m_names(names), m_hosts(names)
{
    for (const ExpectedMessages* messages : expected) {
        m_checks.push_back(std::make_unique<StoredCheck>(*messages, options));
    }
}

void FleetStoredCheck::add(std::string_view line)
{
    if (const std::optional<std::size_t> host = m_hosts.find(line); host && *host < m_checks.size()) {
        m_checks[*host]->add(line);
        return;
    }
    ++m_withoutHost;
    const std::string_view id = messageId(parseStoredLine(line).message);
    if (!id.empty()) {
        ++m_withoutHostById[std::string(id)];
    }
}

CheckReport FleetStoredCheck::report() const
{
    CheckReport all;
    for (std::size_t i = 0; i < m_checks.size(); ++i) {
        const CheckReport one = m_checks[i]->report();
        addCounts(all.total, one.total);
        for (const auto& [id, counts] : one.byId) {
            addCounts(all.byId[id], counts);
        }
        all.byHost.emplace_back(m_names[i], one.total);
    }
    all.total.foreign += m_withoutHost;
    for (const auto& [id, lines] : m_withoutHostById) {
        all.byId[id].foreign += lines;
    }
    return all;
}

} // namespace korvane
