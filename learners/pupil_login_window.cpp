#include "pupil_login_window.h"

#include "drill_font.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>
#include <mutex>
#include <utility>

namespace {

constexpr int pinDigits = 6;
constexpr int maxNumberLength = 20;
constexpr int wrongPinsBeforePause = 3;
// The text one and a half times the drill's own 9 points, as in the learner chooser; what a child
// types and reads most, larger.
constexpr double textPoints = 13.5;
constexpr double headingPoints = 22;
constexpr double entryPoints = 20;
constexpr double statusPoints = 16;
constexpr QSize boxSize(40, 52);
constexpr int boxGap = 10;
constexpr int dotRadius = 8;
constexpr int focusPenWidth = 3;
constexpr QSize padButtonSize(64, 56);
constexpr int startHeight = 52;
const QColor warningColour(0xb7, 0x1c, 0x1c);

const QString askBoth = QStringLiteral("请输入学号和 PIN");
const QString askPin = QStringLiteral("请输入 PIN");
const QString numberName = QStringLiteral("学号");
const QString pinName = QStringLiteral("PIN");

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

// The PIN as six boxes, a dot in each digit typed; takes digits from the keyboard's row or its
// number pad, and Backspace. It never shows nor tells the digits, not even to a screen reader.
class PinBoxes : public QWidget
{
public:
    explicit PinBoxes(QWidget *parent)
        : QWidget(parent)
    {
        setObjectName("pin");
        setFocusPolicy(Qt::StrongFocus);
        // A Chinese input method would take the digits for a word's candidates.
        setAttribute(Qt::WA_InputMethodEnabled, false);
        setFixedSize(pinDigits * boxSize.width() + (pinDigits - 1) * boxGap, boxSize.height());
        setAccessibleName(pinName);
        describe();
    }

    QString digits() const { return m_digits; }
    // The text read with the field beside the count of digits, for a message about the PIN.
    void setNote(const QString &note)
    {
        m_note = note;
        describe();
    }

    void add(QChar digit)
    {
        if (m_digits.size() >= pinDigits)
            return;
        m_digits += digit;
        changed();
    }

    void removeLast()
    {
        if (m_digits.isEmpty())
            return;
        m_digits.chop(1);
        changed();
    }

    void clear()
    {
        m_digits.clear();
        changed();
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const QString text = event->text();
        if (text.size() == 1 && text.front() >= u'0' && text.front() <= u'9') {
            add(text.front());
            return;
        }
        if (event->key() == Qt::Key_Backspace) {
            removeLast();
            return;
        }
        // Enter, Esc and Tab are the dialog's.
        QWidget::keyPressEvent(event);
    }

    void focusInEvent(QFocusEvent *event) override
    {
        QWidget::focusInEvent(event);
        update();
    }

    void focusOutEvent(QFocusEvent *event) override
    {
        QWidget::focusOutEvent(event);
        update();
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
        const QColor border = palette().color(group, QPalette::Mid);
        const QColor base = palette().color(group, QPalette::Base);
        const QColor dot = palette().color(group, QPalette::Text);
        const QColor focus = palette().color(QPalette::Active, QPalette::Highlight);
        // The box the next digit goes to, or the last once all are typed, marks the focus.
        const qsizetype next = std::min<qsizetype>(m_digits.size(), pinDigits - 1);
        for (int i = 0; i < pinDigits; ++i) {
            const bool marked = hasFocus() && i == next;
            const qreal pen = marked ? focusPenWidth : 1.5;
            const QRectF box(QPointF(i * (boxSize.width() + boxGap), 0), QSizeF(boxSize));
            painter.setPen(QPen(marked ? focus : border, pen));
            painter.setBrush(base);
            painter.drawRoundedRect(box.adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2), 6, 6);
            if (i < m_digits.size()) {
                painter.setPen(Qt::NoPen);
                painter.setBrush(dot);
                painter.drawEllipse(box.center(), dotRadius, dotRadius);
            }
        }
    }

private:
    void changed()
    {
        describe();
        update();
    }

