// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/result.h"
#include "stdtostring.h"

#include <QTest>

#include <cerrno>
#include <cstring>
#include <string>

using namespace korvane;

class TestResult : public QObject
{
    Q_OBJECT

private slots:
    void systemFailureNamesWhatFailed();
    void holdsAValueOrAFailure();
};

void TestResult::systemFailureNamesWhatFailed()
{
    const Failure full = systemFailure("GENERATE.TXT", ENOSPC);
    QCOMPARE(full.reason, "GENERATE.TXT: " + std::string(std::strerror(ENOSPC)));
    QCOMPARE(full.systemError, ENOSPC);
    QCOMPARE(systemFailure({}, ENOENT).reason, std::string(std::strerror(ENOENT)));
    // A call that failed without setting errno must not read "Success".
    const Failure unset = systemFailure("SAMPLE.TXT", 0);
    QCOMPARE(unset.reason, "SAMPLE.TXT: " + std::string(std::strerror(EIO)));
    QCOMPARE(unset.systemError, EIO);
}

void TestResult::holdsAValueOrAFailure()
{
    const Result<> done;
    QVERIFY(done.ok());
    QCOMPARE(done.reason(), std::string());
    QCOMPARE(done.systemError(), 0);

    const Result<std::string> read = std::string("[Settings]");
    QVERIFY(read);
    QCOMPARE(read.value(), std::string("[Settings]"));

    const Result<std::string> failed = Failure{"korvane.ini: Permission denied", EACCES};
    QVERIFY(!failed);
    QCOMPARE(failed.reason(), std::string("korvane.ini: Permission denied"));
    QCOMPARE(failed.systemError(), EACCES);
}

QTEST_APPLESS_MAIN(TestResult)
#include "tst_result.moc"
