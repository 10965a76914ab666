#pragma once

#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <mutex>

class PgConnection;
class QWidget;

// One connection to the class server, used by one worker thread at a time.
struct ServerLink
{
    std::mutex mutex;
    std::unique_ptr<PgConnection> connection;
};

// typing-drill-progress on the class server: connects off the GUI thread as the login of the
// connection string (asking for a password when libpq has none, never keeping it), then shows a
// teacher or the admin their classes and a pupil their own progress. Quits the application when it
// cannot connect or the login has nothing to see.
class ServerSession : public QObject
{
    Q_OBJECT

public:
    explicit ServerSession(const QString &conninfo, QObject *parent = nullptr);
    ~ServerSession() override;

    // Connects and shows the window that suits the login.
    void start();

private:
    void connectWith(const QString &password);
    void connected(std::shared_ptr<ServerLink> link, int role, const QString &error,
                   bool needsPassword);
    void showPupil(std::shared_ptr<ServerLink> link);
    void show(QWidget *window);
    void fail(const QString &chinese, const QString &english);

    QString m_conninfo;
    QTemporaryDir m_folder;
    QWidget *m_window = nullptr;
};
