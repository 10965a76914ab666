#include "program_icon.h"

#include <QIcon>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QString>

#include <algorithm>
#include <array>

namespace {

constexpr std::array drawnSizes {32, 48, 64, 128, 256};

// Decodes a size each time it is asked for and keeps nothing. The window system copies the icon
// once; Qt's own engine would keep every decoded size (a third of a MiB) for as long as the
// program runs.
class DrawnSizesEngine final : public QIconEngine
{
public:
    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        // The smallest drawn size that covers the request, else the largest.
        int drawn = drawnSizes.back();
        for (const int candidate : drawnSizes) {
            if (candidate >= size.width() && candidate >= size.height()) {
                drawn = candidate;
                break;
            }
        }
        QImage image(QString(":/icons/typing-drill-%1.png").arg(drawn));
        // Scaled down between the drawn sizes, never up: as actualSize() says.
        if (image.width() > size.width() || image.height() > size.height())
            image = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return QPixmap::fromImage(std::move(image));
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min({size.width(), size.height(), drawnSizes.back()});
        return {side, side};
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int side : drawnSizes)
            sizes.append(QSize(side, side));
        return sizes;
    }

    QString key() const override { return QStringLiteral("typing-drill"); }

    QIconEngine *clone() const override { return new DrawnSizesEngine; }
};

} // namespace

QIcon programIcon()
{
    return QIcon(new DrawnSizesEngine);
}
