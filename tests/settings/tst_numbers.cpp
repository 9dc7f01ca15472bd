// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/numbers.h"

#include <QTest>

#include <limits>

using namespace korvane;

class TestNumbers : public QObject
{
    Q_OBJECT

private slots:
    void parsesLeadingNumber_data();
    void parsesLeadingNumber();
    void rendersShortestText_data();
    void rendersShortestText();
    void rendersSinglePrecision_data();
    void rendersSinglePrecision();
};

void TestNumbers::parsesLeadingNumber_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("expected");

    const double largest = std::numeric_limits<double>::max();
    QTest::newRow("digits then letters stop at the letters") << QByteArray("12abc") << 12.0;
    QTest::newRow("a fraction") << QByteArray("1.5") << 1.5;
    QTest::newRow("an address gives its first part") << QByteArray("127.0.0.1") << 127.0;
    QTest::newRow("blanks between digits are skipped") << QByteArray(" 1 2 ") << 12.0;
    QTest::newRow("tabs and line feeds are skipped") << QByteArray("\t-\n3") << -3.0;
    QTest::newRow("a carriage return is not skipped") << QByteArray("\r5") << 0.0;
    QTest::newRow("plus sign") << QByteArray("+7") << 7.0;
    QTest::newRow("negative fraction") << QByteArray("-0.5") << -0.5;
    QTest::newRow("fraction without integer part") << QByteArray(".5") << 0.5;
    QTest::newRow("point without decimals") << QByteArray("5.") << 5.0;
    QTest::newRow("a lone point") << QByteArray(".") << 0.0;
    QTest::newRow("a lone sign") << QByteArray("-") << 0.0;
    QTest::newRow("empty") << QByteArray("") << 0.0;
    QTest::newRow("a word") << QByteArray("abc") << 0.0;
    QTest::newRow("comma is no decimal separator") << QByteArray("1,5") << 1.0;
    QTest::newRow("exponent") << QByteArray("1e3") << 1000.0;
    QTest::newRow("capital exponent") << QByteArray("1E3") << 1000.0;
    QTest::newRow("negative exponent") << QByteArray("2.5e-1") << 0.25;
    QTest::newRow("exponent split by blanks") << QByteArray("1 e 3") << 1000.0;
    QTest::newRow("exponent without digits is ignored") << QByteArray("1e") << 1.0;
    QTest::newRow("signed exponent without digits is ignored") << QByteArray("1e+") << 1.0;
    QTest::newRow("D is not an exponent") << QByteArray("1d3") << 1.0;
    QTest::newRow("hexadecimal") << QByteArray("&H1F") << 31.0;
    QTest::newRow("hexadecimal in lower case") << QByteArray("&h1f") << 31.0;
    QTest::newRow("hexadecimal stops at a non-digit") << QByteArray("&HFG") << 15.0;
    QTest::newRow("hexadecimal without digits") << QByteArray("&H") << 0.0;
    QTest::newRow("octal") << QByteArray("&O17") << 15.0;
    QTest::newRow("octal in lower case") << QByteArray("&o17") << 15.0;
    QTest::newRow("octal stops at 8") << QByteArray("&O78") << 7.0;
    QTest::newRow("ampersand with another letter") << QByteArray("&X1") << 0.0;
    QTest::newRow("overflow is clamped") << QByteArray("1e400") << largest;
    QTest::newRow("negative overflow is clamped") << QByteArray("-1e400") << -largest;
    QTest::newRow("underflow gives 0") << QByteArray("1e-400") << 0.0;
    QTest::newRow("underflow written out gives 0") << ("0." + QByteArray(400, '0') + "1") << 0.0;
    QTest::newRow("overflow written out is clamped") << ("1" + QByteArray(400, '0')) << largest;
    QTest::newRow("huge exponent is clamped") << QByteArray("1e99999999999999999999999") << largest;
    QTest::newRow("small mantissa with big exponent") << QByteArray("0.0001e320") << largest;
    QTest::newRow("hexadecimal overflow is clamped") << ("&H" + QByteArray(300, 'F')) << largest;
}

void TestNumbers::parsesLeadingNumber()
{
    QFETCH(QByteArray, text);
    QFETCH(double, expected);
    QCOMPARE(parseNumber(text.toStdString()), expected);
}

void TestNumbers::rendersShortestText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<char>("separator");
    QTest::addColumn<QString>("expected");

    QTest::newRow("whole number") << 10.0 << '.' << "10";
    QTest::newRow("one half") << 0.5 << '.' << "0.5";
    QTest::newRow("one half with a comma") << 0.5 << ',' << "0,5";
    QTest::newRow("negative") << -120.0 << '.' << "-120";
    QTest::newRow("fifteen significant digits") << 1.0 / 3 << '.' << "0.333333333333333";
    QTest::newRow("binary noise rounded away") << 0.1 + 0.2 << '.' << "0.3";
    QTest::newRow("largest plain whole number") << 123456789012345.0 << '.' << "123456789012345";
    QTest::newRow("small value stays plain") << 0.0001 << '.' << "0.0001";
    QTest::newRow("negative zero shows as zero") << -0.0 << '.' << "0";
    QTest::newRow("port") << 32000.0 << '.' << "32000";
    QTest::newRow("huge value takes an exponent") << 1e20 << '.' << "1e+20";
    QTest::newRow("separator also in exponent form") << 1.5e20 << ',' << "1,5e+20";
}

void TestNumbers::rendersShortestText()
{
    QFETCH(double, value);
    QFETCH(char, separator);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(numberToText(value, separator)), expected);
}

void TestNumbers::rendersSinglePrecision_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("an inch") << 1440.0f << "1440";
    QTest::newRow("left of the screen") << -120.0f << "-120";
    QTest::newRow("fraction without float noise") << 0.1f << "0.1";
    QTest::newRow("seven digits") << 1234567.0f << "1234567";
    QTest::newRow("beyond seven digits") << 12345678.0f << "1.234568e+07";
}

void TestNumbers::rendersSinglePrecision()
{
    QFETCH(float, value);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(singleToText(value)), expected);
}

QTEST_APPLESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
