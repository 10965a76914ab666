#include "application_info.h"
#include "detectable_auto_repeat.h"
#include "form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationInfo::name);
    QApplication::setApplicationVersion(applicationInfo::version);
    QGuiApplication::setDesktopFileName(applicationInfo::desktopFileName);
    requestDetectableAutoRepeat();

    Form1 form([](Verdict) {});
    return QApplication::exec();
}
