#pragma once

#include "progress_data.h"

#include <QFutureWatcher>
#include <QWidget>

class KeyboardMap;
class LetterTableModel;
class ProgressChart;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTableView;
class QTableWidget;
class QTimer;
class RunsModel;

// The progress window (练习记录): what the history says of one learner's practice, or of every
// learner's last 7 days (全部学员), where learners are added, renamed and removed. It reads the
// history on a worker thread, writes to it only when asked to (delete runs, move a run, change
// the learners), and follows a running drill by polling the file's size and time every second.
class ProgressWindow : public QWidget
{
    Q_OBJECT

public:
    // `learner` names who practises now (the drill's learner): shown first and selected. Without
    // it, the learner of the latest run.
    explicit ProgressWindow(const QString &historyPath, const QString &learner = {},
                            QWidget *parent = nullptr);
    ~ProgressWindow() override;

    // Reads the history again now, unless a read is under way (then once more after it).
    void reload();
    // The drill that 练这些字母 starts; typing-drill beside this program by default.
    void setDrillProgram(const QString &program) { m_drillProgram = program; }

signals:
    // A read of the history has been shown.
    void refreshed();

private:
    QWidget *buildContent();
    QWidget *buildOverview();
    void pollHistory();
    void present(const ProgressSnapshot &snapshot);
    void showLearners(const ProgressSnapshot &snapshot);
    void showSummary(const ProgressSnapshot &snapshot);
    void showConfusions(const QList<Confusion> &confusions);
    void showOverview(const ProgressSnapshot &snapshot);
    void showMessage(const QString &text);
    void updateButtons();
    void chooseExportFolder();
    void confirmDelete();
    void practiseWeakLetters();
    void moveSelectedRun();
    void addLearner();
    void renameLearner();
    void confirmRemoveLearner();
    // Shows what a change gave and reads the history again.
    void changed(const QString &error, const QString &done);
    const LearnerInfo *learner(qint64 id) const;
    qint64 overviewLearner() const;

    QString m_path;
    QString m_drillProgram;
    QFutureWatcher<ProgressSnapshot> m_reader;
    bool m_readAgain = false;
    LearnerRequest m_request;
    LearnerRequest m_reading;
    QString m_fileSignature;
    QDate m_readDay;
    ChartRange m_chartRange = ChartRange::Month;
    QTimer *m_poll;
    // The last read of each kind.
    ProgressSnapshot m_shown;
    ProgressSnapshot m_overviewShown;
    QList<LearnerInfo> m_learners;

    QWidget *m_learnerBar = nullptr;
    QComboBox *m_learnerBox = nullptr;
    QStackedWidget *m_pages = nullptr;
    QWidget *m_content = nullptr;
    QWidget *m_overviewPage = nullptr;
    QLabel *m_message = nullptr;
    QList<QLabel *> m_summary;
    ProgressChart *m_chart = nullptr;
    QComboBox *m_range = nullptr;
    KeyboardMap *m_keyboard = nullptr;
    QPushButton *m_practise = nullptr;
    LetterTableModel *m_letters = nullptr;
    QTableView *m_letterTable = nullptr;
    QTableWidget *m_confusions = nullptr;
    RunsModel *m_runs = nullptr;
    QTableView *m_runTable = nullptr;
    QTableWidget *m_overview = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_move = nullptr;
    QPushButton *m_export = nullptr;
    QPushButton *m_delete = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_rename = nullptr;
    QPushButton *m_remove = nullptr;
};
