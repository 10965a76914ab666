#include "form1.h"

#include <QAccessible>
#include <QGroupBox>
#include <QInputMethodQueryEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const QStringList expectedFamilies {"SimSun",
                                    "NSimSun",
                                    "Noto Serif CJK SC",
                                    "Source Han Serif SC",
                                    "AR PL UMing CN",
                                    "WenQuanYi Micro Hei"};

QStringList namedChildren(const QObject *parent)
{
    QStringList names;
    for (const QObject *child : parent->children()) {
        if (!child->objectName().isEmpty() && !child->objectName().startsWith("qt_"))
            names << child->objectName();
    }
    return names;
}

} // namespace

class TestForm1Layout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void windowIsFixedWithTitleAndIcon();
    void controlsAreCreatedInOrder();
    void controlsStandWhereDesigned_data();
    void controlsStandWhereDesigned();
    void selfSizingLabelsFollowTheirText();
    void fontsFollowTheDesign();
    void labelsAlignAsDesigned();
    void creditLineNamesTheMakers();
    void onlyTheAnswerBoxAndButtonsTakeFocus();
    void answerBoxRefusesInputMethodsAndMenus();
    void timerTicksEvery100Ms();
    void screenReadersGetValuesAndMeanings();

private:
    QWidget *control(const char *name) const;

    std::unique_ptr<Form1> m_form;
};

void TestForm1Layout::initTestCase()
{
    QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
}

void TestForm1Layout::init()
{
    m_form = std::make_unique<Form1>([](Verdict) {});
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void TestForm1Layout::cleanup()
{
    m_form.reset();
}

QWidget *TestForm1Layout::control(const char *name) const
{
    auto *found = m_form->findChild<QWidget *>(name);
    if (!found)
        qFatal("no control named %s", name);
    return found;
}

void TestForm1Layout::windowIsFixedWithTitleAndIcon()
{
    QCOMPARE(m_form->objectName(), "Form1");
    QCOMPARE(m_form->windowTitle(), QString::fromUtf8("青禾打字软件V1.1\u2014送给我的宝贝禾乖乖"));
    QVERIFY(m_form->isWindow());
    QCOMPARE(m_form->size(), QSize(473, 353));
    QCOMPARE(m_form->minimumSize(), QSize(473, 353));
    QCOMPARE(m_form->maximumSize(), QSize(473, 353));
    // The icon comes once the window is drawn.
    QTRY_VERIFY2(m_form->windowIcon().availableSizes().contains(QSize(32, 32)),
                 "the window icon has no 32 x 32 image");
}

void TestForm1Layout::controlsAreCreatedInOrder()
{
    QCOMPARE(namedChildren(m_form.get()),
             QStringList({"Command1", "Command2", "Timer1", "Text1", "Frame1", "sheji", "zimu"}));
    QCOMPARE(namedChildren(control("Frame1")),
             QStringList({"sudu2", "cuowu2", "zhengque2", "zongshu2", "zongshu", "zhengque",
                          "cuowu", "sudu", "zhengquelv"}));
}

void TestForm1Layout::controlsStandWhereDesigned_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<bool>("sizesToText");

    const auto row = [](const char *name, const char *parent, int left, int top, int width,
                        int height, bool sizesToText) {
        QTest::newRow(name) << QString(name) << QString(parent) << QRect(left, top, width, height)
                            << sizesToText;
    };
    row("Command1", "Form1", 600, 4200, 2295, 375, false);
    row("Command2", "Form1", 3840, 4200, 2295, 375, false);
    row("Text1", "Form1", 120, 3240, 6855, 735, false);
    row("Frame1", "Form1", 240, 240, 6615, 1935, false);
    row("sudu2", "Frame1", 960, 1440, 3615, 255, false);
    row("cuowu2", "Frame1", 960, 1080, 1575, 255, false);
    row("zhengque2", "Frame1", 960, 720, 1575, 255, false);
    row("zongshu2", "Frame1", 960, 360, 1575, 255, false);
    row("zongshu", "Frame1", 270, 360, 555, 180, true);
    row("zhengque", "Frame1", 270, 720, 555, 180, true);
    row("cuowu", "Frame1", 270, 1080, 555, 180, true);
    row("sudu", "Frame1", 270, 1440, 555, 180, true);
    row("zhengquelv", "Frame1", 5280, 720, 195, 315, true);
    row("sheji", "Form1", 1425, 4920, 4230, 180, true);
    row("zimu", "Form1", 240, 2400, 6615, 615, false);
}