    void describe()
    {
        const QString count =
            QStringLiteral("已输入 %1 位，共 %2 位").arg(m_digits.size()).arg(pinDigits);
        setAccessibleDescription(m_note.isEmpty() ? count : m_note + u' ' + count);
    }

    QString m_digits;
    QString m_note;
};

namespace {

// Shown to assistive technology as a password field: its value is a dot for each digit typed.
class PinAccessible : public QAccessibleWidget
{
public:
    explicit PinAccessible(PinBoxes *pin)
        : QAccessibleWidget(pin, QAccessible::EditableText)
        , m_pin(pin)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return QString(m_pin->digits().size(), QChar(u'●'));
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override
    {
        QAccessible::State found = QAccessibleWidget::state();
        found.passwordEdit = true;
        found.editable = true;
        return found;
    }

private:
    PinBoxes *m_pin;
};

QAccessibleInterface *pinAccessible(const QString &, QObject *object)
{
    auto *pin = dynamic_cast<PinBoxes *>(object);
    return pin ? new PinAccessible(pin) : nullptr;
}

// What the 学号 field takes: up to 20 ASCII letters and digits.
QRegularExpression numberPattern()
{
    return QRegularExpression(QRegularExpression::anchoredPattern(
        QStringLiteral("[A-Za-z0-9]{0,%1}").arg(maxNumberLength)));
}

QLabel *label(const QString &text, QWidget *parent)
{
    auto *shown = new QLabel(text, parent);
    shown->setFont(drillFont(entryPoints));
    return shown;
}

} // namespace

PupilLoginWindow::PupilLoginWindow(Checker checker, const QString &studentNumber, QWidget *parent)
    : QDialog(parent)
    , m_checker(std::move(checker))
{
    static std::once_flag factoryInstalled;
    std::call_once(factoryInstalled, [] { QAccessible::installFactory(pinAccessible); });

    const bool numberGiven =
        !studentNumber.isEmpty() && numberPattern().match(studentNumber).hasMatch();
    if (numberGiven)
        m_givenNumber = studentNumber;
    const QString title = numberGiven ? askPin : askBoth;
    setWindowTitle(title);
    setAccessibleName(title);
    setFont(drillFont(textPoints));

    auto *heading = new QLabel(title, this);
    heading->setObjectName("heading");
    heading->setFont(drillFont(headingPoints, QFont::Bold));

    m_pauseTick = new QTimer(this);
    m_pauseTick->setSingleShot(true);
    connect(m_pauseTick, &QTimer::timeout, this, &PupilLoginWindow::showPauseLeft);

    m_status = new QLabel(this);
    m_status->setObjectName("status");
    m_status->setFont(drillFont(statusPoints));
    m_status->setWordWrap(true);
    // Room for two lines from the start, so that a message does not move the button.
    m_status->setMinimumHeight(2 * m_status->fontMetrics().lineSpacing());
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_start = new QPushButton(QStringLiteral("开始"), this);
    m_start->setObjectName("start");
    m_start->setAccessibleName(QStringLiteral("开始"));
    m_start->setFont(drillFont(entryPoints, QFont::Bold));
    m_start->setMinimumHeight(startHeight);
    m_start->setDefault(true);
    connect(m_start, &QPushButton::clicked, this, &PupilLoginWindow::submit);

    auto *left = new QVBoxLayout;
    left->addWidget(heading);
    left->addSpacing(8);
    left->addWidget(createForm(numberGiven));
    left->addWidget(m_status);
    left->addStretch();
    left->addWidget(m_start);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(32);
    layout->addLayout(left);
    layout->addWidget(createDigitPad(), 0, Qt::AlignVCenter);

    if (m_numberField)
        setTabOrder(m_numberField, m_pinField);
    setTabOrder(m_pinField, m_start);
    if (m_numberField)
        m_numberField->setFocus();
    else
        m_pinField->setFocus();
}

