// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/artwork.h"

#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <initializer_list>
#include <map>
#include <vector>

namespace korvane {

namespace {

// The appliance's sixteen colours. The face and indicator colours are public (artwork.h) because the window's
// overlays depend on them.
constexpr QRgb kOutline = qRgb(10, 11, 14);
constexpr QRgb kFaceShadow = qRgb(32, 36, 43);
constexpr QRgb kFaceLight = qRgb(78, 86, 98);
constexpr QRgb kFaceHighlight = qRgb(122, 132, 146);
constexpr QRgb kEarMetal = qRgb(92, 99, 110);
constexpr QRgb kScrewMetal = qRgb(176, 183, 192);
constexpr QRgb kPaleMetal = qRgb(222, 226, 232);
constexpr QRgb kEngraving = qRgb(92, 102, 116);
constexpr QRgb kDisplayGrey = qRgb(128, 128, 128);
constexpr QRgb kFlameRed = qRgb(196, 48, 28);
constexpr QRgb kFlameOrange = qRgb(236, 118, 26);
constexpr QRgb kFlameYellow = qRgb(255, 204, 48);
constexpr QRgb kContactGold = qRgb(200, 164, 70);
constexpr QRgb kWaveBlue = qRgb(52, 140, 214);

const QList<QRgb>& appliancePalette()
{
    static const QList<QRgb> palette{kOutline,
                                     kFaceShadow,
                                     kApplianceFaceColour,
                                     kFaceLight,
                                     kFaceHighlight,
                                     kEarMetal,
                                     kScrewMetal,
                                     kPaleMetal,
                                     kEngraving,
                                     kDisplayGrey,
                                     kApplianceIndicatorColour,
                                     kFlameRed,
                                     kFlameOrange,
                                     kFlameYellow,
                                     kContactGold,
                                     kWaveBlue};
    return palette;
}

// Sprite letters, so that small parts can be drawn as readable pixel art.
QRgb spriteColour(char letter)
{
    switch (letter) {
    case 'o':
        return kOutline;
    case 's':
        return kFaceShadow;
    case 'f':
        return kApplianceFaceColour;
    case 'l':
        return kFaceLight;
    case 'h':
        return kFaceHighlight;
    case 'm':
        return kScrewMetal;
    case 'p':
        return kPaleMetal;
    case 'g':
        return kEngraving;
    case 'i':
        return kApplianceIndicatorColour;
    case 'c':
        return kContactGold;
    default:
        return kOutline;
    }
}

void fill(QImage& image, int x, int y, int width, int height, QRgb colour)
{
    for (int row = y; row < y + height; ++row) {
        for (int column = x; column < x + width; ++column) {
            image.setPixel(column, row, colour);
        }
    }
}

// One-pixel frame; a recess is dark at the top and left, lit at the bottom and right.
void frame(QImage& image, const QRect& rect, QRgb topLeft, QRgb bottomRight)
{
    fill(image, rect.left(), rect.top(), rect.width(), 1, topLeft);
    fill(image, rect.left(), rect.top(), 1, rect.height(), topLeft);
    fill(image, rect.left() + 1, rect.bottom(), rect.width() - 1, 1, bottomRight);
    fill(image, rect.right(), rect.top() + 1, 1, rect.height() - 1, bottomRight);
}

// '.' leaves the pixel as it is.
void sprite(QImage& image, int x, int y, std::initializer_list<const char*> rows)
{
    int row = y;
    for (const char* line : rows) {
        for (int column = 0; line[column] != '\0'; ++column) {
            if (line[column] != '.') {
                image.setPixel(x + column, row, spriteColour(line[column]));
            }
        }
        ++row;
    }
}

void screw(QImage& image, int x, int y)
{
    sprite(image, x, y, {"..ooo..", ".opomo.", "opmommo", "ooooooo", "ommomgo", ".omogo.", "..ooo.."});
}

void rackEar(QImage& image, int x)
{
    fill(image, x, 0, 8, 85, kEarMetal);
    fill(image, x, 1, 8, 1, kFaceHighlight);
    fill(image, x, 83, 8, 1, kFaceShadow);
    fill(image, x, 0, 8, 1, kOutline);
    fill(image, x, 84, 8, 1, kOutline);
    fill(image, x, 0, 1, 85, kOutline);
    fill(image, x + 1, 1, 1, 83, kFaceHighlight);
    fill(image, x + 7, 1, 1, 83, kOutline);
    // Cross-head screws that hold the unit in the rack.
    screw(image, x + 1, 8);
    screw(image, x + 1, 70);
}

void vents(QImage& image)
{
    for (int row = 0; row < 7; ++row) {
        const int y = 13 + row * 5;
        const int offset = (row % 2 == 0) ? 0 : 6;
        for (int x = 204 + offset; x + 9 <= 276; x += 12) {
            fill(image, x, y, 9, 2, kOutline);
            fill(image, x, y + 2, 9, 1, kFaceLight);
        }
    }
}

void displayBezel(QImage& image)
{
    // The window puts its 78 x 16 display at (12, 54); the bezel surrounds it with two recessed rings.
    frame(image, QRect(10, 52, 82, 20), kFaceShadow, kFaceHighlight);
    frame(image, QRect(11, 53, 80, 18), kOutline, kFaceLight);
    fill(image, 12, 54, 78, 16, kDisplayGrey);
    fill(image, 12, 74, 78, 1, kFaceShadow);
    fill(image, 12, 75, 78, 1, kFaceLight);
}

void indicatorPanel(QImage& image)
{
    const QRect inner = kApplianceIndicatorArea;
    fill(image, inner.left(), inner.top(), inner.width(), inner.height(), kApplianceIndicatorColour);
    frame(image, inner.adjusted(-1, -1, 1, 1), kOutline, kFaceHighlight);
    frame(image, inner.adjusted(-2, -2, 2, 2), kFaceShadow, kFaceLight);
    // Engraved marks: a power symbol above the power lamp, a network mark below the link lamp, and ticks beside the
    // column of activity lamps. They keep clear of every lamp and its one-pixel margin.
    sprite(image, 112, 57, {"...g...", ".g.g.g.", "g..g..g", "g.....g", "g.....g", ".g...g.", "..ggg.."});
    sprite(image, 129, 68, {"..gggg..", ".g....g.", "...gg...", "..g..g..", "........", "...gg..."});
    for (int y : {61, 65, 69}) {
        fill(image, 145, y, 3, 1, kEngraving);
    }
    fill(image, 125, 58, 1, 17, kEngraving);
}

void networkPorts(QImage& image)
{
    for (int index = 0; index < 5; ++index) {
        const int x = 160 + index * 17;
        const int y = 57;
        frame(image, QRect(x - 1, y - 1, 16, 13), kFaceShadow, kFaceLight);
        fill(image, x, y, 14, 8, kOutline);
        fill(image, x + 4, y + 8, 6, 3, kOutline);
        for (int contact = 0; contact < 8; ++contact) {
            image.setPixel(x + 3 + contact, y + 1, kContactGold);
        }
        fill(image, x + 5, y + 14, 4, 1, kEngraving);
    }
    // A console socket at the end of the row.
    frame(image, QRect(246, 59, 20, 9), kFaceShadow, kFaceLight);
    fill(image, 247, 60, 18, 7, kOutline);
    fill(image, 250, 62, 12, 2, kScrewMetal);
    fill(image, 254, 71, 4, 1, kEngraving);
}

QImage applianceArtwork()
{
    QImage image(290, 85, QImage::Format_RGB32);
    image.fill(kApplianceFaceColour);

    // Face bevel: lit along the top, shadowed along the bottom.
    fill(image, 0, 0, 290, 1, kOutline);
    fill(image, 0, 1, 290, 1, kFaceHighlight);
    fill(image, 0, 2, 290, 1, kFaceLight);
    fill(image, 0, 82, 290, 1, kFaceShadow);
    fill(image, 0, 83, 290, 1, kOutline);
    fill(image, 0, 84, 290, 1, kOutline);
    fill(image, 12, 5, 266, 1, kFlameOrange);
    fill(image, 12, 6, 266, 1, kFaceShadow);

    rackEar(image, 0);
    rackEar(image, 282);

    {
        // The brand mark, reduced to the palette when the picture is converted.
        QPainter painter(&image);
        painter.drawImage(20, 11, korvaneEmblem(34));
    }
    vents(image);
    // Groove between the upper face and the row of displays and sockets.
    fill(image, 100, 49, 178, 1, kFaceShadow);
    fill(image, 100, 50, 178, 1, kFaceLight);
    displayBezel(image);
    indicatorPanel(image);
    networkPorts(image);
    return image;
}

// The shield outline shared by the logo and the icon, in the logo's 88 x 80 coordinates.
QPainterPath shieldPath()
{
    QPainterPath path;
    path.moveTo(20, 12);
    path.quadTo(33, 12, 44, 5);
    path.quadTo(55, 12, 68, 12);
    path.lineTo(68, 36);
    path.cubicTo(68, 54, 57, 65, 44, 73);
    path.cubicTo(31, 65, 20, 54, 20, 36);
    path.closeSubpath();
    return path;
}

QPainterPath flamePath(qreal scale)
{
    // A two-tongued flame standing on the shield's centre line; scale shrinks it towards its base.
    QPainterPath path;
    path.moveTo(44, 52);
    path.cubicTo(33, 52, 29, 44, 31, 37);
    path.cubicTo(33, 31, 37, 29, 36, 21);
    path.cubicTo(42, 25, 44, 30, 44, 35);
    path.cubicTo(46, 28, 50, 24, 49, 14);
    path.cubicTo(57, 22, 60, 32, 57, 42);
    path.cubicTo(55, 49, 50, 52, 44, 52);
    path.closeSubpath();
    QTransform toBase;
    toBase.translate(44, 52);
    toBase.scale(scale, scale);
    toBase.translate(-44, -52);
    return toBase.map(path);
}

// Shield, flame and waves, drawn in the logo's coordinates; the painter's transform scales them for the icon.
void drawEmblem(QPainter& painter, bool small)
{
    const QPainterPath shield = shieldPath();

    QLinearGradient steel(0, 5, 0, 73);
    steel.setColorAt(0, QColor(74, 98, 136));
    steel.setColorAt(1, QColor(22, 30, 50));
    painter.setPen(Qt::NoPen);
    painter.setBrush(steel);
    painter.drawPath(shield);

    painter.save();
    painter.setClipPath(shield);
    // The waves: a stream of log lines leaving the wall.
    for (int index = 0; index < 3; ++index) {
        const qreal y = 57 + index * 6;
        QPainterPath wave;
        wave.moveTo(14, y);
        for (int step = 0; step < 5; ++step) {
            const qreal x = 14 + step * 14;
            wave.cubicTo(x + 4, y - 3.5, x + 10, y + 3.5, x + 14, y);
        }
        const int shade = 230 - index * 35;
        painter.setPen(QPen(QColor(40, shade - 40, shade), small ? 3.4 : 2.4, Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(wave);
        if (small) {
            break;
        }
    }
    painter.restore();

    QLinearGradient fire(0, 52, 0, 14);
    fire.setColorAt(0, QColor(255, 214, 64));
    fire.setColorAt(0.45, QColor(246, 128, 24));
    fire.setColorAt(1, QColor(200, 40, 22));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fire);
    painter.drawPath(flamePath(1.0));
    if (!small) {
        QLinearGradient core(0, 52, 0, 30);
        core.setColorAt(0, QColor(255, 250, 214));
        core.setColorAt(1, QColor(255, 206, 70));
        painter.setBrush(core);
        painter.drawPath(flamePath(0.45));
    }

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(188, 204, 226), small ? 4.0 : 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(shield);
}

// Reduces an ARGB picture to at most 256 table entries. Small renderings rarely need more; when they do, the
// rarest colours give way to their nearest kept neighbour.
QImage toIndexed256(const QImage& source)
{
    std::map<QRgb, int> counts;
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            ++counts[source.pixel(x, y)];
        }
    }
    std::vector<std::pair<int, QRgb>> byUse;
    byUse.reserve(counts.size());
    for (const auto& [colour, count] : counts) {
        byUse.emplace_back(count, colour);
    }
    std::stable_sort(byUse.begin(), byUse.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (byUse.size() > 256) {
        byUse.resize(256);
    }
    QList<QRgb> table;
    for (const auto& entry : byUse) {
        table.append(entry.second);
    }

    QImage indexed(source.size(), QImage::Format_Indexed8);
    indexed.setColorTable(table);
    auto distance = [](QRgb a, QRgb b) {
        const int dr = qRed(a) - qRed(b);
        const int dg = qGreen(a) - qGreen(b);
        const int db = qBlue(a) - qBlue(b);
        const int da = qAlpha(a) - qAlpha(b);
        return dr * dr + dg * dg + db * db + 2 * da * da;
    };
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            const QRgb colour = source.pixel(x, y);
            int best = 0;
            for (int index = 1; index < table.size(); ++index) {
                if (distance(colour, table[index]) < distance(colour, table[best])) {
                    best = index;
                }
            }
            indexed.setPixel(x, y, static_cast<uint>(best));
        }
    }
    return indexed;
}

} // namespace

