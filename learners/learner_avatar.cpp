#include "learner_avatar.h"

#include "drill_font.h"
#include "learner_name.h"

#include <QPainter>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Each has a contrast of at least 4.5 to 1 with white, so the letter reads at any size.
constexpr std::array<QRgb, 10> palette {0xd32f2f, 0xc2185b, 0x7b1fa2, 0x303f9f, 0x1976d2,
                                        0x00838f, 0x00796b, 0x2e7d32, 0xbf360c, 0x5d4037};
constexpr QRgb newLearnerGrey = 0x616161;

QString keyOf(const QString &name)
{
    const QString kept = learnerName::normalized(name);
    return learnerName::key(kept.isEmpty() ? name : kept);
}

// FNV-1a rather than qHash, whose value may change with Qt's version: a child's colour stays.
quint32 stableHash(const QString &text)
{
    quint32 hash = 2166136261u;
    for (const QChar c : text) {
        hash ^= c.unicode();
        hash *= 16777619u;
    }
    return hash;
}

// The first character as a reader sees it (a letter with its accents, an emoji with its
// modifiers), in the form every spelling of the learner's name shares: capital, half-width.
QString initialOf(const QString &name)
{
    const QString kept = learnerName::normalized(name);
    if (kept.isEmpty())
        return {};
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, kept);
    const qsizetype end = graphemes.toNextBoundary();
    QString first = kept.left(end > 0 ? end : 1);
    const QList<uint> codes = first.toUcs4();
    const QChar::Decomposition tag = QChar::decompositionTag(codes.front());
    if (codes.size() == 1 && (tag == QChar::Wide || tag == QChar::Narrow))
        first = QChar::decomposition(codes.front());
    return first.toUpper();
}

QPixmap disc(const QString &text, QColor colour, int size, qreal devicePixelRatio)
{
    const int side = static_cast<int>(std::lround(size * devicePixelRatio));
    QPixmap pixmap(side, side);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const QRectF area(0, 0, size, size);
    painter.drawEllipse(area);
    if (!text.isEmpty()) {
        QFont font = drillFont(9, QFont::Bold);
        font.setPixelSize(std::max(1, size / 2));
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(area, Qt::AlignCenter, text);
    }
    return pixmap;
}

} // namespace

QColor learnerColour(const QString &name)
{
    return QColor::fromRgb(palette[stableHash(keyOf(name)) % palette.size()]);
}

QPixmap learnerAvatar(const QString &name, int size, qreal devicePixelRatio)
{
    return disc(initialOf(name), learnerColour(name), size, devicePixelRatio);
}

QPixmap newLearnerAvatar(int size, qreal devicePixelRatio)
{
    return disc(QStringLiteral("+"), QColor::fromRgb(newLearnerGrey), size, devicePixelRatio);
}
