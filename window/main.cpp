#include "application_info.h"
#include "detectable_auto_repeat.h"
#include "form1.h"
#include "lazy_sound_cues.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationInfo::name);
    QApplication::setApplicationVersion(applicationInfo::version);
    QGuiApplication::setDesktopFileName(applicationInfo::desktopFileName);
    requestDetectableAutoRepeat();

    // The cues outlive the window that plays them; their end stops any sound still playing.
    LazySoundCues cues;
    Form1 form([&cues](Verdict verdict) { cues.playCue(verdict); }, [&cues] { cues.prepare(); });
    return QApplication::exec();
}