void TestForm1Layout::controlsStandWhereDesigned()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, twips);
    QFETCH(bool, sizesToText);

    const QWidget *widget = control(name.toUtf8().constData());
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    // At 96 DPI every designed value is a whole number of pixels.
    const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QCOMPARE(widget->pos(), pixels.topLeft());
    if (sizesToText)
        QCOMPARE(widget->size(), widget->sizeHint());
    else
        QCOMPARE(widget->size(), pixels.size());
}

void TestForm1Layout::selfSizingLabelsFollowTheirText()
{
    // The designed widths are those of a 12 px CJK face: three full-width characters.
    for (const char *caption : {"zongshu", "zhengque", "cuowu", "sudu"})
        QVERIFY2(qAbs(control(caption)->width() - 37) <= 2, caption);

    // The accuracy grows with its text and keeps its place.
    auto *accuracy = static_cast<QLabel *>(control("zhengquelv"));
    const int resetWidth = accuracy->width();
    QTest::keyClick(m_form->windowHandle(), Qt::Key_Shift);
    QCOMPARE(accuracy->text(), "0%");
    QCOMPARE(accuracy->pos(), QPoint(352, 48));
    QCOMPARE(accuracy->size(), accuracy->sizeHint());
    QVERIFY(accuracy->width() < resetWidth);
}

void TestForm1Layout::fontsFollowTheDesign()
{
    QCOMPARE(m_form->font().families(), expectedFamilies);
    QCOMPARE(m_form->font().pointSizeF(), 9.0);
    QCOMPARE(m_form->font().weight(), QFont::Normal);
    for (const char *name : {"Command1", "Command2", "Frame1", "zongshu2", "sudu", "sheji"}) {
        QCOMPARE(control(name)->font().pointSizeF(), 9.0);
        QCOMPARE(control(name)->font().families(), expectedFamilies);
    }

    const QFont answer = control("Text1")->font();
    QCOMPARE(answer.families(), expectedFamilies);
    QCOMPARE(answer.pointSizeF(), 15.75);
    QCOMPARE(answer.weight(), QFont::Normal);
    for (const char *name : {"zimu", "zhengquelv"}) {
        const QFont large = control(name)->font();
        QCOMPARE(large.families(), expectedFamilies);
        QCOMPARE(large.pointSizeF(), 15.75);
        QCOMPARE(large.weight(), QFont::Bold);
    }
    // 15.75 pt at 96 DPI.
    QCOMPARE(QFontInfo(answer).pixelSize(), 21);
}

void TestForm1Layout::labelsAlignAsDesigned()
{
    for (const char *name : {"zongshu2", "zhengque2", "cuowu2", "sudu2"}) {
        const auto *label = static_cast<QLabel *>(control(name));
        QVERIFY2(label->alignment() & Qt::AlignLeft, name);
    }
    for (const char *name :
         {"zongshu", "zhengque", "cuowu", "sudu", "zhengquelv", "sheji", "zimu"}) {
        const auto *label = static_cast<QLabel *>(control(name));
        QVERIFY2(label->alignment() & Qt::AlignHCenter, name);
    }
    QCOMPARE(static_cast<QLabel *>(control("zongshu"))->text(), "总数：");
    QCOMPARE(static_cast<QLabel *>(control("zhengque"))->text(), "正确：");
    QCOMPARE(static_cast<QLabel *>(control("cuowu"))->text(), "错误：");
    QCOMPARE(static_cast<QLabel *>(control("sudu"))->text(), "速度：");
    QCOMPARE(static_cast<QGroupBox *>(control("Frame1"))->title(), "录入统计：");
    QCOMPARE(static_cast<QPushButton *>(control("Command1"))->text(), "重来");
    QCOMPARE(static_cast<QPushButton *>(control("Command2"))->text(), "退出");
}

