// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/runrecord.h"

#include <QCryptographicHash>
#include <QFile>

namespace korvane {

void MessageTally::countKey(std::uint64_t key)
{
    if (2 * (m_used + 1) > m_slots.size()) {
        std::vector<std::pair<std::uint64_t, std::int64_t>> old(m_slots.empty() ? 64 : 2 * m_slots.size());
        old.swap(m_slots);
        for (const auto& [k, n] : old) {
            if (k != 0) {
                std::size_t s = slotOf(k, m_slots.size());
                while (m_slots[s].first != 0) {
                    s = (s + 1) & (m_slots.size() - 1);
                }
                m_slots[s] = {k, n};
            }
        }
    }
    std::size_t s = slotOf(key, m_slots.size());
    while (m_slots[s].first != key && m_slots[s].first != 0) {
        s = (s + 1) & (m_slots.size() - 1);
    }
    if (m_slots[s].first == 0) {
        m_slots[s].first = key;
        ++m_used;
    }
    ++m_slots[s].second;
}

namespace {

// The bytes of a key: the severity's digit, then "-" and the number's digits where the line had them.
std::string keyText(std::uint64_t key)
{
    std::string text;
    for (; key != 0; key >>= 8) {
        text.push_back(static_cast<char>(key & 0xff));
    }
    return text;
}

int severityOf(const std::string& text)
{
    return !text.empty() && text[0] >= '0' && text[0] <= '7' ? text[0] - '0' : -1;
}

} // namespace

std::map<std::string, std::int64_t> MessageTally::byId() const
{
    std::map<std::string, std::int64_t> ids;
    for (const auto& [key, lines] : m_slots) {
        const std::string text = keyText(key);
        if (key != 0 && severityOf(text) >= 0 && text.size() > 2 && text[1] == '-') {
            ids[text] += lines;
        }
    }
    return ids;
}

std::array<std::int64_t, 8> MessageTally::bySeverity() const
{
    std::array<std::int64_t, 8> levels{};
    for (const auto& [key, lines] : m_slots) {
        if (const int level = severityOf(keyText(key)); key != 0 && level >= 0) {
            levels[static_cast<std::size_t>(level)] += lines;
        }
    }
    return levels;
}

Result<std::string> fileSha256(const std::filesystem::path& path)
{
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly)) {
        return Failure{path.string() + ": " + file.errorString().toStdString()};
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file) || file.error() != QFileDevice::NoError) {
        return Failure{path.string() + ": " + file.errorString().toStdString()};
    }
    return hash.result().toHex().toStdString();
}

} // namespace korvane
