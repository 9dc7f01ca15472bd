// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QTest>

#include <string>

// Lets QCOMPARE print standard strings, with line ends and other control bytes escaped.
namespace QTest {
template <>
inline char* toString(const std::string& text)
{
    return toPrettyCString(text.data(), static_cast<qsizetype>(text.size()));
}
} // namespace QTest
