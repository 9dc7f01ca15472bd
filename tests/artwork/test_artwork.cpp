// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/artwork.h"

#include <QColor>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTextDocument>
#include <QtTest>

using namespace korvane;

namespace {

int distinctColours(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y));
        }
    }
    return int(colours.size());
}

QString helpPath()
{
    return qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/app/help/korvane.html");
}

QString helpHtml()
{
    QFile file(helpPath());
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

QString helpText()
{
    QTextDocument document;
    document.setHtml(helpHtml());
    return document.toPlainText();
}

} // namespace

class TestArtwork : public QObject
{
    Q_OBJECT

private slots:
    void picturesHaveTheirSizeAndDepth_data();
    void picturesHaveTheirSizeAndDepth();
    void lampSitsOnTheIndicatorPanel_data();
    void lampSitsOnTheIndicatorPanel();
    void titleLabelsStandOnADarkFace_data();
    void titleLabelsStandOnADarkFace();
    void displayBoxIsSetInABezel();
    void iconCornersAreTransparent();
    void helpPageHasTitleAndWorkingContents();
    void helpPageExplainsEverySetting_data();
    void helpPageExplainsEverySetting();
    void helpPageExplainsEveryPlaceholder_data();
    void helpPageExplainsEveryPlaceholder();
};

void TestArtwork::picturesHaveTheirSizeAndDepth_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("paletted");
    QTest::addColumn<int>("maxColours");

    QTest::newRow("logo is 88 x 80 in 24-bit colour") << korvaneLogo() << QSize(88, 80) << false << (1 << 24);
    QTest::newRow("appliance is 290 x 85 with 16 colours") << applianceFront() << QSize(290, 85) << true << 16;
    QTest::newRow("icon is 32 x 32 with 256 colours") << korvaneIcon() << QSize(32, 32) << true << 256;
}

void TestArtwork::picturesHaveTheirSizeAndDepth()
{
    QFETCH(QImage, image);
    QFETCH(QSize, size);
    QFETCH(bool, paletted);
    QFETCH(int, maxColours);

    QCOMPARE(image.size(), size);
    if (paletted) {
        QCOMPARE(image.format(), QImage::Format_Indexed8);
        QVERIFY(image.colorCount() <= maxColours);
    } else {
        QVERIFY2(image.format() == QImage::Format_RGB888 || image.format() == QImage::Format_RGB32,
                 "the logo must be true colour without alpha");
        // A true-colour logo that a palette could hold would not need 24 bits.
        QVERIFY(distinctColours(image) > 256);
    }
    const int used = distinctColours(image);
    QVERIFY(used <= maxColours);
    QVERIFY2(used > 4, "the picture looks blank");
}

void TestArtwork::lampSitsOnTheIndicatorPanel_data()
{
    // Where the window puts each 4 x 4 lamp over the picture.
    QTest::addColumn<QPoint>("lamp");
    QTest::newRow("power lamp FRM_On") << QPoint(114, 67);
    QTest::newRow("output lamp FRM_Winsock") << QPoint(131, 62);
    QTest::newRow("activity lamp FRM_Yellow") << QPoint(139, 60);
    QTest::newRow("activity lamp FRM_Red") << QPoint(139, 64);
    QTest::newRow("activity lamp frm_green") << QPoint(139, 68);
}

void TestArtwork::lampSitsOnTheIndicatorPanel()
{
    QFETCH(QPoint, lamp);
    const QImage picture = applianceFront();
    const QRect withRing(lamp - QPoint(1, 1), QSize(6, 6));

    QVERIFY(kApplianceIndicatorArea.contains(withRing));
    for (int y = withRing.top(); y <= withRing.bottom(); ++y) {
        for (int x = withRing.left(); x <= withRing.right(); ++x) {
            QVERIFY2(picture.pixel(x, y) == kApplianceIndicatorColour,
                     qPrintable(QStringLiteral("pixel (%1, %2) is not the indicator panel").arg(x).arg(y)));
        }
    }
    QVERIFY(picture.pixel(kApplianceIndicatorArea.left() - 1, lamp.y()) != kApplianceIndicatorColour);
}

void TestArtwork::titleLabelsStandOnADarkFace_data()
{
    // The middle of each label, where its centred white caption falls.
    QTest::addColumn<QRect>("band");
    QTest::newRow("program name Korvane") << QRect(96, 24, 96, 24);
    QTest::newRow("activity title") << QRect(72, 19, 130, 13);
}

void TestArtwork::titleLabelsStandOnADarkFace()
{
    QFETCH(QRect, band);
    const QImage picture = applianceFront();
    for (int y = band.top(); y <= band.bottom(); ++y) {
        for (int x = band.left(); x <= band.right(); ++x) {
            QVERIFY2(QColor(picture.pixel(x, y)).lightness() < 100,
                     qPrintable(QStringLiteral("white text would not read at (%1, %2)").arg(x).arg(y)));
        }
    }
    QCOMPARE(picture.pixel(band.center()), kApplianceFaceColour);
}

