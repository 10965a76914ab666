#include "learner_avatar.h"
#include "learner_chooser.h"
#include "learner_name.h"
#include "small_screen.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

// Five learners and 新学员… make two rows on the test screen: four tiles, then two.
const QStringList fiveLearners {"Anna", "Ben", "Bella", "Ｃａｒｌ", "晨晨"};
const QString newLearner = QStringLiteral("新学员…");

QString accessibleName(QObject *object)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(object);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

QString focusedName()
{
    QWidget *focused = QApplication::focusWidget();
    return focused ? accessibleName(focused) : QString();
}

// Types into whichever widget has the focus, as it moves; '|' is a pause longer than a second.
// Characters beyond ASCII come as a key without a code, as a full-width keyboard layout sends them.
void typeText(const QString &text)
{
    for (const QChar c : text) {
        if (c == u'|') {
            QTest::qWait(1100);
            continue;
        }
        const Qt::Key code = c.unicode() < 0x80 ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), code, QString(c),
                            c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
    }
}

double contrastWithWhite(const QColor &colour)
{
    const auto linear = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const double luminance = 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF())
        + 0.0722 * linear(colour.blueF());
    return 1.05 / (luminance + 0.05);
}

} // namespace

class TestLearnerChooser : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { m_chooser.reset(); }
    void opensReadableWithTheFirstLearnerFocused();
    void keysMoveAndChoose_data();
    void keysMoveAndChoose();
    void mouseChoosesAndAdds();
    void typingJumpsToALearner_data();
    void typingJumpsToALearner();
    void escapeAndClosingReject();
    void newLearnerName_data();
    void newLearnerName();
    void manyLearnersScrollOnASmallScreen();
    void avatarIsDrawnAtTheScreensDensity_data();
    void avatarIsDrawnAtTheScreensDensity();
    void oneLearnerHasOneAvatar();
    void coloursAreReadableAndVaried();

private:
    void open(const QStringList &names = fiveLearners);
    QToolButton *tile(const QString &name) const;
    QLineEdit *nameField() const { return m_chooser->findChild<QLineEdit *>("nameField"); }

    std::unique_ptr<LearnerChooser> m_chooser;
};

void TestLearnerChooser::open(const QStringList &names)
{
    m_chooser = std::make_unique<LearnerChooser>(names);
    m_chooser->show();
    QVERIFY(QTest::qWaitForWindowActive(m_chooser.get()));
}

QToolButton *TestLearnerChooser::tile(const QString &name) const
{
    for (QToolButton *button : m_chooser->findChildren<QToolButton *>()) {
        if (button->accessibleName() == name)
            return button;
    }
    qFatal("no button for %s", qPrintable(name));
}

void TestLearnerChooser::opensReadableWithTheFirstLearnerFocused()
{
    const QString longName(learnerName::maxLength, QChar(u'长'));
    open({"Anna", "Tom & Jerry", longName});
    QCOMPARE(m_chooser->windowTitle(), "谁来练习？");
    QCOMPARE(accessibleName(m_chooser.get()), "谁来练习？");
    QCOMPARE(m_chooser->findChild<QLabel *>("heading")->text(), "谁来练习？");
    QCOMPARE(focusedName(), "Anna");

    // Every button reads as its whole name, though a long one is cut short on the screen.
    for (const QString &name : {QString("Anna"), QString("Tom & Jerry"), longName, newLearner}) {
        QAccessibleInterface *button = QAccessible::queryAccessibleInterface(tile(name));
        QCOMPARE(button->role(), QAccessible::Button);
        QCOMPARE(button->text(QAccessible::Name), name);
    }
    QVERIFY(tile(longName)->text().endsWith(u'…'));
    QCOMPARE(tile("Tom & Jerry")->text(), "Tom && Jerry");
}

