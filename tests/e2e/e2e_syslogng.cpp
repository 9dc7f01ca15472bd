// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// syslog-ng as a second real receiver, started once with a source per case: one pass of the
// shipped templates in each SyslogFormat over each transport arrives whole, line for line, and its
// configuration library's cisco-parser() reads the facility, severity and mnemonic of every line
// of the device's own form.

#include "syslogngkit.h"
#include "testpki.h"

using namespace korvane::e2e;

namespace {

// The source that reads what korvane sends by default: line feeds over TCP for the formats that
// begin with a priority, octet counting for plain lines and over TLS.
SyslogNgSource sourceFor(const WireCase& c)
{
    switch (c.transport) {
    case Transport::Udp:
        return SyslogNgSource::Udp;
    case Transport::Tcp:
        return c.format == 0 ? SyslogNgSource::TcpOctets : SyslogNgSource::TcpLines;
    case Transport::Tls:
    case Transport::Relp:
        break;
    }
    return SyslogNgSource::Tls;
}

constexpr int deviceFormat = 3;

} // namespace

class E2eSyslogNg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void onePassArrivesWholeLineForLine_data();
    void onePassArrivesWholeLineForLine();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<korvane::test::TestPki> m_pki;
    std::unique_ptr<SyslogNg> m_syslogNg;
    QHash<int, qsizetype> m_seen; // the lines each listener held when its case was checked
};

void E2eSyslogNg::initTestCase()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
    const QString unpacked = syslogNgFolder();
    QVERIFY2(QFile::exists(unpacked + QStringLiteral("/usr/sbin/syslog-ng")),
             qPrintable(QStringLiteral("no syslog-ng in %1: run scripts/fetch-syslog-ng (scripts/test does), or set "
                                       "KORVANE_SYSLOGNG_DIR")
                            .arg(unpacked)));
    m_folder = std::make_unique<QTemporaryDir>();
    m_pki = std::make_unique<korvane::test::TestPki>(m_folder->path());
    QVERIFY2(m_pki->ok(), qPrintable(m_pki->error()));

    QList<SyslogNgListener> listeners;
    for (const WireCase& c : wireCases()) {
        listeners.append({sourceFor(c), c.format == deviceFormat});
    }
    QString why;
    m_syslogNg =
        startSyslogNg(unpacked, m_folder->path(), listeners, {m_pki->serverCertFile(), m_pki->serverKeyFile()}, why);
    QVERIFY2(m_syslogNg, qPrintable(why));
}

// Nothing came after a case was checked: each listener still holds exactly what its case saw.
void E2eSyslogNg::cleanupTestCase()
{
    if (!m_syslogNg) {
        return;
    }
    QVERIFY(m_syslogNg->stop());
    for (auto it = m_seen.cbegin(); it != m_seen.cend(); ++it) {
        QCOMPARE(m_syslogNg->lines(it.key()).size(), it.value());
    }
}

void E2eSyslogNg::onePassArrivesWholeLineForLine_data()
{
    addWireRows();
}

void E2eSyslogNg::onePassArrivesWholeLineForLine()
{
    QFETCH(Transport, transport);
    QFETCH(int, format);
    QFETCH(int, listener);
    QList<QByteArray> sent;
    qsizetype kept = -1; // set once the listener held the whole pass
    const QString mismatch = checkOnePass(
        format, transport, m_syslogNg->port(listener), m_pki->caFile(), [&] { return m_syslogNg->lines(listener); },
        [&] { return m_syslogNg->log(); }, sent, kept);
    if (kept >= 0) {
        m_seen.insert(listener, kept);
    }
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

    if (format == deviceFormat) {
        // "%PIX-6-302013:" reads as facility PIX, severity 6, mnemonic 302013.
        static const QRegularExpression id(QStringLiteral("%(PIX)-(\\d)-(\\d+):"));
        QList<QByteArray> expected;
        for (const QByteArray& line : sent) {
            const QRegularExpressionMatch m = id.match(QString::fromLatin1(line));
            expected.append(
                (m.captured(1) + QLatin1Char('|') + m.captured(2) + QLatin1Char('|') + m.captured(3)).toLatin1());
        }
        QVERIFY2(waitUntil([&] { return m_syslogNg->ciscoFields(listener).size() >= sent.size(); }, 10000),
                 qPrintable(m_syslogNg->log()));
        QCOMPARE(m_syslogNg->ciscoFields(listener), expected);
    }
}

QTEST_GUILESS_MAIN(E2eSyslogNg)
#include "e2e_syslogng.moc"
