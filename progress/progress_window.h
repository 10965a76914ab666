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

// The progress window (练习记录): what the history says of the learner's practice. It reads
// the history on a worker thread, never writing to it except through the delete button, and
// follows a running drill by polling the file's size and time every second.
class ProgressWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ProgressWindow(const QString &historyPath, QWidget *parent = nullptr);
    ~ProgressWindow() override;

    // Reads the history again now, unless a read is under way (then once more after it).
    void reload();

signals:
    // A read of the history has been shown.
    void refreshed();

private:
    QWidget *buildContent();
    void pollHistory();
    void present(const ProgressSnapshot &snapshot);
    void showSummary(const ProgressSnapshot &snapshot);
    void showConfusions(const QList<Confusion> &confusions);
    void chooseExportFolder();
    void confirmDelete();

    QString m_path;
    QFutureWatcher<ProgressSnapshot> m_reader;
    bool m_readAgain = false;
    QString m_fileSignature;
    QDate m_readDay;
    ChartRange m_chartRange = ChartRange::Month;
    QTimer *m_poll;
    ProgressSnapshot m_shown;

    QStackedWidget *m_pages = nullptr;
    QLabel *m_message = nullptr;
    QList<QLabel *> m_summary;
    ProgressChart *m_chart = nullptr;
    QComboBox *m_range = nullptr;
    KeyboardMap *m_keyboard = nullptr;
    LetterTableModel *m_letters = nullptr;
    QTableView *m_letterTable = nullptr;
    QTableWidget *m_confusions = nullptr;
    RunsModel *m_runs = nullptr;
    QTableView *m_runTable = nullptr;
    QPushButton *m_export = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_delete = nullptr;
};
