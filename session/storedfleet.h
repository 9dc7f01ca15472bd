// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// The check of what a collector stored of a fleet's run: each stored line is given to the check of
// the firewall whose name it carries before its message, and each firewall's lines are checked
// against its own messages (see storedcheck.h). No Qt.

#include "session/storedcheck.h"
#include "session/storedexpected.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

// Which of a fleet's firewalls a stored line came from: the last word before the line's "PIX-" that
// is one of the names (blanks in a name may also stand as "_", as in a syslog header's HOST). Words
// end at a blank, a tab, "|" or ",", and a ":" that ends a word is not part of it.
class FleetHosts
{
public:
    explicit FleetHosts(const std::vector<std::string>& names);
    std::optional<std::size_t> find(std::string_view line) const;

private:
    std::unordered_map<std::string, std::size_t> m_index;
};

// Checks the lines of a fleet: per firewall as StoredCheck does, and in all. The totals are the sums
// of the firewalls' counts, with every line that names no firewall of the fleet foreign; reordered
// counts the lines out of order within their own firewall's lines (the order between firewalls is
// no one's to keep). `expected` holds each firewall's messages, in the order of `names`, and must
// outlive the check.
class FleetStoredCheck
{
public:
    FleetStoredCheck(const std::vector<std::string>& names, const std::vector<const ExpectedMessages*>& expected,
                     CheckOptions options = {});

    void add(std::string_view line);
    CheckReport report() const;

private:
    std::vector<std::string> m_names;
    FleetHosts m_hosts;
    std::vector<std::unique_ptr<StoredCheck>> m_checks;
    std::uint64_t m_withoutHost = 0;
    std::map<std::string, std::uint64_t> m_withoutHostById;
};

} // namespace korvane
