#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>
#include <grp.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// The files of the history tests: read and written whole, and used by an ordinary user.

inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// What `work` gives when run in a child process as an ordinary user (nobody, when the tests run as
// the superuser, whom mode bits do not stop); nothing when the child failed.
inline std::optional<QString> asOrdinaryUser(const std::function<std::string()> &work)
{
    int said[2];
    if (pipe(said) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child == 0) {
        ::close(said[0]);
        const uid_t nobody = 65534;
        if (geteuid() == 0
            && (setgroups(0, nullptr) != 0 || setresgid(nobody, nobody, nobody) != 0
                || setresuid(nobody, nobody, nobody) != 0))
            _exit(2);
        const std::string text = work();
        _exit(::write(said[1], text.data(), text.size()) == ssize_t(text.size()) ? 0 : 3);
    }
    ::close(said[1]);
    QFile fromChild;
    if (!fromChild.open(said[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return std::nullopt;
    const QString text = QString::fromUtf8(fromChild.readAll());
    int status = -1;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return text;
}
