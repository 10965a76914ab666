#pragma once

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Runs a Qt Test object on the offscreen platform with one screen of a netbook's 1024 x 600, the
// smallest the windows must suit; for a test's own main().
template<typename Test> int execOnSmallScreen(int argc, char **argv)
{
    const QTemporaryDir folder;
    QFile screens(folder.filePath("screens.json"));
    if (!screens.open(QIODevice::WriteOnly)
        || screens.write(R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": 1024,
                                          "height": 600, "logicalDpi": 96}]})")
            < 0)
        qFatal("cannot write %s", qPrintable(screens.fileName()));
    screens.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    QApplication application(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}
