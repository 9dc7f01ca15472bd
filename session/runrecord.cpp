// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/runrecord.h"

#include <QCryptographicHash>
#include <QFile>

namespace korvane {

void MessageTally::countKey(std::uint32_t key)
{
    if (2 * (m_used + 1) > m_slots.size()) {
        std::vector<std::pair<std::uint32_t, std::int64_t>> old(m_slots.empty() ? 64 : 2 * m_slots.size());
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

std::map<std::string, std::int64_t> MessageTally::byId() const
{
    std::map<std::string, std::int64_t> ids;
    for (const auto& [key, lines] : m_slots) {
        if (key == 0) {
            continue;
        }
        std::string number = std::to_string(key & 0xffffffu);
        const std::size_t digits = (key >> 24) & 7u;
        number.insert(0, digits > number.size() ? digits - number.size() : 0, '0');
        ids[std::to_string(key >> 27) + '-' + number] = lines;
    }
    return ids;
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
