#include "detectable_auto_repeat.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>

bool requestDetectableAutoRepeat()
{
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display())
        return false;
    Bool supported = False;
    // A per-client flag: other programs on the same display keep their usual auto-repeat.
    return XkbSetDetectableAutoRepeat(x11->display(), True, &supported) && supported;
}
