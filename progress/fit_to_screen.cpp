#include "fit_to_screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void fitToScreen(QWidget &window, const QSize &preferred)
{
    const QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        window.resize(preferred);
        return;
    }
    const QRect available = screen->availableGeometry();
    // The window manager's title bar and borders come on top of the size asked for.
    const QSize frame(8, 36);
    const QSize size = preferred.boundedTo(available.size() - frame);
    window.resize(size);
    window.move(available.center() - QPoint(size.width() / 2, size.height() / 2));
}
