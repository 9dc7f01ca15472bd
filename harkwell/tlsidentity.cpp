// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/tlsidentity.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

namespace korvane::harkwell {

namespace {

// The whole file, or the reason it cannot be read in error.
QByteArray readFile(const QString& path, const QString& what, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the TLS %1 %2: %3").arg(what, path, file.errorString());
        return {};
    }
    return file.readAll();
}

} // namespace

TlsIdentity loadTlsIdentity(const QString& certificatePath, const QString& keyPath)
{
    TlsIdentity identity;
    if (!QSslSocket::supportsSsl()) {
        identity.error = QStringLiteral("TLS is not available: no TLS library could be loaded");
        return identity;
    }
    const QByteArray certificateText = readFile(certificatePath, QStringLiteral("certificate"), identity.error);
    if (!identity.isValid()) {
        return identity;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certificateText, QSsl::Pem);
    if (chain.isEmpty() || chain.constFirst().isNull()) {
        identity.error = QStringLiteral("no PEM certificate in %1").arg(certificatePath);
        return identity;
    }
    const QByteArray keyText = readFile(keyPath, QStringLiteral("key"), identity.error);
    if (!identity.isValid()) {
        return identity;
    }
    // Qt must be told the kind of key; the certificate's own kind is tried first, then the others.
    QSslKey key;
    const QSsl::KeyAlgorithm certified = chain.constFirst().publicKey().algorithm();
    for (const QSsl::KeyAlgorithm algorithm : {certified, QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        key = QSslKey(keyText, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull()) {
            break;
        }
    }
    if (key.isNull()) {
        identity.error = QStringLiteral("no unencrypted PEM private key (RSA, EC or DSA) in %1").arg(keyPath);
        return identity;
    }

    identity.configuration = QSslConfiguration::defaultConfiguration();
    identity.configuration.setLocalCertificateChain(chain);
    identity.configuration.setPrivateKey(key);
    identity.configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return identity;
}

} // namespace korvane::harkwell
