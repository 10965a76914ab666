#include "smiley.h"

#include <QColor>
#include <QString>

#include <array>
#include <cmath>
#include <numbers>

namespace {

// The inks of the face; their order gives the indexes of the 32 px icon's colour table, which
// must stay within 16 colours.
enum Ink : uchar { Clear, Outline, Feature, Face, Shade, Highlight, InkCount };

constexpr std::array<QRgb, InkCount> inkColours = {
    qRgba(0, 0, 0, 0), // Clear
    qRgb(0x5a, 0x3a, 0x00), // Outline
    qRgb(0x3b, 0x24, 0x00), // Feature: eyes and mouth
    qRgb(0xff, 0xd8, 0x1a), // Face
    qRgb(0xf0, 0xa8, 0x00), // Shade
    qRgb(0xff, 0xf6, 0xb0), // Highlight
};

// The shapes, in units of the icon's width, with the origin at the top-left corner and y down.
constexpr double centre = 0.5;
constexpr double faceRadius = 0.48;
constexpr double outlineWidth = 0.04;
// The lit part of the face is a circle shifted towards the top left; the rest is in shade.
constexpr double lightX = 0.45, lightY = 0.44, lightRadius = 0.43;
constexpr double highlightX = 0.33, highlightY = 0.22, highlightRx = 0.10, highlightRy = 0.055;
constexpr double eyeLeftX = 0.36, eyeRightX = 0.64, eyeY = 0.37, eyeRx = 0.06, eyeRy = 0.105;
constexpr double mouthX = 0.5, mouthY = 0.50, mouthRadius = 0.26, mouthWidth = 0.075;
// The mouth's arc runs below its centre between these angles (degrees, clockwise from +x).
constexpr double mouthFrom = 25, mouthTo = 155;

double squared(double v)
{
    return v * v;
}

bool inEllipse(double x, double y, double cx, double cy, double rx, double ry)
{
    return squared((x - cx) / rx) + squared((y - cy) / ry) <= 1.0;
}

double radians(double degrees)
{
    return degrees * std::numbers::pi / 180.0;
}

bool inMouth(double x, double y)
{
    const double half = mouthWidth / 2;
    for (const double angle : {mouthFrom, mouthTo}) {
        const double endX = mouthX + mouthRadius * std::cos(radians(angle));
        const double endY = mouthY + mouthRadius * std::sin(radians(angle));
        if (std::hypot(x - endX, y - endY) <= half)
            return true;
    }
    const double distance = std::hypot(x - mouthX, y - mouthY);
    if (std::abs(distance - mouthRadius) > half)
        return false;
    const double angle = std::atan2(y - mouthY, x - mouthX);
    return angle >= radians(mouthFrom) && angle <= radians(mouthTo);
}

bool inFace(double x, double y)
{
    return std::hypot(x - centre, y - centre) <= faceRadius;
}

// The ink at a point of the unit square: the whole design in one function, so every size agrees.
// The outline is left out when the caller draws it itself.
Ink inkAt(double x, double y, double outline = outlineWidth)
{
    const double distance = std::hypot(x - centre, y - centre);
    if (distance > faceRadius)
        return Clear;
    if (distance > faceRadius - outline)
        return Outline;
    if (inMouth(x, y) || inEllipse(x, y, eyeLeftX, eyeY, eyeRx, eyeRy)
        || inEllipse(x, y, eyeRightX, eyeY, eyeRx, eyeRy))
        return Feature;
    if (inEllipse(x, y, highlightX, highlightY, highlightRx, highlightRy))
        return Highlight;
    return std::hypot(x - lightX, y - lightY) <= lightRadius ? Face : Shade;
}

// One sample per pixel centre, so every pixel takes exactly one ink: crisp at 32 px. The outline
// is the face's edge pixels (those with a neighbour outside), one pixel wide all round, where a
// sampled ring would come out one or two pixels wide by chance.
QImage drawIndexed(int size)
{
    const auto centreOf = [size](int pixel) {
        return (pixel + 0.5) / size;
    };
    const auto faceAt = [&](int column, int row) {
        return inFace(centreOf(column), centreOf(row));
    };
    QImage image(size, size, QImage::Format_Indexed8);
    image.setColorTable(QList<QRgb>(inkColours.begin(), inkColours.end()));
    for (int row = 0; row < size; ++row) {
        uchar *line = image.scanLine(row);
        for (int column = 0; column < size; ++column) {
            const bool edge = faceAt(column, row)
                && !(faceAt(column - 1, row) && faceAt(column + 1, row) && faceAt(column, row - 1)
                     && faceAt(column, row + 1));
            line[column] = edge ? Outline : inkAt(centreOf(column), centreOf(row), 0);
        }
    }
    return image;
}

// A grid of samples per pixel, averaged with alpha weighting, for smooth edges at larger sizes.
QImage drawSmooth(int size)
{
    constexpr int grid = 4;
    QImage image(size, size, QImage::Format_ARGB32);
    for (int row = 0; row < size; ++row) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(row));
        for (int column = 0; column < size; ++column) {
            int red = 0, green = 0, blue = 0, alpha = 0;
            for (int sy = 0; sy < grid; ++sy) {
                for (int sx = 0; sx < grid; ++sx) {
                    const double x = (column + (sx + 0.5) / grid) / size;
                    const double y = (row + (sy + 0.5) / grid) / size;
                    const QRgb colour = inkColours[inkAt(x, y)];
                    const int a = qAlpha(colour);
                    red += qRed(colour) * a;
                    green += qGreen(colour) * a;
                    blue += qBlue(colour) * a;
                    alpha += a;
                }
            }
            // Integer arithmetic with rounding, so the same size always gives the same bytes.
            line[column] = alpha == 0
                ? qRgba(0, 0, 0, 0)
                : qRgba((red + alpha / 2) / alpha, (green + alpha / 2) / alpha,
                        (blue + alpha / 2) / alpha, (alpha + grid * grid / 2) / (grid * grid));
        }
    }
    return image;
}

