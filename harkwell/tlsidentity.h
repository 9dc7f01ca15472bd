// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QSslConfiguration>
#include <QString>

namespace korvane::harkwell {

// What a TLS listener presents to its peers, or why it cannot be had.
struct TlsIdentity
{
    QSslConfiguration configuration; // the certificate chain and key, with no certificate asked of the peer
    QString error;                   // empty when configuration is usable

    [[nodiscard]] bool isValid() const { return error.isEmpty(); }
};

// Reads a PEM certificate file (the server's certificate first, any intermediate ones after it) and a PEM
// private key file (RSA, EC or DSA, not encrypted). The error names the file and the reason. A key that does not
// belong to the certificate cannot be told here; every handshake then fails, and each failure is reported.
[[nodiscard]] TlsIdentity loadTlsIdentity(const QString& certificatePath, const QString& keyPath);

} // namespace korvane::harkwell
