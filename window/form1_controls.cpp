#include "form1_controls.h"

#include "answer_box.h"
#include "drill_font.h"
#include "program_icon.h"
#include "twips.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {

constexpr double defaultPoints = 9;
constexpr double largePoints = 15.75;
constexpr int clientWidth = 7095;
constexpr int clientHeight = 5295;
constexpr int timerIntervalMs = 100;

// A position and size in twips.
struct TwipsRect
{
    int left;
    int top;
    int width;
    int height;
};

// Decoding the icon's five sizes and handing them to the window system costs the main thread
// milliseconds before the first frame (see bench/README.md), and nobody looks at the icon in that
// moment: the form gets it once its first frame is drawn.
class IconOnceDrawn : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            auto *form = static_cast<QWidget *>(watched);
            // Queued: the paint and the frame's flush come first.
            QTimer::singleShot(0, form, [form] { form->setWindowIcon(programIcon()); });
            form->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

} // namespace

Form1Controls createForm1Controls(QWidget *form)
{
    const QScreen *screen = form->screen();
    const double dotsPerInch = screen ? screen->logicalDotsPerInch() : 96;
    const auto px = [dotsPerInch](int twips) {
        return twipsToPixels(twips, dotsPerInch);
    };
    form->setObjectName("Form1");
    form->setWindowTitle(QStringLiteral("青禾打字软件V1.1\u2014送给我的宝贝禾乖乖"));
    form->installEventFilter(new IconOnceDrawn(form));
    form->setFont(drillFont(defaultPoints, QFont::Normal));
    form->setFixedSize(px(clientWidth), px(clientHeight));

    const auto place = [&px](QWidget *control, const char *name, TwipsRect at) {
        control->setObjectName(name);
        control->setGeometry(px(at.left), px(at.top), px(at.width), px(at.height));
    };
    const auto label = [&place](QWidget *parent, const char *name, TwipsRect at,
                                const QString &text, Qt::Alignment alignment) {
        auto *created = new QLabel(text, parent);
        place(created, name, at);
        created->setAlignment(alignment | Qt::AlignTop);
        return created;
    };
    const auto button = [&place, form](const char *name, TwipsRect at, const QString &text) {
        auto *created = new QPushButton(text, form);
        place(created, name, at);
        // Buttons take the focus by Tab only; Enter activates the focused one, as in a dialog.
        created->setFocusPolicy(Qt::TabFocus);
        created->setAutoDefault(true);
        return created;
    };

    Form1Controls ui;
    ui.Command1 = button("Command1", {600, 4200, 2295, 375}, QStringLiteral("重来"));
    ui.Command1->setDefault(true);
    ui.Command2 = button("Command2", {3840, 4200, 2295, 375}, QStringLiteral("退出"));

    ui.Timer1 = new QTimer(form);
    ui.Timer1->setObjectName("Timer1");
    // The drill measures time in these ticks, so a coarse timer's 5 % slack would skew the speed.
    ui.Timer1->setTimerType(Qt::PreciseTimer);
    ui.Timer1->setInterval(timerIntervalMs);

    ui.Text1 = new AnswerBox(form);
    place(ui.Text1, "Text1", {120, 3240, 6855, 735});
    ui.Text1->setFont(drillFont(largePoints, QFont::Normal));
    ui.Text1->setAccessibleName(QStringLiteral("输入框"));
    ui.Text1->setAccessibleDescription(QStringLiteral("输入框"));

    ui.Frame1 = new QGroupBox(QStringLiteral("录入统计："), form);
    place(ui.Frame1, "Frame1", {240, 240, 6615, 1935});

    const Qt::Alignment left = Qt::AlignLeft;
    const Qt::Alignment centre = Qt::AlignHCenter;
    ui.sudu2 = label(ui.Frame1, "sudu2", {960, 1440, 3615, 255}, {}, left);
    ui.cuowu2 = label(ui.Frame1, "cuowu2", {960, 1080, 1575, 255}, {}, left);
    ui.zhengque2 = label(ui.Frame1, "zhengque2", {960, 720, 1575, 255}, {}, left);
    ui.zongshu2 = label(ui.Frame1, "zongshu2", {960, 360, 1575, 255}, {}, left);
    ui.zongshu =
        label(ui.Frame1, "zongshu", {270, 360, 555, 180}, QStringLiteral("总数："), centre);
    ui.zhengque =
        label(ui.Frame1, "zhengque", {270, 720, 555, 180}, QStringLiteral("正确："), centre);
    ui.cuowu = label(ui.Frame1, "cuowu", {270, 1080, 555, 180}, QStringLiteral("错误："), centre);
    ui.sudu = label(ui.Frame1, "sudu", {270, 1440, 555, 180}, QStringLiteral("速度："), centre);
    ui.zhengquelv = new QLabel(ui.Frame1);
    ui.zhengquelv->setFont(drillFont(largePoints, QFont::Bold));
    place(ui.zhengquelv, "zhengquelv", {5280, 720, 195, 315});
    ui.zhengquelv->setAlignment(centre | Qt::AlignTop);

    ui.sheji = label(form, "sheji", {1425, 4920, 4230, 180},
                     QStringLiteral("设计：青禾小组\u3000网址：qinghe.example.org"), centre);
    ui.zimu = label(form, "zimu", {240, 2400, 6615, 615}, {}, centre);
    ui.zimu->setFont(drillFont(largePoints, QFont::Bold));

    // A label's accessible name would replace its text on the accessibility bus and hide the
    // number, so the meaning of each value goes into the description.
    ui.zongshu2->setAccessibleDescription(QStringLiteral("总数"));
    ui.zhengque2->setAccessibleDescription(QStringLiteral("正确"));
    ui.cuowu2->setAccessibleDescription(QStringLiteral("错误"));
    ui.sudu2->setAccessibleDescription(QStringLiteral("速度"));
    ui.zhengquelv->setAccessibleDescription(QStringLiteral("正确率"));
    ui.zimu->setAccessibleDescription(QStringLiteral("字母"));

    QWidget::setTabOrder(ui.Text1, ui.Command2);
    QWidget::setTabOrder(ui.Command2, ui.Command1);
    return ui;
}

void sizeLabelsToText(const Form1Controls &ui)
{
    for (QLabel *label : {ui.zongshu, ui.zhengque, ui.cuowu, ui.sudu, ui.sheji})
        label->adjustSize();
}