void TestLearnerChooser::keysMoveAndChoose_data()
{
    QTest::addColumn<QList<int>>("moves");
    QTest::addColumn<int>("chooseKey");
    QTest::addColumn<QString>("chosen");

    using Keys = QList<int>;
    QTest::newRow("Return on the first") << Keys {} << int(Qt::Key_Return) << "Anna";
    QTest::newRow("Right, keypad Enter") << Keys {Qt::Key_Right} << int(Qt::Key_Enter) << "Ben";
    QTest::newRow("Right twice, Space")
        << Keys {Qt::Key_Right, Qt::Key_Right} << int(Qt::Key_Space) << "Bella";
    QTest::newRow("Left at the start stays")
        << Keys {Qt::Key_Left} << int(Qt::Key_Return) << "Anna";
    QTest::newRow("Down a row") << Keys {Qt::Key_Down} << int(Qt::Key_Return) << "晨晨";
    QTest::newRow("Down and Up") << Keys {Qt::Key_Down, Qt::Key_Up} << int(Qt::Key_Return)
                                 << "Anna";
    QTest::newRow("Down on the last row stays")
        << Keys {Qt::Key_Down, Qt::Key_Down} << int(Qt::Key_Return) << "晨晨";
    QTest::newRow("Down above the short row's end goes to its end")
        << Keys {Qt::Key_Right, Qt::Key_Right, Qt::Key_Down} << int(Qt::Key_Return) << newLearner;
    QTest::newRow("Right at the end stays")
        << Keys {Qt::Key_Down, Qt::Key_Right, Qt::Key_Right} << int(Qt::Key_Space) << newLearner;
}

void TestLearnerChooser::keysMoveAndChoose()
{
    QFETCH(QList<int>, moves);
    QFETCH(int, chooseKey);
    QFETCH(QString, chosen);

    open();
    // The rows above assume four columns.
    QCOMPARE(tile("晨晨")->x(), tile("Anna")->x());
    QVERIFY(tile("晨晨")->y() > tile("Anna")->y());
    for (const int key : moves)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QCOMPARE(focusedName(), chosen);
    const Qt::KeyboardModifiers modifiers =
        chooseKey == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(chooseKey), modifiers);

    if (chosen == newLearner) {
        QVERIFY(m_chooser->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), nameField());
    } else {
        QVERIFY(!m_chooser->isVisible());
        QCOMPARE(m_chooser->result(), QDialog::Accepted);
        QCOMPARE(m_chooser->chosenName(), chosen);
        QVERIFY(!m_chooser->isNewLearner());
    }
}

void TestLearnerChooser::mouseChoosesAndAdds()
{
    open();
    QTest::mouseClick(tile(newLearner), Qt::LeftButton);
    QVERIFY(nameField()->isVisible());
    const auto button = [this](const char *text) {
        for (QPushButton *found : m_chooser->findChildren<QPushButton *>()) {
            if (found->text() == QString::fromUtf8(text))
                return found;
        }
        qFatal("no button %s", text);
    };
    QTest::mouseClick(button("取消"), Qt::LeftButton);
    QVERIFY(!nameField()->isVisible());
    QCOMPARE(focusedName(), newLearner);

    QTest::mouseClick(tile(newLearner), Qt::LeftButton);
    QTest::keyClicks(nameField(), "Dora");
    QTest::mouseClick(button("确定"), Qt::LeftButton);
    QCOMPARE(m_chooser->result(), QDialog::Accepted);
    QCOMPARE(m_chooser->chosenName(), "Dora");
    QVERIFY(m_chooser->isNewLearner());

    open();
    QTest::mouseClick(tile("Bella"), Qt::LeftButton);
    QCOMPARE(m_chooser->result(), QDialog::Accepted);
    QCOMPARE(m_chooser->chosenName(), "Bella");
    QVERIFY(!m_chooser->isNewLearner());
}

