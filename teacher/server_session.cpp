#include "server_session.h"

#include "class_report.h"
#include "pg_connection.h"
#include "progress_window.h"
#include "server_address.h"
#include "server_history.h"
#include "teacher_window.h"

#include <QApplication>
#include <QFutureWatcher>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QtConcurrent>

#include <cstdio>

namespace {

// What a connection attempt gave.
struct Attempt
{
    std::shared_ptr<ServerLink> link;
    ServerRole role = ServerRole::Other;
    std::string error;
    bool needsPassword = false;
};

// A value for a libpq connection string, quoted so that any password fits.
std::string quotedValue(const QString &value)
{
    std::string quoted = "'";
    for (const char c : value.toStdString()) {
        if (c == '\'' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '\'';
}

Attempt attempt(const std::string &conninfo)
{
    Attempt result;
    auto link = std::make_shared<ServerLink>();
    link->connection = PgConnection::open(serverAddress::withVerifiedTls(conninfo), result.error);
    if (!link->connection) {
        // libpq's words when the server asks for a password and none was found its ways
        // (PGPASSWORD, the password file, the service).
        result.needsPassword = result.error.find("no password supplied") != std::string::npos;
        return result;
    }
    result.role = classReport::roleOf(*link->connection, result.error);
    result.link = std::move(link);
    return result;
}

} // namespace

ServerSession::ServerSession(const QString &conninfo, QObject *parent)
    : QObject(parent)
    , m_conninfo(conninfo)
{
}

ServerSession::~ServerSession()
{
    // The windows read the copies in the temporary folder: they go first.
    delete m_window;
}

void ServerSession::start()
{
    // The password dialog or a message may close before the main window opens: only that
    // window's closing ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    connectWith({});
}

void ServerSession::show(QWidget *window)
{
    m_window = window;
    m_window->show();
    // The password dialog had the keyboard; the window takes it over.
    m_window->activateWindow();
    QApplication::setQuitOnLastWindowClosed(true);
}

void ServerSession::connectWith(const QString &password)
{
    std::string conninfo = m_conninfo.toStdString();
    if (!password.isNull())
        conninfo += " password=" + quotedValue(password);
    auto *watcher = new QFutureWatcher<Attempt>(this);
    connect(watcher, &QFutureWatcher<Attempt>::finished, this, [this, watcher] {
        const Attempt result = watcher->result();
        watcher->deleteLater();
        connected(result.link, int(result.role), QString::fromStdString(result.error),
                  result.needsPassword);
    });
    watcher->setFuture(QtConcurrent::run(attempt, conninfo));
}

void ServerSession::connected(std::shared_ptr<ServerLink> link, int role, const QString &error,
                              bool needsPassword)
{
    if (needsPassword) {
        bool ok = false;
        const QString password =
            QInputDialog::getText(nullptr, QStringLiteral("登录班级服务器"),
                                  QStringLiteral("密码："), QLineEdit::Password, {}, &ok);
        if (!ok) {
            QApplication::exit(1);
            return;
        }
        connectWith(password);
        return;
    }
    if (!link || !error.isEmpty()) {
        fail(QStringLiteral("无法连接班级服务器。"),
             QStringLiteral("Cannot connect to the class server: %1").arg(error));
        return;
    }
    switch (ServerRole(role)) {
    case ServerRole::Admin:
    case ServerRole::Teacher:
        show(new TeacherWindow(link));
        return;
    case ServerRole::Pupil:
        showPupil(link);
        return;
    case ServerRole::Other:
        fail(QStringLiteral("这个登录名既不是老师也不是学员。"),
             QStringLiteral("The login is neither a teacher nor a pupil of the class server."));
        return;
    }
}

void ServerSession::showPupil(std::shared_ptr<ServerLink> link)
{
    const QString path = m_folder.filePath(QStringLiteral("history.sqlite"));
    struct Copy
    {
        std::string name;
        std::string error;
    };
    auto *watcher = new QFutureWatcher<Copy>(this);
    connect(watcher, &QFutureWatcher<Copy>::finished, this, [this, watcher, path] {
        const Copy copy = watcher->result();
        watcher->deleteLater();
        if (!copy.error.empty()) {
            fail(QStringLiteral("无法取回你的练习记录。"),
                 QStringLiteral("Cannot copy the runs from the class server: %1")
                     .arg(QString::fromStdString(copy.error)));
            return;
        }
        show(new ProgressWindow(path, QString::fromStdString(copy.name)));
    });
    watcher->setFuture(QtConcurrent::run([link, path] {
        Copy copy;
        const std::lock_guard lock(link->mutex);
        copy.name = classReport::ownName(*link->connection, copy.error);
        if (copy.error.empty())
            copy.error = serverHistory::copyRuns(*link->connection, link->connection->user(),
                                                 path.toStdString(), copy.name);
        return copy;
    }));
}

void ServerSession::fail(const QString &chinese, const QString &english)
{
    std::fprintf(stderr, "typing-drill-progress: %s\n", qPrintable(english));
    QMessageBox::critical(nullptr, QStringLiteral("班级服务器"), chinese);
    QApplication::exit(1);
}
