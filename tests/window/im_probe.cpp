// A plain line edit that prints every key release it receives, one per line, as "release KEY":
// the end-to-end test's proof that an input method is really taking letters from ordinary
// text boxes while the drill's answer box still gets them.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <cstdio>

namespace {

class ReleasePrinter : public QLineEdit
{
protected:
    void keyReleaseEvent(QKeyEvent *event) override
    {
        std::printf("release %d\n", event->key());
        std::fflush(stdout);
        QLineEdit::keyReleaseEvent(event);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ReleasePrinter edit;
    edit.show();
    edit.activateWindow();
    edit.setFocus();
    std::printf("ready\n");
    std::fflush(stdout);
    return QApplication::exec();
}
