#include "pulse_server.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

bool acceptsConnections(const std::string &socketPath)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    const bool connected = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

} // namespace

PulseServer::PulseServer()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "pulse-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a folder for the PulseAudio daemon");
    m_folder = pattern;
    // Without shared memory the clients send their audio over the socket: PulseAudio 16 aborts
    // now and then (memblock.c, memblock_replace_import) when a client's shared blocks go away
    // while a recording of the monitor still holds them.
    std::ofstream(m_folder + "/client.conf") << "autospawn = no\nenable-shm = no\n";
}

PulseServer::~PulseServer()
{
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

bool PulseServer::start(std::chrono::milliseconds timeout)
{
    if (isRunning())
        return true;
    const std::string socketPath = m_folder + "/native";
    std::filesystem::remove(socketPath);
    EnvironmentChanges environment = clientEnvironment();
    environment.emplace_back("HOME", m_folder);
    environment.emplace_back("XDG_RUNTIME_DIR", m_folder);
    environment.emplace_back("PULSE_RUNTIME_PATH", m_folder);
    environment.emplace_back("PULSE_STATE_PATH", m_folder);
    // norewinds: without it the monitor loses the first milliseconds of every new stream.
    std::vector<std::string> arguments {
        "pulseaudio",
        "-n",
        "--daemonize=no",
        "--system=no",
        "--use-pid-file=no",
        "--exit-idle-time=-1",
        "--disallow-exit",
        "--realtime=yes",
        "--high-priority=yes",
        "--log-target=stderr",
        "-L",
        "module-null-sink sink_name=cues format=s16le rate=44100 channels=1 norewinds=1",
        "-L",
        "module-native-protocol-unix socket=" + socketPath + " auth-anonymous=1"};
    if (m_suspendAfter.count() > 0)
        arguments.insert(
            arguments.end(),
            {"-L", "module-suspend-on-idle timeout=" + std::to_string(m_suspendAfter.count())});
    m_pid = startProcess(arguments, environment, -1, m_folder + "/daemon.log");
    if (m_pid <= 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (acceptsConnections(socketPath))
            return true;
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop();
    return false;
}

void PulseServer::stop()
{
    endProcess(m_pid);
    m_pid = -1;
}

void PulseServer::kill()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
}

void PulseServer::freeze()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGSTOP);
}

void PulseServer::thaw()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGCONT);
}

std::string PulseServer::address() const
{
    return "unix:" + m_folder + "/native";
}

EnvironmentChanges PulseServer::clientEnvironment() const
{
    return {{"PULSE_SERVER", address()}, {"PULSE_CLIENTCONFIG", m_folder + "/client.conf"}};
}

void PulseServer::useInThisProcess() const
{
    for (const auto &[name, value] : clientEnvironment())
        setenv(name.c_str(), value.c_str(), 1);
}
