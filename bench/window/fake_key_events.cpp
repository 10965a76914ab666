#include "fake_key_events.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

FakeKeyEvents::FakeKeyEvents(unsigned long keysym)
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display *display = x11 ? x11->display() : nullptr;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!display || !XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor))
        return;
    m_display = display;
    m_keycode = XKeysymToKeycode(display, keysym);
}

void FakeKeyEvents::send(bool press) const
{
    auto *display = static_cast<Display *>(m_display);
    XTestFakeKeyEvent(display, m_keycode, press ? True : False, CurrentTime);
    XFlush(display);
}

void FakeKeyEvents::setDetectableAutoRepeat(bool on) const
{
    Bool supported = False;
    XkbSetDetectableAutoRepeat(static_cast<Display *>(m_display), on ? True : False, &supported);
}