QWidget *PupilLoginWindow::createForm(bool numberGiven)
{
    auto *form = new QWidget(this);
    auto *grid = new QGridLayout(form);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(16);

    grid->addWidget(label(numberName, form), 0, 0);
    if (numberGiven) {
        auto *given = label(m_givenNumber, form);
        given->setObjectName("givenNumber");
        given->setAccessibleName(numberName + u' ' + m_givenNumber);
        grid->addWidget(given, 0, 1);
    } else {
        m_numberField = new QLineEdit(form);
        m_numberField->setObjectName("studentNumber");
        m_numberField->setAccessibleName(numberName);
        m_numberField->setFont(drillFont(entryPoints));
        m_numberField->setMaxLength(maxNumberLength);
        m_numberField->setValidator(
            new QRegularExpressionValidator(numberPattern(), m_numberField));
        // ASCII only: a Chinese input method would hold the letters back for its candidates.
        m_numberField->setAttribute(Qt::WA_InputMethodEnabled, false);
        m_numberField->setMinimumHeight(boxSize.height());
        m_numberField->setTextMargins(6, 0, 6, 0);
        m_numberField->installEventFilter(this);
        grid->addWidget(m_numberField, 0, 1);
    }

    auto *pinLabel = label(pinName, form);
    m_pinField = new PinBoxes(form);
    m_pinField->installEventFilter(this);
    pinLabel->setBuddy(m_pinField);
    grid->addWidget(pinLabel, 1, 0);
    grid->addWidget(m_pinField, 1, 1);

    return form;
}

QWidget *PupilLoginWindow::createDigitPad()
{
    auto *pad = new QWidget(this);
    pad->setObjectName("digitPad");
    auto *grid = new QGridLayout(pad);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(8);
    const auto addButton = [&](const QString &text, const QString &name, int row, int column) {
        auto *button = new QPushButton(text, pad);
        button->setAccessibleName(name);
        button->setFont(drillFont(entryPoints, QFont::Bold));
        button->setFixedSize(padButtonSize);
        // For the mouse and touch: the keyboard types digits into the PIN itself, and Tab would
        // otherwise stop at eleven buttons between the PIN and 开始.
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
        grid->addWidget(button, row, column);
        m_padButtons << button;
        return button;
    };
    for (int digit = 1; digit <= 10; ++digit) {
        const QChar shown = QChar(u'0' + digit % 10);
        const int row = (digit - 1) / 3;
        // 0 below 8, as on a telephone.
        const int column = digit == 10 ? 1 : (digit - 1) % 3;
        QPushButton *button = addButton(QString(shown), QString(shown), row, column);
        connect(button, &QPushButton::clicked, this, [this, shown] {
            m_pinField->add(shown);
            m_pinField->setFocus(Qt::OtherFocusReason);
        });
    }
    QPushButton *erase = addButton(QStringLiteral("⌫"), QStringLiteral("删除"), 3, 2);
    connect(erase, &QPushButton::clicked, this, [this] {
        m_pinField->removeLast();
        m_pinField->setFocus(Qt::OtherFocusReason);
    });
    return pad;
}

QString PupilLoginWindow::studentNumber() const
{
    return m_numberField ? m_numberField->text() : m_givenNumber;
}

QString PupilLoginWindow::pin() const
{
    return m_pinField->digits();
}

