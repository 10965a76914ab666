#include "desktop_session.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QtDebug>

#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// sway refuses to run as root; as root the compositor alone runs as this unprivileged user.
constexpr uid_t compositorUser = 65534;

// One line a child writes into a pipe (Xvfb's display number, the bus address), or "" on timeout.
std::string readLine(int fd, std::chrono::milliseconds timeout)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd wanted {fd, POLLIN, 0};
        if (poll(&wanted, 1, 100) <= 0)
            continue;
        char c = 0;
        if (read(fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return line;
        line += c;
    }
    return {};
}

// Starts a child that prints one line on its standard output, and gives that line.
std::string startAndReadLine(pid_t &pid, const std::vector<std::string> &arguments,
                             const EnvironmentChanges &environment)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    pid = startProcess(arguments, environment, fds[1]);
    close(fds[1]);
    const std::string line = pid > 0 ? readLine(fds[0], 10s) : std::string();
    close(fds[0]);
    return line;
}

std::vector<std::string> toStd(const QStringList &list)
{
    std::vector<std::string> converted;
    for (const QString &item : list)
        converted.push_back(item.toStdString());
    return converted;
}

// Whether a child has ended, leaving it to be reaped by its stopper.
bool hasEnded(pid_t pid)
{
    siginfo_t info {};
    return waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

// Whether a process is asleep in a timed wait, as wtype is once it has sent the keys before its
// pause.
bool isSleeping(pid_t pid)
{
    QFile wchan(QString("/proc/%1/wchan").arg(pid));
    return wchan.open(QIODevice::ReadOnly) && wchan.readAll().contains("nanosleep");
}

QJsonObject findWindow(const QJsonObject &node, pid_t pid)
{
    if (node.value("pid").toInt(-1) == pid)
        return node;
    for (const char *children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue &child : node.value(children).toArray()) {
            const QJsonObject found = findWindow(child.toObject(), pid);
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

} // namespace

DesktopSession::DesktopSession(Display display)
    : m_display(display)
{
}

DesktopSession::~DesktopSession()
{
    endPrograms();
    for (const auto &[key, wtype] : m_heldKeys)
        endProcess(wtype);
    endProcess(m_keyboard);
    endProcess(m_accessibility);
    endProcess(m_bus);
    endProcess(m_displayServer);
}

bool DesktopSession::fail(const QString &what)
{
    m_error = what;
    return false;
}

bool DesktopSession::start()
{
    if (!m_folder.isValid())
        return fail("no temporary folder");
    const QString runtime = m_folder.filePath("runtime");
    if (!QDir().mkpath(runtime))
        return fail("cannot make " + runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_environment = {{"XDG_RUNTIME_DIR", runtime.toStdString()}};
    const bool started = m_display == Display::X11 ? startX11() : startWayland();
    return started && startBuses();
}

bool DesktopSession::startX11()
{
    const std::string display =
        startAndReadLine(m_displayServer,
                         {"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-dpi", "96",
                          "-nolisten", "tcp", "-noreset"},
                         {});
    if (display.empty())
        return fail("Xvfb did not start");
    m_environment.emplace_back("DISPLAY", ":" + display);
    m_environment.emplace_back("QT_QPA_PLATFORM", "xcb");
    return true;
}

bool DesktopSession::startWayland()
{
    // The compositor's own home and runtime folder, which it must own; the rest of the session's
    // folder stays root's but can be walked through.
    const bool asRoot = geteuid() == 0;
    const QString home = m_folder.filePath("compositor");
    const QString runtime = home + "/runtime";
    if (!QDir().mkpath(runtime))
        return fail("cannot make " + runtime);
    QFile::setPermissions(m_folder.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup
                              | QFile::ExeOther);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (asRoot
        && (chown(qPrintable(home), compositorUser, compositorUser) != 0
            || chown(qPrintable(runtime), compositorUser, compositorUser) != 0))
        return fail("cannot hand the compositor's folders to its user");

    // One output at scale 1, no X server, no bar, no borders: the window alone, at its own size.
    const QString config = m_folder.filePath("sway.conf");
    QFile configFile(config);
    if (!configFile.open(QIODevice::WriteOnly))
        return fail("cannot write " + config);
    configFile.write("xwayland disable\n"
                     "output HEADLESS-1 resolution 1024x768 scale 1\n"
                     "default_border none\n"
                     "default_floating_border none\n");
    configFile.close();
    configFile.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);

    std::vector<std::string> command {"sway", "-c", config.toStdString()};
    if (asRoot) {
        const std::string id = std::to_string(compositorUser);
        command.insert(command.begin(),
                       {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups",
                        "--pdeathsig", "TERM", "--"});
    }
    m_displayServer = startProcess(command,
                                   {{"HOME", home.toStdString()},
                                    {"XDG_RUNTIME_DIR", runtime.toStdString()},
                                    {"WLR_BACKENDS", "headless"},
                                    {"WLR_HEADLESS_OUTPUTS", "1"},
                                    {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                    {"WLR_RENDERER", "pixman"}},
                                   -1, m_folder.filePath("compositor.log").toStdString());
    if (m_displayServer <= 0)
        return fail("sway could not be started");

    // Ready once both sockets are there and the compositor reports its output.
    QString display;
    bool ready = false;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!ready && std::chrono::steady_clock::now() < deadline && !hasEnded(m_displayServer)) {
        const QDir folder(runtime);
        const QStringList displays = folder.entryList({"wayland-*"}, QDir::System);
        const QStringList sockets = folder.entryList({"sway-ipc.*.sock"}, QDir::System);
        for (const QString &name : displays) {
            if (!name.endsWith(".lock"))
                display = folder.filePath(name);
        }
        if (!display.isEmpty() && !sockets.isEmpty()) {
            m_swaySocket = folder.filePath(sockets.first());
            QByteArray outputs;
            ready = run("swaymsg", {"-s", m_swaySocket, "-t", "get_outputs"}, {}, &outputs)
                && !QJsonDocument::fromJson(outputs).array().isEmpty();
        }
        if (!ready)
            std::this_thread::sleep_for(50ms);
    }
    if (!ready)
        return fail("sway did not start; see " + m_folder.filePath("compositor.log"));
    m_environment.emplace_back("WAYLAND_DISPLAY", display.toStdString());
    m_environment.emplace_back("QT_QPA_PLATFORM", "wayland");

    // Without a keyboard that stays, the seat has one only while a wtype call runs, and a
    // client sees the first key of each call as already down.
    m_keyboard = startProcess({"wtype", "-s", "2000000"}, m_environment);
    return m_keyboard > 0 || fail("wtype could not be started");
}

bool DesktopSession::startBuses()
{
    const std::string bus = startAndReadLine(
        m_bus, {"dbus-daemon", "--session", "--nofork", "--print-address=1"}, m_environment);
    if (bus.empty())
        return fail("the session bus did not start");
    m_environment.emplace_back("DBUS_SESSION_BUS_ADDRESS", bus);
    // Qt registers with the accessibility bus only when it finds it through the session bus,
    // so AT_SPI_BUS_ADDRESS is never given to programs.
    m_accessibility =
        startProcess({ACCESSIBILITY_BUS_LAUNCHER, "--launch-immediately"}, m_environment);
    return m_accessibility > 0 || fail("the accessibility bus did not start");
}

EnvironmentChanges DesktopSession::environment() const
{
    EnvironmentChanges environment = m_environment;
    environment.emplace_back("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    // The programs keep their history here, not in the user's own.
    environment.emplace_back("XDG_DATA_HOME", m_folder.filePath("data").toStdString());
    return environment;
}

QProcessEnvironment DesktopSession::processEnvironment(const EnvironmentChanges &extra) const
{
    QProcessEnvironment combined = QProcessEnvironment::systemEnvironment();
    for (const auto &variables : {environment(), extra}) {
        for (const auto &[name, value] : variables)
            combined.insert(QString::fromStdString(name), QString::fromStdString(value));
    }
    return combined;
}

pid_t DesktopSession::startProgram(const QStringList &arguments, const EnvironmentChanges &extra)
{
    EnvironmentChanges environment = this->environment();
    environment.insert(environment.end(), extra.begin(), extra.end());
    const QString log = m_folder.filePath(QString("program-%1.log").arg(++m_programsStarted));
    const pid_t program = startProcess(toStd(arguments), environment, -1, log.toStdString());
    if (program > 0)
        m_programs[program] = log;
    return program;
}

QString DesktopSession::programLog(pid_t program) const
{
    const auto found = m_programs.find(program);
    return found == m_programs.end() ? QString() : found->second;
}

int DesktopSession::waitForExit(pid_t program, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(program, &status, WNOHANG) != program) {
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(10ms);
    }
    m_programs.erase(program);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void DesktopSession::endProgram(pid_t program)
{
    if (m_programs.erase(program))
        endProcess(program);
}

void DesktopSession::endPrograms()
{
    for (const auto &[program, log] : m_programs)
        endProcess(program);
    m_programs.clear();
}

bool DesktopSession::run(const QString &program, const QStringList &arguments,
                         const EnvironmentChanges &extra, QByteArray *output) const
{
    QProcess process;
    process.setProcessEnvironment(processEnvironment(extra));
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QMap<QString, QString> DesktopSession::readWindow(pid_t program) const
{
    QByteArray output;
    QMap<QString, QString> labels;
    run("/usr/bin/python3", {READ_WINDOW_SCRIPT, QString::number(program)}, {}, &output);
    for (const QString &line : QString::fromUtf8(output).split('\n')) {
        const QStringList parts = line.split('\t');
        if (parts.size() == 2)
            labels.insert(parts[0], parts[1]);
    }
    return labels;
}

bool DesktopSession::waitForLabel(pid_t program, const QString &description, const QString &value,
                                  std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    QString seen;
    while (true) {
        seen = readWindow(program).value(description);
        if (seen == value)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(100ms);
    }
    qWarning() << description << "shows" << seen << "instead of" << value;
    return false;
}

QStringList DesktopSession::waitForTitle(pid_t program, const QString &title)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray output;
        run("xdotool",
            {"search", "--all", "--onlyvisible", "--pid", QString::number(program), "--name", ".",
             "getwindowname", "%@"},
            {}, &output);
        const QStringList titles = QString::fromUtf8(output).split('\n', Qt::SkipEmptyParts);
        if (titles.contains(title))
            return titles;
        std::this_thread::sleep_for(100ms);
    }
    return {};
}

bool DesktopSession::pressKey(const QString &key)
{
    if (m_display == Display::X11)
        return run("xdotool", {"keydown", key});
    if (m_heldKeys.contains(key))
        return false;
    // The virtual keyboard holds the key for as long as its wtype waits; ending it releases the
    // key. It is down once wtype sleeps.
    const pid_t wtype =
        startProcess({"wtype", "-P", key.toStdString(), "-s", "600000"}, m_environment);
    if (wtype <= 0)
        return false;
    m_heldKeys[key] = wtype;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!isSleeping(wtype)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

bool DesktopSession::releaseKey(const QString &key)
{
    if (m_display == Display::X11)
        return run("xdotool", {"keyup", key});
    const auto held = m_heldKeys.find(key);
    if (held == m_heldKeys.end())
        return false;
    endProcess(held->second);
    m_heldKeys.erase(held);
    return true;
}

bool DesktopSession::tapKeys(const QStringList &keys)
{
    if (m_display == Display::X11)
        return run("xdotool", QStringList {"key"} + keys);
    QStringList arguments;
    for (const QString &key : keys)
        arguments << "-P" << key << "-s"
                  << "30"
                  << "-p" << key;
    return run("wtype", arguments);
}

QJsonObject DesktopSession::compositorWindow(pid_t program) const
{
    QByteArray tree;
    if (m_swaySocket.isEmpty()
        || !run("swaymsg", {"-s", m_swaySocket, "-t", "get_tree"}, {}, &tree))
        return {};
    return findWindow(QJsonDocument::fromJson(tree).object(), program);
}

bool DesktopSession::compositorCommand(const QString &command) const
{
    QByteArray replies;
    if (m_swaySocket.isEmpty() || !run("swaymsg", {"-s", m_swaySocket, command}, {}, &replies))
        return false;
    const QJsonArray results = QJsonDocument::fromJson(replies).array();
    for (const QJsonValue &result : results) {
        if (!result.toObject().value("success").toBool())
            return false;
    }
    return !results.isEmpty();
}
