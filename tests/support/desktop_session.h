#pragma once

#include "child_process.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <map>
#include <sys/types.h>

class QByteArray;
class QProcessEnvironment;

// A private desktop for end-to-end tests: a display server (Xvfb, or a headless sway for
// Wayland), a session bus with the accessibility bus, and programs started in it whose windows
// are read as a screen reader reads them and typed into with real key events. Everything it
// starts is stopped by its process id, at the latest when it is destroyed.
class DesktopSession
{
public:
    enum class Display { X11, Wayland };

    explicit DesktopSession(Display display);
    ~DesktopSession();
    DesktopSession(const DesktopSession &) = delete;
    DesktopSession &operator=(const DesktopSession &) = delete;

    // Starts the display server and the buses; false, with error() saying which, when one did not.
    bool start();
    const QString &error() const { return m_error; }
    Display display() const { return m_display; }
    // A path in the session's own temporary folder, for the files of the programs it runs.
    QString filePath(const QString &name) const { return m_folder.filePath(name); }

    // What a program needs to open its window here and be read over the accessibility bus: the
    // display, the Qt platform, the session bus, and a runtime and a data folder of its own.
    EnvironmentChanges environment() const;
    // The same on top of this process's environment, for QProcess.
    QProcessEnvironment processEnvironment(const EnvironmentChanges &extra = {}) const;

    // Starts a program (arguments[0], looked up in PATH) with this session's environment and the
    // extra variables; its standard error goes to programLog(). Gives its process id, or -1.
    pid_t startProgram(const QStringList &arguments, const EnvironmentChanges &extra = {});
    QString programLog(pid_t program) const;
    // The exit status of a program started here once it has ended by itself, or -1 when it is
    // still running after the timeout (it then keeps running) or was ended by a signal.
    int waitForExit(pid_t program, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Ends a program started here that is still running.
    void endProgram(pid_t program);
    // Ends every program started here that is still running.
    void endPrograms();

    // Runs a short command in this session to its end (10 s at most); true when it exits with 0.
    bool run(const QString &program, const QStringList &arguments,
             const EnvironmentChanges &extra = {}, QByteArray *output = nullptr) const;

    // What a screen reader learns of the program's windows: each control's accessible
    // description mapped to its accessible name. Empty when nothing could be read.
    QMap<QString, QString> readWindow(pid_t program) const;
    // Waits for a control to show a value; warns with what it showed instead when it never does.
    bool waitForLabel(pid_t program, const QString &description, const QString &value,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // X11 only: the program's window titles once one of them is `title`; empty when none
    // became it within ten seconds.
    QStringList waitForTitle(pid_t program, const QString &title);

    // Keys, by their X keysym names ("a", "Return", "Escape", "Tab"), to the focused window:
    // through XTest on X11, through a virtual keyboard on Wayland. A pressed key stays down,
    // auto-repeating, until it is released.
    bool pressKey(const QString &key);
    bool releaseKey(const QString &key);
    // Presses and releases each key in turn.
    bool tapKeys(const QStringList &keys);

    // Wayland only: the compositor's tree node of the program's window (sway's get_tree: app_id,
    // name, shell, type, rect...), empty when it has none.
    QJsonObject compositorWindow(pid_t program) const;
    // Wayland only: runs a sway command, such as "[pid=N] focus"; true when it succeeded.
    bool compositorCommand(const QString &command) const;

private:
    bool startX11();
    bool startWayland();
    bool startBuses();
    bool fail(const QString &what);

    Display m_display;
    QTemporaryDir m_folder;
    QString m_error;
    EnvironmentChanges m_environment;
    QString m_swaySocket;
    pid_t m_displayServer = -1;
    pid_t m_keyboard = -1;
    pid_t m_bus = -1;
    pid_t m_accessibility = -1;
    int m_programsStarted = 0;
    std::map<pid_t, QString> m_programs;
    std::map<QString, pid_t> m_heldKeys;
};
