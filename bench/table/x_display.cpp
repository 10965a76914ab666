#include "x_display.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <map>
#include <poll.h>

struct XDisplay::Private
{
    Display *display = nullptr;
    int damageEvent = 0;
    std::map<Window, Damage> watched;
};

XDisplay::XDisplay(const std::string &name)
    : m_private(new Private)
{
    Display *display = XOpenDisplay(name.c_str());
    m_private->display = display;
    if (!display)
        return;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    const bool xtest = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
    const bool damage = XDamageQueryExtension(display, &m_private->damageEvent, &errorBase);
    m_usable = xtest && damage;
    // Windows come and go under the benchmark: a request about one that went away (its damage
    // object goes with it) must not end the benchmark.
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
}

XDisplay::~XDisplay()
{
    if (m_private->display)
        XCloseDisplay(m_private->display);
    delete m_private;
}

void XDisplay::watchForNewWindow()
{
    Display *display = m_private->display;
    for (const auto &[window, damage] : m_private->watched)
        XDamageDestroy(display, damage);
    m_private->watched.clear();
    XSync(display, True); // drops the events of earlier windows
}

bool XDisplay::showsDrawing(unsigned long window)
{
    Display *display = m_private->display;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
        return false;
    XImage *image = XGetImage(display, window, 0, 0, unsigned(attributes.width),
                              unsigned(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return false;
    const unsigned long first = XGetPixel(image, 0, 0);
    bool varied = false;
    for (int y = 0; y < image->height && !varied; y += 2)
        for (int x = 0; x < image->width && !varied; ++x)
            varied = XGetPixel(image, x, y) != first;
    XDestroyImage(image);
    return varied;
}

std::optional<XDisplay::Clock::time_point>
XDisplay::waitForFirstFrame(std::chrono::milliseconds timeout)
{
    return watchStartup(timeout, std::chrono::milliseconds(0)).firstFrame;
}

XDisplay::Startup XDisplay::watchStartup(std::chrono::milliseconds timeout,
                                         std::chrono::milliseconds quiet,
                                         const std::function<void()> &onMapped)
{
    Display *display = m_private->display;
    const auto deadline = Clock::now() + timeout;
    Startup seen;
    std::optional<Clock::time_point> lastDrawn;
    while (Clock::now() < deadline) {
        if (lastDrawn && Clock::now() - *lastDrawn >= quiet) {
            seen.settled = lastDrawn;
            break;
        }
        if (XPending(display) == 0) {
            pollfd wanted {ConnectionNumber(display), POLLIN, 0};
            poll(&wanted, 1, 1);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == CreateNotify && event.xcreatewindow.parent == DefaultRootWindow(display)
            && !event.xcreatewindow.override_redirect) {
            // Watched from its creation, so no drawing after it is mapped can be missed.
            m_private->watched[event.xcreatewindow.window] =
                XDamageCreate(display, event.xcreatewindow.window, XDamageReportNonEmpty);
        } else if (event.type == MapNotify && m_private->watched.count(event.xmap.window)
                   && !seen.mapped) {
            seen.mapped = Clock::now();
            if (onMapped)
                onMapped();
        } else if (event.type == m_private->damageEvent + XDamageNotify) {
            const auto &notify = reinterpret_cast<const XDamageNotifyEvent &>(event);
            XDamageSubtract(display, notify.damage, None, None);
            if (seen.firstFrame)
                lastDrawn = Clock::now();
            else if (showsDrawing(notify.drawable))
                seen.firstFrame = lastDrawn = Clock::now();
        }
    }
    return seen;
}

XDisplay::Clock::time_point XDisplay::sendKey(unsigned long keysym, bool press)
{
    Display *display = m_private->display;
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), press ? True : False,
                      CurrentTime);
    XSync(display, False);
    return Clock::now();
}