QImage korvaneLogo()
{
    QImage image(88, 80, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient night(0, 0, 0, 80);
    night.setColorAt(0, QColor(30, 40, 64));
    night.setColorAt(1, QColor(8, 11, 22));
    painter.fillRect(image.rect(), night);
    QRadialGradient glow(44, 38, 40);
    glow.setColorAt(0, QColor(255, 120, 30, 90));
    glow.setColorAt(1, QColor(255, 120, 30, 0));
    painter.fillRect(image.rect(), glow);

    drawEmblem(painter, false);
    painter.end();
    return image.convertToFormat(QImage::Format_RGB888);
}

QImage applianceFront()
{
    return applianceArtwork().convertToFormat(QImage::Format_Indexed8, appliancePalette(),
                                              Qt::ThresholdDither | Qt::AvoidDither);
}

QImage korvaneEmblem(int side)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Fit the shield (x 18..70, y 3..75 with its rim) into the square, a little inside the edges.
    const qreal margin = side / 32.0;
    const qreal scale = (side - 2 * margin) / 72.0;
    painter.translate(side / 2.0 - 44 * scale, margin - 3 * scale);
    painter.scale(scale, scale);
    drawEmblem(painter, side < 48);
    painter.end();
    return image;
}

QImage korvaneIcon()
{
    return toIndexed256(korvaneEmblem(32));
}

} // namespace korvane
