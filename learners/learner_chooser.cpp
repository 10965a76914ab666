#include "learner_chooser.h"

#include "drill_font.h"
#include "learner_avatar.h"
#include "learner_name.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace {

const QString title = QStringLiteral("谁来练习？");
// One and a half times the drill's own 9 points: big enough for a child to read a name.
constexpr double textPoints = 13.5;
constexpr double headingPoints = 18;
constexpr int avatarSize = 64;
constexpr int tileWidth = 160;
constexpr int tilePadding = 8;
constexpr int focusPenWidth = 3;
constexpr int maxColumns = 4;
// Longer than a list view's type-ahead pause: a young child types a second letter slowly.
constexpr qint64 typeAheadMs = 1000;
// Room for the window's title bar and frame, which are not known before it is shown.
constexpr int windowFrameAllowance = 48;

// A large button whose focus is plain to see: the style's dotted focus frame is easy to miss.
class Tile : public QToolButton
{
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QToolButton::paintEvent(event);
        if (!hasFocus())
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(QPalette::Highlight), focusPenWidth));
        const qreal inset = focusPenWidth / 2.0;
        painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), 6, 6);
    }
};

// The icon holds the picture drawn for ordinary and double-density screens and for the dialog's
// own, so that the button's picture is never a scaled copy.
QIcon drawnIcon(const std::function<QPixmap(qreal)> &draw, qreal screenRatio)
{
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        icon.addPixmap(draw(ratio));
    }
    if (!qFuzzyCompare(screenRatio, 1.0) && !qFuzzyCompare(screenRatio, 2.0))
        icon.addPixmap(draw(screenRatio));
    return icon;
}

QToolButton *createTile(QWidget *parent, const QString &name, const QIcon &icon)
{
    auto *tile = new Tile(parent);
    tile->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tile->setIcon(icon);
    tile->setIconSize(QSize(avatarSize, avatarSize));
    tile->setFocusPolicy(Qt::StrongFocus);
    const QFontMetrics metrics(tile->font());
    const QString shown = metrics.elidedText(name, Qt::ElideRight, tileWidth - 2 * tilePadding);
    // An ampersand would otherwise make a keyboard shortcut of the next letter and vanish.
    tile->setText(QString(shown).replace(u'&', QStringLiteral("&&")));
    if (shown != name)
        tile->setToolTip(name);
    tile->setAccessibleName(name);
    tile->setFixedSize(tileWidth, avatarSize + metrics.height() + 3 * tilePadding);
    return tile;
}

bool isArrow(int key)
{
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

// Text a key types into a search: printable, neither a space (which presses the button) nor a
// shortcut.
bool typesText(const QKeyEvent &event)
{
    const Qt::KeyboardModifiers shortcuts =
        Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    const QString text = event.text();
    return !text.isEmpty() && !(event.modifiers() & shortcuts)
        && std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.isPrint() && !c.isSpace(); });
}

QString keyOf(const QString &name)
{
    const QString kept = learnerName::normalized(name);
    return learnerName::key(kept.isEmpty() ? name : kept);
}

} // namespace

LearnerChooser::LearnerChooser(const QStringList &names, QWidget *parent)
    : QDialog(parent)
    , m_names(names)
{
    setWindowTitle(title);
    setAccessibleName(title);
    setFont(drillFont(textPoints));
    for (const QString &name : m_names)
        m_keys << keyOf(name);

    auto *heading = new QLabel(title, this);
    heading->setObjectName("heading");
    heading->setFont(drillFont(headingPoints, QFont::Bold));
    heading->setAlignment(Qt::AlignHCenter);

    QWidget *tiles = createTiles();
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(true);
    m_scroll->setWidget(tiles);

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(m_scroll);
    m_pages->addWidget(createNameForm());

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_pages);
    fitToScreen(tiles, heading);
    m_tiles.front()->setFocus();
}

QWidget *LearnerChooser::createTiles()
{
    auto *tiles = new QWidget;
    tiles->setFont(font());
    const qreal ratio = screen() ? screen()->devicePixelRatio() : 1.0;
    for (const QString &name : m_names) {
        const QIcon icon = drawnIcon(
            [&name](qreal scale) { return learnerAvatar(name, avatarSize, scale); }, ratio);
        m_tiles << createTile(tiles, name, icon);
    }
    m_tiles << createTile(
        tiles, QStringLiteral("新学员…"),
        drawnIcon([](qreal scale) { return newLearnerAvatar(avatarSize, scale); }, ratio));
    m_tiles.back()->setObjectName("newLearner");
    for (qsizetype i = 0; i < m_tiles.size(); ++i) {
        m_tiles[i]->installEventFilter(this);
        connect(m_tiles[i], &QToolButton::clicked, this, [this, i] { choose(i); });
    }

    const QRect available = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 600);
    auto *grid = new QGridLayout(tiles);
    const int spacing = grid->spacing() > 0 ? grid->spacing() : tilePadding;
    grid->setSpacing(spacing);
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int fitting = (available.width() * 9 / 10 - scrollBar) / (tileWidth + spacing);
    m_columns =
        static_cast<int>(std::min<qsizetype>({maxColumns, m_tiles.size(), std::max(1, fitting)}));
    for (qsizetype i = 0; i < m_tiles.size(); ++i)
        grid->addWidget(m_tiles[i], static_cast<int>(i / m_columns),
                        static_cast<int>(i % m_columns));
    grid->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    return tiles;
}

