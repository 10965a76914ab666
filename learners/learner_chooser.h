#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QToolButton;

// Asks who is practising: a large button per learner, and 新学员… to add one. exec() gives
// QDialog::Accepted with a name, or Rejected (Esc, the window closed).
class LearnerChooser : public QDialog
{
    Q_OBJECT

public:
    explicit LearnerChooser(const QStringList &names, QWidget *parent = nullptr);

    // The learner chosen, as listed, or a new learner's normalized name.
    QString chosenName() const { return m_chosen; }
    // Whether chosenName() is a learner not in the list.
    bool isNewLearner() const { return m_isNew; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *createTiles();
    QWidget *createNameForm();
    void fitToScreen(QWidget *tiles, QWidget *heading);
    void focusTile(qsizetype index);
    bool moveByArrow(qsizetype from, int key);
    void searchTyped(qsizetype from, const QString &text);
    void choose(qsizetype learner);
    void showNameForm();
    void showTiles();
    void confirmName();

    QStringList m_names;
    QStringList m_keys;
    // The learners' buttons in the list's order, then 新学员….
    QList<QToolButton *> m_tiles;
    int m_columns = 1;
    QStackedWidget *m_pages = nullptr;
    QScrollArea *m_scroll = nullptr;
    QLineEdit *m_nameField = nullptr;
    QLabel *m_problem = nullptr;
    QPushButton *m_confirm = nullptr;
    QString m_typed;
    QElapsedTimer m_sinceTyped;
    QString m_chosen;
    bool m_isNew = false;
};
