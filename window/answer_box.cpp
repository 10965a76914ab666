#include "answer_box.h"

AnswerBox::AnswerBox(QWidget *parent)
    : QLineEdit(parent)
{
    setMaxLength(1);
    // The Menu key is judged like any other key; a menu would take the focus away.
    setContextMenuPolicy(Qt::NoContextMenu);
}

QVariant AnswerBox::inputMethodQuery(Qt::InputMethodQuery query) const
{
    // Disabling Qt::WA_InputMethodEnabled or hinting Latin-only input does not stop an active
    // pinyin engine from swallowing letters; answering ImEnabled with false does.
    if (query == Qt::ImEnabled)
        return false;
    return QLineEdit::inputMethodQuery(query);
}