void TestLearnerChooser::typingJumpsToALearner_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("focused");

    QTest::newRow("a first letter") << "b"
                                    << "Ben";
    QTest::newRow("in capitals") << "BE"
                                 << "Ben";
    QTest::newRow("more letters narrow") << "bel"
                                         << "Bella";
    QTest::newRow("a letter again steps on") << "bb"
                                             << "Bella";
    QTest::newRow("and round") << "bbb"
                               << "Ben";
    QTest::newRow("half-width finds full-width") << "carl"
                                                 << "Ｃａｒｌ";
    QTest::newRow("full-width finds half-width") << "ｂｅｌ"
                                                 << "Bella";
    QTest::newRow("no such learner stays") << "x"
                                           << "Anna";
    QTest::newRow("letters that begin nobody's name stay") << "ba"
                                                           << "Ben";
    QTest::newRow("a pause starts anew") << "b|a"
                                         << "Anna";
}

void TestLearnerChooser::typingJumpsToALearner()
{
    QFETCH(QString, typed);
    QFETCH(QString, focused);

    open();
    typeText(typed);
    QCOMPARE(focusedName(), focused);
    QVERIFY(m_chooser->isVisible());
}

void TestLearnerChooser::escapeAndClosingReject()
{
    open();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(m_chooser->result(), QDialog::Rejected);
    QVERIFY(!m_chooser->isVisible());
    QVERIFY(m_chooser->chosenName().isEmpty());

    // Esc in the name field goes back to the learners; a second one closes.
    open();
    QTest::keyClick(tile(newLearner), Qt::Key_Return);
    QTest::keyClicks(nameField(), "Dora");
    QTest::keyClick(nameField(), Qt::Key_Escape);
    QVERIFY(m_chooser->isVisible());
    QCOMPARE(focusedName(), newLearner);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(m_chooser->result(), QDialog::Rejected);
    QVERIFY(m_chooser->chosenName().isEmpty());

    open();
    QVERIFY(m_chooser->close());
    QCOMPARE(m_chooser->result(), QDialog::Rejected);
}

void TestLearnerChooser::newLearnerName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("isNew");

    QTest::newRow("trimmed") << "  Dora  "
                             << "Dora" << true;
    QTest::newRow("composed") << "Zoe\u0301"
                              << "Zo\u00e9" << true;
    QTest::newRow("a learner in capitals") << "ANNA"
                                           << "Anna" << false;
    QTest::newRow("a learner in full width") << "ｂｅｎ"
                                             << "Ben" << false;
    QTest::newRow("empty") << "   " << QString() << false;
    QTest::newRow("too long") << QString(learnerName::maxLength + 1, u'x') << QString() << false;
    QTest::newRow("a control character") << "A\aB" << QString() << false;
}

void TestLearnerChooser::newLearnerName()
{
    QFETCH(QString, typed);
    QFETCH(QString, chosen);
    QFETCH(bool, isNew);

    open();
    QTest::keyClick(tile(newLearner), Qt::Key_Return);
    // A field takes no control character from the keyboard; one comes pasted.
    if (typed.contains(u'\a'))
        nameField()->insert(typed);
    else
        typeText(typed);
    QTest::keyClick(nameField(), Qt::Key_Return);

    if (!chosen.isEmpty()) {
        QCOMPARE(m_chooser->result(), QDialog::Accepted);
        QCOMPARE(m_chooser->chosenName(), chosen);
        QCOMPARE(m_chooser->isNewLearner(), isNew);
        return;
    }
    QString problem;
    learnerName::normalized(typed, &problem);
    const auto *shown = m_chooser->findChild<QLabel *>("problem");
    QVERIFY(m_chooser->isVisible());
    QVERIFY(shown->isVisible());
    QCOMPARE(shown->text(), problem);
    QCOMPARE(QAccessible::queryAccessibleInterface(nameField())->text(QAccessible::Description),
             problem);
    QCOMPARE(QApplication::focusWidget(), nameField());

    // Mended, the name is taken and the complaint is gone.
    nameField()->selectAll();
    QTest::keyClicks(nameField(), "Dora");
    QVERIFY(!shown->isVisible());
    QTest::keyClick(nameField(), Qt::Key_Return);
    QCOMPARE(m_chooser->result(), QDialog::Accepted);
    QCOMPARE(m_chooser->chosenName(), "Dora");
}

