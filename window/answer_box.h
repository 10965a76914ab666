#pragma once

#include <QLineEdit>

// The one-character answer box: every key must arrive as a key event, so it tells input methods
// that it takes no composed text, and it offers no context menu.
class AnswerBox : public QLineEdit
{
    Q_OBJECT

public:
    explicit AnswerBox(QWidget *parent = nullptr);

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
};
