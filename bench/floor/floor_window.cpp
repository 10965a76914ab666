// A window with the drill's controls, fonts and texts as they open, a 100 ms timer ticking into
// nothing, and no practice logic or sound: what any Qt Widgets program of this shape costs.
#include "answer_box.h"
#include "form1_controls.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget form;
    const Form1Controls ui = createForm1Controls(&form);
    // The texts the drill shows right after it starts, so the same glyphs are drawn.
    ui.zimu->setText("A");
    for (QLabel *count : {ui.zongshu2, ui.zhengque2, ui.cuowu2})
        count->setText("0");
    ui.sudu2->setText(QStringLiteral("0 字/分"));
    ui.zhengquelv->setText("0 %");
    ui.zhengquelv->adjustSize();
    ui.Timer1->start();
    form.show();
    form.activateWindow();
    ui.Text1->setFocus();
    return QApplication::exec();
}