QWidget *LearnerChooser::createNameForm()
{
    auto *form = new QWidget;
    auto *label = new QLabel(QStringLiteral("新学员的名字："), form);
    m_nameField = new QLineEdit(form);
    m_nameField->setObjectName("nameField");
    m_nameField->setAccessibleName(QStringLiteral("新学员的名字"));
    label->setBuddy(m_nameField);
    m_problem = new QLabel(form);
    m_problem->setObjectName("problem");
    m_problem->setWordWrap(true);
    QPalette warning = m_problem->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb71c1c));
    m_problem->setPalette(warning);
    m_problem->hide();
    m_confirm = new QPushButton(QStringLiteral("确定"), form);
    m_confirm->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("取消"), form);
    connect(m_confirm, &QPushButton::clicked, this, &LearnerChooser::confirmName);
    connect(cancel, &QPushButton::clicked, this, &LearnerChooser::showTiles);
    connect(m_nameField, &QLineEdit::textEdited, this, [this] {
        m_problem->hide();
        m_nameField->setAccessibleDescription({});
    });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_confirm);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(form);
    layout->addWidget(label);
    layout->addWidget(m_nameField);
    layout->addWidget(m_problem);
    layout->addStretch();
    layout->addLayout(buttons);
    return form;
}

void LearnerChooser::fitToScreen(QWidget *tiles, QWidget *heading)
{
    const QRect available = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 600);
    const QMargins margins = layout()->contentsMargins();
    const int overhead = margins.top() + margins.bottom() + layout()->spacing()
        + heading->sizeHint().height() + windowFrameAllowance;
    const QSize content = tiles->sizeHint();
    const int highest = std::max(avatarSize, available.height() - overhead);
    const bool scrolls = content.height() > highest;
    m_scroll->setMinimumWidth(content.width()
                              + (scrolls ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0));
    m_scroll->setMinimumHeight(std::min(content.height(), highest));
}

void LearnerChooser::focusTile(qsizetype index)
{
    QToolButton *tile = m_tiles[index];
    tile->setFocus(Qt::OtherFocusReason);
    m_scroll->ensureWidgetVisible(tile, 0, tilePadding);
}

bool LearnerChooser::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const qsizetype from = m_tiles.indexOf(watched);
    if (from < 0)
        return QDialog::eventFilter(watched, event);
    const auto &key = *static_cast<QKeyEvent *>(event);
    if (isArrow(key.key()))
        return moveByArrow(from, key.key());
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) {
        if (!key.isAutoRepeat())
            m_tiles[from]->click();
        return true;
    }
    if (typesText(key)) {
        searchTyped(from, key.text());
        return true;
    }
    return false;
}

bool LearnerChooser::moveByArrow(qsizetype from, int key)
{
    const qsizetype last = m_tiles.size() - 1;
    qsizetype to = from;
    if (key == Qt::Key_Left && from > 0)
        to = from - 1;
    else if (key == Qt::Key_Right && from < last)
        to = from + 1;
    else if (key == Qt::Key_Up && from >= m_columns)
        to = from - m_columns;
    else if (key == Qt::Key_Down && from + m_columns <= last)
        to = from + m_columns;
    // Down from above a short last row goes to its end rather than nowhere.
    else if (key == Qt::Key_Down && from / m_columns < last / m_columns)
        to = last;
    focusTile(to);
    return true;
}

void LearnerChooser::searchTyped(qsizetype from, const QString &text)
{
    if (!m_sinceTyped.isValid() || m_sinceTyped.elapsed() > typeAheadMs)
        m_typed.clear();
    m_sinceTyped.start();
    m_typed += text;
    const QString typed = learnerName::key(m_typed);
    if (typed.isEmpty())
        return;
    // One letter pressed again and again steps through the learners it begins, as in a list;
    // more letters narrow the search, beginning at the learner already found.
    const bool oneLetter = typed.count(typed.front()) == typed.size();
    const QString wanted = oneLetter ? typed.left(1) : typed;
    const qsizetype count = m_names.size();
    const qsizetype start = from >= count ? 0 : from + (oneLetter ? 1 : 0);
    for (qsizetype step = 0; step < count; ++step) {
        const qsizetype i = (start + step) % count;
        if (m_keys[i].startsWith(wanted)) {
            focusTile(i);
            return;
        }
    }
}

void LearnerChooser::choose(qsizetype learner)
{
    if (learner == m_names.size()) {
        showNameForm();
        return;
    }
    m_chosen = m_names[learner];
    m_isNew = false;
    accept();
}

void LearnerChooser::showNameForm()
{
    m_nameField->clear();
    m_nameField->setAccessibleDescription({});
    m_problem->hide();
    m_pages->setCurrentIndex(1);
    m_nameField->setFocus();
}

void LearnerChooser::showTiles()
{
    m_pages->setCurrentIndex(0);
    focusTile(m_names.size());
}

void LearnerChooser::confirmName()
{
    QString problem;
    const QString name = learnerName::normalized(m_nameField->text(), &problem);
    if (name.isEmpty()) {
        m_problem->setText(problem);
        m_problem->show();
        // Read out with the field, where a screen reader's user is.
        m_nameField->setAccessibleDescription(problem);
        m_nameField->setFocus();
        return;
    }
    const qsizetype existing = m_keys.indexOf(learnerName::key(name));
    m_isNew = existing < 0;
    m_chosen = m_isNew ? name : m_names[existing];
    accept();
}

void LearnerChooser::keyPressEvent(QKeyEvent *event)
{
    // Esc leaves the name field for the learners first, as closing a small dialog of its own would.
    if (event->matches(QKeySequence::Cancel) && m_pages->currentWidget() != m_scroll) {
        showTiles();
        return;
    }
    QDialog::keyPressEvent(event);
}