QString number(double unit)
{
    return QString::number(unit * 256, 'f', 2);
}

QString colourName(Ink ink)
{
    return QColor(inkColours[ink]).name();
}

} // namespace

QImage drawSmiley(int size)
{
    return size <= 32 ? drawIndexed(size) : drawSmooth(size);
}

QByteArray smileySvg()
{
    const double inner = faceRadius - outlineWidth;
    const auto point = [](double angle) {
        return number(mouthX + mouthRadius * std::cos(radians(angle))) + ' '
            + number(mouthY + mouthRadius * std::sin(radians(angle)));
    };
    QString svg;
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
           "viewBox=\"0 0 256 256\">\n";
    svg += QString("  <clipPath id=\"face\"><circle cx=\"%1\" cy=\"%1\" r=\"%2\"/></clipPath>\n")
               .arg(number(centre), number(inner));
    svg += QString("  <circle cx=\"%1\" cy=\"%1\" r=\"%2\" fill=\"%3\" stroke=\"%4\" "
                   "stroke-width=\"%5\"/>\n")
               .arg(number(centre), number(faceRadius - outlineWidth / 2), colourName(Shade),
                    colourName(Outline), number(outlineWidth));
    svg +=
        QString("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"%4\" clip-path=\"url(#face)\"/>\n")
            .arg(number(lightX), number(lightY), number(lightRadius), colourName(Face));
    svg += QString("  <ellipse cx=\"%1\" cy=\"%2\" rx=\"%3\" ry=\"%4\" fill=\"%5\"/>\n")
               .arg(number(highlightX), number(highlightY), number(highlightRx),
                    number(highlightRy), colourName(Highlight));
    for (const double eyeX : {eyeLeftX, eyeRightX})
        svg +=
            QString("  <ellipse cx=\"%1\" cy=\"%2\" rx=\"%3\" ry=\"%4\" fill=\"%5\"/>\n")
                .arg(number(eyeX), number(eyeY), number(eyeRx), number(eyeRy), colourName(Feature));
    svg += QString("  <path d=\"M %1 A %2 %2 0 0 1 %3\" fill=\"none\" stroke=\"%4\" "
                   "stroke-width=\"%5\" stroke-linecap=\"round\"/>\n")
               .arg(point(mouthFrom), number(mouthRadius), point(mouthTo), colourName(Feature),
                    number(mouthWidth));
    svg += "</svg>\n";
    return svg.toUtf8();
}