void TestArtwork::displayBoxIsSetInABezel()
{
    const QImage picture = applianceFront();
    const QRect display(12, 54, 78, 16);
    QCOMPARE(picture.pixel(display.center()), qRgb(128, 128, 128));
    const QRect ring = display.adjusted(-1, -1, 1, 1);
    for (int x = ring.left(); x <= ring.right(); ++x) {
        QVERIFY(picture.pixel(x, ring.top()) != kApplianceFaceColour);
        QVERIFY(picture.pixel(x, ring.bottom()) != kApplianceFaceColour);
    }
    for (int y = ring.top(); y <= ring.bottom(); ++y) {
        QVERIFY(picture.pixel(ring.left(), y) != kApplianceFaceColour);
        QVERIFY(picture.pixel(ring.right(), y) != kApplianceFaceColour);
    }
}

void TestArtwork::iconCornersAreTransparent()
{
    const QImage icon = korvaneIcon();
    for (const QPoint corner : {QPoint(0, 0), QPoint(31, 0), QPoint(0, 31), QPoint(31, 31)}) {
        QCOMPARE(qAlpha(icon.pixel(corner)), 0);
    }
    QCOMPARE(qAlpha(icon.pixel(16, 16)), 255);
}

void TestArtwork::helpPageHasTitleAndWorkingContents()
{
    const QString html = helpHtml();
    QVERIFY2(!html.isEmpty(), qPrintable(helpPath()));
    QTextDocument document;
    document.setHtml(html);
    QCOMPARE(document.metaInformation(QTextDocument::DocumentTitle), QStringLiteral("Korvane 2.0 Help"));
    QVERIFY(!html.contains(QStringLiteral("<script"), Qt::CaseInsensitive));

    // Every entry of the table of contents leads to an anchor on the page.
    QSet<QString> anchors;
    for (const auto& match : QRegularExpression(QStringLiteral("name=\"([^\"]+)\"")).globalMatch(html)) {
        anchors.insert(match.captured(1));
    }
    int links = 0;
    for (const auto& match : QRegularExpression(QStringLiteral("href=\"#([^\"]+)\"")).globalMatch(html)) {
        QVERIFY2(anchors.contains(match.captured(1)), qPrintable(match.captured(1)));
        ++links;
    }
    QVERIFY(links >= 10);
}

void TestArtwork::helpPageExplainsEverySetting_data()
{
    QTest::addColumn<QString>("key");
    const QStringList keys{
        "PositionX",    "PositionY",    "RealLogFile", "Delay",           "onetime",  "GenerationType", "RemoveHeader",
        "HeaderString", "SRC_IP_1",     "SRC_IP_2",    "SRC_IP_3",        "SRC_IP_4", "SRC_IP_5",       "DST_IP_1",
        "DST_IP_2",     "DST_IP_3",     "DST_IP_4",    "DST_IP_5",        "GTW_IP",   "UserName",       "SessionNum",
        "ElapsedTime",  "FirewallName", "SyslogFile",  "UDP_Port_Syslog", "HostIP"};
    QCOMPARE(keys.size(), 26);
    for (const QString& key : keys) {
        QTest::newRow(qPrintable(key + QStringLiteral(" is described"))) << key;
    }
}

void TestArtwork::helpPageExplainsEverySetting()
{
    QFETCH(QString, key);
    QVERIFY(helpText().contains(key));
}

void TestArtwork::helpPageExplainsEveryPlaceholder_data()
{
    QTest::addColumn<QString>("placeholder");
    const QStringList placeholders{
        "faddr IP_addr",   "from IP_addr",     "src IP_addr",  "SRC IP_addr",  "SRC=IP_addr",    "for IP_addr",
        "outside:IP_addr", "incoming IP_addr", "(IP_addr/",    "IP_addr)",     "gaddr IP_addr",  "laddr IP_addr",
        "to IP_addr",      "dest IP_addr",     "DEST IP_addr", "DEST=IP_addr", "server IP_addr", "static IP_addr",
        "inside:IP_addr",  "host IP_addr",     "-IP_addr/",    "IP_addr/",     "/port",          "%d",
        "'user'",          "session_num",      "num_seconds",  "dec"};
    for (const QString& placeholder : placeholders) {
        QTest::newRow(qPrintable(placeholder + QStringLiteral(" is described"))) << placeholder;
    }
}

void TestArtwork::helpPageExplainsEveryPlaceholder()
{
    QFETCH(QString, placeholder);
    QVERIFY(helpText().contains(placeholder));
}

QTEST_MAIN(TestArtwork)
#include "test_artwork.moc"
