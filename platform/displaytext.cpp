// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/displaytext.h"

#include <QStringDecoder>

namespace korvane {

QString displayText(std::string_view bytes)
{
    bool ascii = true;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    const auto size = static_cast<qsizetype>(bytes.size());
    if (ascii) {
        return QString::fromLatin1(bytes.data(), size);
    }
    // A byte-order mark is a character of the line like any other: shown, not dropped.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(QByteArrayView(bytes.data(), size));
    if (!utf8.hasError()) {
        return text;
    }
    return QString::fromLatin1(bytes.data(), size);
}

} // namespace korvane
