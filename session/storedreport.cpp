// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/storedreport.h"

#include <string_view>

namespace korvane {

namespace {

void appendString(std::string& out, std::string_view text)
{
    static constexpr char kHexDigits[] = "0123456789abcdef";
    out.push_back('"');
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20 || byte >= 0x7f) {
            // Message ids are ASCII; any other byte is written as the code point of its value, so that
            // the document stays valid.
            out.append("\\u00");
            out.push_back(kHexDigits[byte >> 4]);
            out.push_back(kHexDigits[byte & 0xf]);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

void appendCounts(std::string& out, const CheckCounts& counts, std::string_view indent)
{
    const std::pair<std::string_view, std::uint64_t> fields[] = {
        {"expected", counts.expected},     {"stored", counts.stored},       {"missing", counts.missing},
        {"duplicated", counts.duplicated}, {"reordered", counts.reordered}, {"damaged", counts.damaged},
        {"foreign", counts.foreign}};
    for (const auto& [name, value] : fields) {
        out.append(indent);
        appendString(out, name);
        out.append(": ");
        out.append(std::to_string(value));
        out.append(",\n");
    }
}

} // namespace

std::string checkReportJson(const CheckReport& report)
{
    std::string out = "{\n";
    appendCounts(out, report.total, "  ");
    out.append("  \"by_id\": {");
    bool first = true;
    for (const auto& [id, counts] : report.byId) {
        out.append(first ? "\n    " : ",\n    ");
        first = false;
        appendString(out, id);
        out.append(": {\n");
        appendCounts(out, counts, "      ");
        out.resize(out.size() - 2); // the last field's comma
        out.append("\n    }");
    }
    out.append(first ? "}" : "\n  }");
    if (!report.byHost.empty()) {
        out.append(",\n  \"by_host\": {");
        first = true;
        for (const auto& [host, counts] : report.byHost) {
            out.append(first ? "\n    " : ",\n    ");
            first = false;
            appendString(out, host);
            out.append(": {\n");
            appendCounts(out, counts, "      ");
            out.resize(out.size() - 2);
            out.append("\n    }");
        }
        out.append("\n  }");
    }
    out.append("\n}\n");
    return out;
}

std::string checkSummary(const CheckCounts& counts)
{
    return std::to_string(counts.expected) + " expected, " + std::to_string(counts.stored) +
           " stored: " + std::to_string(counts.missing) + " missing, " + std::to_string(counts.duplicated) +
           " duplicated, " + std::to_string(counts.reordered) + " reordered, " + std::to_string(counts.damaged) +
           " damaged, " + std::to_string(counts.foreign) + " foreign";
}

} // namespace korvane
