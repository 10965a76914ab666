#include "form1.h"

#include "answer_box.h"
#include "key_code.h"
#include "program_icon.h"
#include "twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {

// SimSun is rarely installed on Linux, and fontconfig's own fallback is a Japanese sans face.
const QStringList fontFamilies {"SimSun",
                                "NSimSun",
                                "Noto Serif CJK SC",
                                "Source Han Serif SC",
                                "AR PL UMing CN",
                                "WenQuanYi Micro Hei"};

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

enum class Sizing { Fixed, ToText };

QFont drillFont(double points, QFont::Weight weight)
{
    QFont font;
    font.setFamilies(fontFamilies);
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

bool isEnter(const QKeyEvent &event)
{
    return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
}

QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

Form1::Form1(CuePlayer playCue, QWidget *parent)
    : QWidget(parent)
    , m_playCue(std::move(playCue))
{
    if (const QScreen *shown = screen())
        m_dotsPerInch = shown->logicalDotsPerInch();
    createControls();
    Form_Load();
}

Form1::~Form1() = default;

int Form1::px(int twips) const
{
    return twipsToPixels(twips, m_dotsPerInch);
}

void Form1::createControls()
{
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("青禾打字软件V1.1\u2014送给我的宝贝禾乖乖"));
    setWindowIcon(programIcon());
    setFont(drillFont(defaultPoints, QFont::Normal));
    setFixedSize(px(clientWidth), px(clientHeight));

    const auto place = [this](QWidget *control, const char *name, TwipsRect at) {
        control->setObjectName(name);
        control->setGeometry(px(at.left), px(at.top), px(at.width), px(at.height));
    };
    const auto label = [&place](QWidget *parent, const char *name, TwipsRect at,
                                const QString &text, Qt::Alignment alignment, Sizing sizing) {
        auto *created = new QLabel(text, parent);
        place(created, name, at);
        created->setAlignment(alignment | Qt::AlignTop);
        if (sizing == Sizing::ToText)
            created->adjustSize();
        return created;
    };
    const auto button = [&place, this](const char *name, TwipsRect at, const QString &text) {
        auto *created = new QPushButton(text, this);
        place(created, name, at);
        // Buttons take the focus by Tab only; Enter activates the focused one, as in a dialog.
        created->setFocusPolicy(Qt::TabFocus);
        created->setAutoDefault(true);
        return created;
    };

    m_Command1 = button("Command1", {600, 4200, 2295, 375}, QStringLiteral("重来"));
    m_Command1->setDefault(true);
    m_Command2 = button("Command2", {3840, 4200, 2295, 375}, QStringLiteral("退出"));

    m_Timer1 = new QTimer(this);
    m_Timer1->setObjectName("Timer1");
    // The drill measures time in these ticks, so a coarse timer's 5 % slack would skew the speed.
    m_Timer1->setTimerType(Qt::PreciseTimer);
    m_Timer1->setInterval(timerIntervalMs);

    m_Text1 = new AnswerBox(this);
    place(m_Text1, "Text1", {120, 3240, 6855, 735});
    m_Text1->setFont(drillFont(largePoints, QFont::Normal));
    m_Text1->setAccessibleName(QStringLiteral("输入框"));
    m_Text1->setAccessibleDescription(QStringLiteral("输入框"));

    m_Frame1 = new QGroupBox(QStringLiteral("录入统计："), this);
    place(m_Frame1, "Frame1", {240, 240, 6615, 1935});

    const Qt::Alignment left = Qt::AlignLeft;
    const Qt::Alignment centre = Qt::AlignHCenter;
    m_sudu2 = label(m_Frame1, "sudu2", {960, 1440, 3615, 255}, {}, left, Sizing::Fixed);
    m_cuowu2 = label(m_Frame1, "cuowu2", {960, 1080, 1575, 255}, {}, left, Sizing::Fixed);
    m_zhengque2 = label(m_Frame1, "zhengque2", {960, 720, 1575, 255}, {}, left, Sizing::Fixed);
    m_zongshu2 = label(m_Frame1, "zongshu2", {960, 360, 1575, 255}, {}, left, Sizing::Fixed);
    m_zongshu = label(m_Frame1, "zongshu", {270, 360, 555, 180}, QStringLiteral("总数："), centre,
                      Sizing::ToText);
    m_zhengque = label(m_Frame1, "zhengque", {270, 720, 555, 180}, QStringLiteral("正确："), centre,
                       Sizing::ToText);
    m_cuowu = label(m_Frame1, "cuowu", {270, 1080, 555, 180}, QStringLiteral("错误："), centre,
                    Sizing::ToText);
    m_sudu = label(m_Frame1, "sudu", {270, 1440, 555, 180}, QStringLiteral("速度："), centre,
                   Sizing::ToText);
    m_zhengquelv = new QLabel(m_Frame1);
    m_zhengquelv->setFont(drillFont(largePoints, QFont::Bold));
    place(m_zhengquelv, "zhengquelv", {5280, 720, 195, 315});
    m_zhengquelv->setAlignment(centre | Qt::AlignTop);

    m_sheji = label(this, "sheji", {1425, 4920, 4230, 180},
                    QStringLiteral("设计：青禾小组\u3000网址：qinghe.example.org"), centre,
                    Sizing::ToText);
    m_zimu = label(this, "zimu", {240, 2400, 6615, 615}, {}, centre, Sizing::Fixed);
    m_zimu->setFont(drillFont(largePoints, QFont::Bold));

    // A label's accessible name would replace its text on the accessibility bus and hide the
    // number, so the meaning of each value goes into the description.
    m_zongshu2->setAccessibleDescription(QStringLiteral("总数"));
    m_zhengque2->setAccessibleDescription(QStringLiteral("正确"));
    m_cuowu2->setAccessibleDescription(QStringLiteral("错误"));
    m_sudu2->setAccessibleDescription(QStringLiteral("速度"));
    m_zhengquelv->setAccessibleDescription(QStringLiteral("正确率"));
    m_zimu->setAccessibleDescription(QStringLiteral("字母"));

    setTabOrder(m_Text1, m_Command2);
    setTabOrder(m_Command2, m_Command1);

    connect(m_Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    m_Text1->installEventFilter(this);
    m_Timer1->start();
}

void Form1::Form_Load()
{
    m_drill.reset();
    writeStatistics(resetTexts(m_drill));
    show();
    // Without a window manager only a window that asks for it gets the keyboard.
    activateWindow();
    m_Text1->setFocus();
}

void Form1::Command1_Click()
{
    if (m_ended)
        return;
    m_drill.reset();
    writeStatistics(resetTexts(m_drill));
    m_Text1->clear();
    m_Text1->setFocus();
}

void Form1::Command2_Click()
{
    endProgram();
}

void Form1::Text1_KeyUp(KeyCode keyCode, [[maybe_unused]] Qt::KeyboardModifiers shift)
{
    const Verdict verdict = m_drill.keyReleased(keyCode);
    m_playCue(verdict);
    writeStatistics(keyTexts(m_drill));
    m_Text1->clear();
    m_Text1->setFocus();
}

void Form1::Timer1_Timer()
{
    if (m_ended)
        return;
    m_drill.tick();
}

void Form1::writeStatistics(const StatisticsText &texts)
{
    m_zimu->setText(fromUtf8(texts.letter));
    m_zongshu2->setText(fromUtf8(texts.total));
    m_zhengque2->setText(fromUtf8(texts.correct));
    m_cuowu2->setText(fromUtf8(texts.wrong));
    m_sudu2->setText(fromUtf8(texts.speed));
    m_zhengquelv->setText(fromUtf8(texts.accuracy));
    m_zhengquelv->adjustSize();
}

void Form1::endProgram()
{
    if (m_ended)
        return;
    m_ended = true;
    close();
    QCoreApplication::exit(0);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_Text1)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        // A key pressed before the box took the focus was not typed into it: the Enter that
        // restarted on a focused button, the Tab that came back from one.
        m_pressedInText1.clear();
        return false;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        break;
    default:
        return false;
    }
    if (m_ended)
        return true;
    const auto &key = *static_cast<QKeyEvent *>(event);
    const KeyCode keyCode = virtualKeyCode(key);

    if (event->type() == QEvent::KeyPress) {
        if (!isEnter(key)) {
            m_pressedInText1.insert(keyCode);
            return false;
        }
        // Enter restarts; its release is no typed answer, so it is not recorded as pressed.
        if (!key.isAutoRepeat())
            m_Command1->click();
        return true;
    }
    // A key held down is judged once, at its real release.
    if (key.isAutoRepeat() || !m_pressedInText1.remove(keyCode))
        return true;
    Text1_KeyUp(keyCode, key.modifiers());
    return true;
}

void Form1::keyPressEvent(QKeyEvent *event)
{
    // Esc works as the cancel button wherever the focus is in the window.
    if (event->key() == Qt::Key_Escape && !m_ended) {
        m_Command2->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    endProgram();
    QWidget::closeEvent(event);
}
