// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The window's pictures, image files among its resources: their sizes and colour depths, the window showing each
// one pixel for pixel (the title panel cuts the appliance at its right edge), the status lamps on the appliance's
// indicator panel. And the help page.
#include "windowtest.h"

#include <QColor>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTextDocument>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

namespace {

const QString logoPath = QStringLiteral(":/pictures/korvane-logo.png");
const QString appliancePath = QStringLiteral(":/pictures/appliance-front.png");
const QString iconPath = QStringLiteral(":/icons/korvane-32.png");

// The colour of the appliance's recessed indicator panel.
constexpr QRgb kIndicatorPanel = qRgb(22, 25, 31);

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

// What a widget paints of itself, without its children.
QImage ownPixels(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_RGB32);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return image;
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
    void windowShowsThePicturesPixelForPixel();
    void lampSitsOnTheIndicatorPanel_data();
    void lampSitsOnTheIndicatorPanel();
    void helpPageHasTitleAndWorkingContents();
    void helpPageExplainsEverySetting_data();
    void helpPageExplainsEverySetting();
    void helpPageExplainsEveryPlaceholder_data();
    void helpPageExplainsEveryPlaceholder();
};

void TestArtwork::picturesHaveTheirSizeAndDepth_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("paletted");
    QTest::addColumn<int>("maxColours");

    QTest::newRow("logo is 88 x 80 in 24-bit colour") << logoPath << QSize(88, 80) << false << (1 << 24);
    QTest::newRow("appliance is 290 x 85 with 16 colours") << appliancePath << QSize(290, 85) << true << 16;
    QTest::newRow("icon is 32 x 32 with 256 colours") << iconPath << QSize(32, 32) << true << 256;
}

void TestArtwork::picturesHaveTheirSizeAndDepth()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(bool, paletted);
    QFETCH(int, maxColours);

    const QImage image(path);
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

void TestArtwork::windowShowsThePicturesPixelForPixel()
{
    WindowServices env;
    KorvaneFRM window(env.services());
    auto* logo = control<QLabel>(window, "Picture1");
    auto* panel = control(window, "FRM_Vert");
    QVERIFY(logo != nullptr && panel != nullptr);

    // The logo fills the box inside its sunken border.
    QCOMPARE(logo->grab(logo->contentsRect()).toImage().convertToFormat(QImage::Format_RGB32),
             QImage(logoPath).convertToFormat(QImage::Format_RGB32));
    // The appliance from the panel's top-left corner, cut at its right edge (277 of 290 pixels).
    QCOMPARE(panel->size(), QSize(277, 85));
    QCOMPARE(ownPixels(*panel), QImage(appliancePath).copy(panel->rect()).convertToFormat(QImage::Format_RGB32));
    QCOMPARE(window.windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
             QImage(iconPath).convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void TestArtwork::lampSitsOnTheIndicatorPanel_data()
{
    QTest::addColumn<QString>("lamp");
    for (const char* lamp : {"FRM_On", "FRM_Winsock", "FRM_Yellow", "FRM_Red", "frm_green"}) {
        QTest::newRow(qPrintable(QStringLiteral("lamp %1 and a pixel around it").arg(QLatin1String(lamp))))
            << QString::fromLatin1(lamp);
    }
}

void TestArtwork::lampSitsOnTheIndicatorPanel()
{
    QFETCH(QString, lamp);
    WindowServices env;
    KorvaneFRM window(env.services());
    const QWidget* widget = control(window, qPrintable(lamp));
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->parentWidget(), control(window, "FRM_Vert"));

    const QImage picture(appliancePath);
    const QRect withRing = widget->geometry().adjusted(-1, -1, 1, 1);
    for (int y = withRing.top(); y <= withRing.bottom(); ++y) {
        for (int x = withRing.left(); x <= withRing.right(); ++x) {
            QVERIFY2(picture.pixel(x, y) == kIndicatorPanel,
                     qPrintable(QStringLiteral("pixel (%1, %2) is not the indicator panel").arg(x).arg(y)));
        }
    }
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