void TestForm1Layout::creditLineNamesTheMakers()
{
    const QString credit = static_cast<QLabel *>(control("sheji"))->text();
    static const QRegularExpression shape(QString::fromUtf8("^设计：(\\S+)\u3000网址：(\\S+)$"));
    const QRegularExpressionMatch match = shape.match(credit);
    QVERIFY2(match.hasMatch(), qPrintable(credit));
    QVERIFY(match.captured(2).endsWith("example.org"));
}

void TestForm1Layout::onlyTheAnswerBoxAndButtonsTakeFocus()
{
    QCOMPARE(control("Text1")->focusPolicy(), Qt::StrongFocus);
    QCOMPARE(control("Command1")->focusPolicy(), Qt::TabFocus);
    QCOMPARE(control("Command2")->focusPolicy(), Qt::TabFocus);
    for (const char *name : {"Frame1", "zimu", "zongshu", "zongshu2", "zhengquelv", "sheji"})
        QCOMPARE(control(name)->focusPolicy(), Qt::NoFocus);
}

void TestForm1Layout::answerBoxRefusesInputMethodsAndMenus()
{
    auto *answer = static_cast<QLineEdit *>(control("Text1"));
    QCOMPARE(answer->maxLength(), 1);
    QCOMPARE(answer->contextMenuPolicy(), Qt::NoContextMenu);

    // The query an input method sends to the focus object before it takes the keys.
    QCOMPARE(QGuiApplication::focusObject(), answer);
    QInputMethodQueryEvent query(Qt::ImEnabled);
    QCoreApplication::sendEvent(answer, &query);
    QCOMPARE(query.value(Qt::ImEnabled).toBool(), false);
}

void TestForm1Layout::timerTicksEvery100Ms()
{
    const auto *timer = m_form->findChild<QTimer *>("Timer1");
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 100);
    QVERIFY(timer->isActive());
    QVERIFY(!timer->isSingleShot());
    QCOMPARE(timer->timerType(), Qt::PreciseTimer);
}

void TestForm1Layout::screenReadersGetValuesAndMeanings()
{
    const auto read = [this](const char *name, QAccessible::Text which) {
        QAccessibleInterface *item = QAccessible::queryAccessibleInterface(control(name));
        return item ? item->text(which) : QString("(no accessible interface)");
    };
    QTest::keyClick(m_form->windowHandle(), Qt::Key_Shift);

    const QList<std::pair<const char *, QString>> meanings {
        {"zongshu2", "总数"}, {"zhengque2", "正确"},    {"cuowu2", "错误"},
        {"sudu2", "速度"},    {"zhengquelv", "正确率"}, {"zimu", "字母"},
    };
    for (const auto &[name, meaning] : meanings) {
        QCOMPARE(read(name, QAccessible::Name), static_cast<QLabel *>(control(name))->text());
        QCOMPARE(read(name, QAccessible::Description), meaning);
    }
    QCOMPARE(read("zongshu2", QAccessible::Name), "1");
    QCOMPARE(read("cuowu2", QAccessible::Name), "1");
    QCOMPARE(read("zhengquelv", QAccessible::Name), "0%");
    QCOMPARE(read("Text1", QAccessible::Name), "输入框");
    QCOMPARE(read("Text1", QAccessible::Description), "输入框");
    QCOMPARE(read("Command1", QAccessible::Name), "重来");
    QCOMPARE(read("Command2", QAccessible::Name), "退出");
    QCOMPARE(read("zongshu", QAccessible::Name), "总数：");
}

QTEST_MAIN(TestForm1Layout)
#include "tst_form1_layout.moc"
