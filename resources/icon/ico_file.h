#pragma once

#include <QByteArray>
#include <QList>

// One image of a Windows icon file: its size in pixels and its PNG bytes.
struct IcoImage
{
    int size = 0;
    QByteArray png;
};

// A Windows .ico file holding the given PNG images, which Windows Vista and later read directly.
QByteArray icoFile(const QList<IcoImage> &images);
