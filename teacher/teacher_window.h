#pragma once

#include "class_report.h"

#include <QFutureWatcher>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>

class ClassTableModel;
class KeyboardMap;
class ProgressWindow;
class QComboBox;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QStackedWidget;
class QTableView;
struct ServerLink;

// The teacher's view of a class: each pupil's week (学号, 姓名, time, runs, keys, accuracy,
// speed, their change since last week, weakest letters, the usual wrong key, the latest run),
// sortable by every column, and the class's keyboard coloured by accuracy. Enter or a double click
// on a pupil opens their own progress window on a copy of their runs; 导出表格… saves the table
// as CSV. Every read of the server runs on a worker thread.
class TeacherWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TeacherWindow(std::shared_ptr<ServerLink> link, QWidget *parent = nullptr);
    ~TeacherWindow() override;

    // Reads the classes, then the chosen class, again.
    void reload();
    // Writes the table as shown (its columns, its order) to a CSV file; "" or why it failed.
    QString exportTo(const QString &path) const;
    // Copies the pupil of the table's row (as shown) from the server and opens their window.
    void openPupil(int row);

signals:
    // A class's table has been shown (or the sentence that there is no class).
    void refreshed();
    // A pupil's progress window opened, or why it could not.
    void pupilOpened(ProgressWindow *window);
    void pupilFailed(const QString &reason);

private:
    struct Read
    {
        std::vector<std::string> classes;
        QString className;
        ClassReport report;
        QString error;
    };

    void readClass(const QString &className);
    void present(const Read &read);
    void chooseExportFile();

    std::shared_ptr<ServerLink> m_link;
    QFutureWatcher<Read> m_reader;
    QString m_readAgain;
    bool m_readPending = false;
    QTemporaryDir m_copies;
    QFutureWatcher<QString> m_copier;
    PupilRow m_copying;

    QComboBox *m_classBox;
    QLabel *m_classLabel;
    QStackedWidget *m_pages;
    QLabel *m_message;
    ClassTableModel *m_model;
    QSortFilterProxyModel *m_sorted;
    QTableView *m_table;
    KeyboardMap *m_keyboard;
    QPushButton *m_export;
    QLabel *m_status;
};