void TestLearnerChooser::manyLearnersScrollOnASmallScreen()
{
    QStringList names;
    for (int i = 1; i <= 30; ++i)
        names << QStringLiteral("Pupil %1").arg(i);
    open(names);
    const QRect screen = m_chooser->screen()->availableGeometry();
    QCOMPARE(screen.size(), QSize(1024, 600));
    QVERIFY(screen.contains(m_chooser->frameGeometry()));
    auto *scroll = m_chooser->findChild<QScrollArea *>();
    QVERIFY(scroll->verticalScrollBar()->maximum() > 0);

    const auto onScreen = [scroll](QWidget *widget) {
        const QRect shown(widget->mapTo(scroll->viewport(), QPoint(0, 0)), widget->size());
        return scroll->viewport()->rect().contains(shown);
    };
    QVERIFY(!onScreen(tile(newLearner)));
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down,
                              Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Right})
        QTest::keyClick(QApplication::focusWidget(), key);
    QCOMPARE(focusedName(), newLearner);
    QVERIFY(onScreen(tile(newLearner)));
    typeText("p");
    QCOMPARE(focusedName(), "Pupil 1");
    QVERIFY(onScreen(tile("Pupil 1")));
}

void TestLearnerChooser::avatarIsDrawnAtTheScreensDensity_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<bool>("inButtons");
    QTest::newRow("1") << 1.0 << true;
    QTest::newRow("1.5") << 1.5 << false;
    QTest::newRow("2") << 2.0 << true;
}

void TestLearnerChooser::avatarIsDrawnAtTheScreensDensity()
{
    QFETCH(qreal, ratio);
    QFETCH(bool, inButtons);
    const QPixmap avatar = learnerAvatar("Ben", 64, ratio);
    QCOMPARE(avatar.deviceIndependentSize(), QSizeF(64, 64));
    QCOMPARE(avatar.devicePixelRatio(), ratio);
    const QImage image = avatar.toImage();
    const int side = image.width();
    QCOMPARE(side, std::lround(64 * ratio));
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(QColor(image.pixel(side / 2, side / 16)), learnerColour("Ben"));
    int white = 0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x)
            white += image.pixel(x, y) == qRgb(255, 255, 255);
    }
    QVERIFY2(white > side, "no letter on the avatar");

    // A learner's button holds the avatar drawn for ordinary and double-density screens (and the
    // screen of its own), not a scaled copy.
    if (!inButtons)
        return;
    open();
    const QImage shown = tile("Ben")->icon().pixmap(QSize(64, 64), ratio).toImage();
    QCOMPARE(shown.convertToFormat(image.format()), image);
}

void TestLearnerChooser::oneLearnerHasOneAvatar()
{
    const QImage anna = learnerAvatar("Anna", 64).toImage();
    for (const QString &spelling : QStringList {"anna", " ANNA ", "ａｎｎａ"})
        QCOMPARE(learnerAvatar(spelling, 64).toImage(), anna);
    QVERIFY(learnerAvatar("Bella", 64).toImage() != anna);
}

void TestLearnerChooser::coloursAreReadableAndVaried()
{
    QSet<QRgb> colours;
    for (int i = 0; i < 200; ++i)
        colours.insert(learnerColour(QStringLiteral("learner %1").arg(i)).rgb());
    QVERIFY2(colours.size() >= 8, "learners' colours gather on a few");
    for (const QRgb colour : colours)
        QVERIFY2(contrastWithWhite(QColor(colour)) >= 4.5, qPrintable(QColor(colour).name()));
}

int main(int argc, char **argv)
{
    return execOnSmallScreen<TestLearnerChooser>(argc, argv);
}
#include "tst_learner_chooser.moc"