bool PupilLoginWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !m_numberField)
        return QDialog::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (watched == m_numberField && (isEnter(key) || key == Qt::Key_Down)) {
        if (isEnter(key) && m_numberField->text().isEmpty()) {
            setStatus(QStringLiteral("请先输入学号。"));
            return true;
        }
        m_pinField->setFocus(Qt::TabFocusReason);
        return true;
    }
    if (watched == m_pinField && key == Qt::Key_Up) {
        m_numberField->setFocus(Qt::BacktabFocusReason);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void PupilLoginWindow::submit()
{
    if (m_checking || m_pauseTick->isActive())
        return;
    if (studentNumber().isEmpty()) {
        setStatus(QStringLiteral("请先输入学号。"));
        m_numberField->setFocus();
        return;
    }
    if (pin().size() < pinDigits) {
        setStatus(QStringLiteral("PIN 是 %1 位数字。").arg(pinDigits));
        m_pinField->setFocus();
        return;
    }
    startCheck();
}

void PupilLoginWindow::startCheck()
{
    m_checking = true;
    setInputsEnabled(false);
    setStatus(QStringLiteral("正在检查…"));
    const quint64 id = ++m_checkId;
    // Shared with the worker, so that either may end first; the dialog reads it only after the
    // worker has finished.
    auto found = std::make_shared<Check>(Check::ServerAway);
    QThread *worker =
        QThread::create([checker = m_checker, number = studentNumber(), digits = pin(), found] {
            *found = checker(number, digits);
        });
    // Not the dialog's child: deleting a running thread would end the program. The connection
    // to the dialog goes with it, so the answer of a check outliving the dialog reaches no one.
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &QThread::finished, this, [this, id, found] {
        if (id == m_checkId)
            finishCheck(*found);
    });
    worker->start();
}

void PupilLoginWindow::finishCheck(Check found)
{
    m_checking = false;
    m_serverAway = found == Check::ServerAway;
    if (found != Check::WrongPin) {
        accept();
        return;
    }
    m_pinField->clear();
    if (++m_wrongInRow >= wrongPinsBeforePause) {
        startPause();
        return;
    }
    setInputsEnabled(true);
    setStatus(QStringLiteral("PIN 不对，请再试一次。"), true);
    m_pinField->setFocus();
}

void PupilLoginWindow::startPause()
{
    m_pauseEnds = std::chrono::steady_clock::now() + m_pause;
    setStatus(QStringLiteral("请等一会儿再试。"), true);
    showPauseLeft();
}

void PupilLoginWindow::showPauseLeft()
{
    using namespace std::chrono;
    const auto left = duration_cast<milliseconds>(m_pauseEnds - steady_clock::now());
    if (left <= milliseconds::zero()) {
        endPause();
        return;
    }
    const auto seconds = (left.count() + 999) / 1000;
    // Only the label counts down: the fields' descriptions keep the one message, read once.
    m_status->setText(QStringLiteral("请等一会儿再试。还有 %1 秒。").arg(seconds));
    // Wake when the count of seconds shown goes down.
    m_pauseTick->start(left - milliseconds((seconds - 1) * 1000));
}

void PupilLoginWindow::endPause()
{
    m_wrongInRow = 0;
    setInputsEnabled(true);
    setStatus(QStringLiteral("可以再输入 PIN 了。"));
    m_pinField->setFocus();
}

void PupilLoginWindow::setInputsEnabled(bool enabled)
{
    if (m_numberField)
        m_numberField->setEnabled(enabled);
    m_pinField->setEnabled(enabled);
    for (QPushButton *button : std::as_const(m_padButtons))
        button->setEnabled(enabled);
    m_start->setEnabled(enabled);
}

void PupilLoginWindow::setStatus(const QString &text, bool warning)
{
    m_status->setText(text);
    QPalette colours = m_status->palette();
    colours.setColor(QPalette::WindowText,
                     warning ? warningColour : palette().color(QPalette::WindowText));
    m_status->setPalette(colours);
    QAccessibleEvent changed(m_status, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
    // Read out with the fields too, where a screen reader's user is.
    if (m_numberField)
        m_numberField->setAccessibleDescription(text);
    m_pinField->setNote(text);
}

void PupilLoginWindow::done(int result)
{
    ++m_checkId;
    m_checking = false;
    m_pauseTick->stop();
    QDialog::done(result);
}
