// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// Throwaway certificates for TLS tests, made with the openssl tool in a folder of the test's:
// a CA that vouches for a server certificate for 127.0.0.1 and localhost, and a second CA that
// vouches for nothing the tests meet.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace korvane::test {

class TestPki
{
public:
    explicit TestPki(const QString& folder) : m_folder(folder)
    {
        const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
        if (openssl.isEmpty()) {
            m_error = QStringLiteral("the openssl tool is not installed");
            return;
        }
        QFile ext(path(QStringLiteral("ext.cnf")));
        if (!ext.open(QIODevice::WriteOnly) || ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n") < 0) {
            m_error = QStringLiteral("cannot write ext.cnf");
            return;
        }
        ext.close();
        const QList<QStringList> steps = {
            {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", path("ca.key"), "-out", caFile(), "-days", "2",
             "-subj", "/CN=Korvane Test CA"},
            {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", path("other-ca.key"), "-out", otherCaFile(),
             "-days", "2", "-subj", "/CN=Korvane Other CA"},
            {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", serverKeyFile(), "-out", path("server.csr"), "-subj",
             "/CN=127.0.0.1"},
            {"x509", "-req", "-in", path("server.csr"), "-CA", caFile(), "-CAkey", path("ca.key"), "-CAcreateserial",
             "-out", serverCertFile(), "-days", "2", "-extfile", path("ext.cnf")},
        };
        for (const QStringList& step : steps) {
            QProcess process;
            process.setWorkingDirectory(folder);
            process.start(openssl, step);
            if (!process.waitForFinished(60000) || process.exitCode() != 0) {
                m_error = QStringLiteral("openssl %1: %2")
                              .arg(step.join(QLatin1Char(' ')), QString::fromLocal8Bit(process.readAllStandardError()));
                return;
            }
        }
    }

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    QString caFile() const { return path(QStringLiteral("ca.pem")); }
    QString otherCaFile() const { return path(QStringLiteral("other-ca.pem")); }
    QString serverCertFile() const { return path(QStringLiteral("server.pem")); }
    QString serverKeyFile() const { return path(QStringLiteral("server.key")); }

private:
    QString path(const QString& name) const { return m_folder + QLatin1Char('/') + name; }

    QString m_folder;
    QString m_error;
};

} // namespace korvane::test
