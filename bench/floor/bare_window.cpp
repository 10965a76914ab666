// The floor the program is measured against: a bare Qt 6 Widgets window of the program's size,
// with the same font list and sizes, the same texts as the program shows when it opens, a focused
// line edit and a 100 ms timer ticking into nothing. Plain Qt and the program's font, no other code
// of the project: what any Widgets program of this shape costs, without icon, practice logic or
// sound.
#include "drill_font.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

QLabel *label(QWidget *parent, const QString &text, QRect at)
{
    auto *created = new QLabel(text, parent);
    created->setGeometry(at);
    return created;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget form;
    form.setWindowTitle(QStringLiteral("青禾打字软件V1.1\u2014送给我的宝贝禾乖乖"));
    form.setFont(drillFont(9, QFont::Normal));
    form.setFixedSize(473, 353);

    auto *frame = new QGroupBox(QStringLiteral("录入统计："), &form);
    frame->setGeometry(16, 16, 441, 129);
    const QStringList names {QStringLiteral("总数："), QStringLiteral("正确："),
                             QStringLiteral("错误："), QStringLiteral("速度：")};
    const QStringList values {"0", "0", "0", QStringLiteral("0 字/分")};
    for (int row = 0; row < 4; ++row) {
        label(frame, names[row], QRect(18, 24 + 24 * row, 37, 12));
        label(frame, values[row], QRect(64, 24 + 24 * row, 241, 17));
    }
    label(frame, "0 %", QRect(352, 48, 40, 21))->setFont(drillFont(15.75, QFont::Bold));
    QLabel *letter = label(&form, "A", QRect(16, 160, 441, 41));
    letter->setFont(drillFont(15.75, QFont::Bold));
    letter->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto *answer = new QLineEdit(&form);
    answer->setMaxLength(1); // so that the benchmark's typing does not grow it
    answer->setGeometry(8, 216, 457, 49);
    answer->setFont(drillFont(15.75, QFont::Normal));
    (new QPushButton(QStringLiteral("重来"), &form))->setGeometry(40, 280, 153, 25);
    (new QPushButton(QStringLiteral("退出"), &form))->setGeometry(256, 280, 153, 25);
    label(&form, QStringLiteral("设计：青禾小组\u3000网址：qinghe.example.org"),
          QRect(95, 328, 282, 12));

    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.start(100);
    form.show();
    form.activateWindow();
    answer->setFocus();
    return QApplication::exec();
}
