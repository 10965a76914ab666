// with_postgres COMMAND [ARGS...]: runs the command beside a private PostgreSQL server, with
// libpq's variables (and the test suite's own) pointing at it, then stops the server and exits
// with the command's status. For CTest and pg_prove.
#include "postgres_server.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

std::atomic<pid_t> command {-1};
std::atomic<int> interruption {0};

// An interrupted or timed-out run ends the command; the server is then stopped as usual.
void passOn(int signal)
{
    interruption = signal;
    if (const pid_t pid = command.load(); pid > 0)
        kill(pid, signal);
}

// The machine's own PG* variables (PGSSLMODE, PGSERVICE, ...) must not reach the command.
void clearLibpqEnvironment()
{
    std::vector<std::string> names;
    for (char **entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        if (variable.starts_with("PG"))
            names.push_back(variable.substr(0, variable.find('=')));
    }
    for (const std::string &name : names)
        unsetenv(name.c_str());
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::cerr << "usage: with_postgres COMMAND [ARGS...]\n";
        return 2;
    }
    struct sigaction action
    {
    };
    action.sa_handler = passOn;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaction(signal, &action, nullptr);

    PostgresServer server;
    if (!server.start()) {
        std::cerr << "with_postgres: the PostgreSQL server did not start; its log:\n"
                  << server.log();
        return 1;
    }

    clearLibpqEnvironment();
    const std::string port = std::to_string(server.port());
    setenv("PGHOST", server.folder().c_str(), 1);
    setenv("PGPORT", port.c_str(), 1);
    setenv("PGDATABASE", "school", 1);
    setenv("PGUSER", "school_admin", 1);
    setenv("PGPASSWORD", PostgresServer::adminPassword().c_str(), 1);
    setenv("TYPING_DRILL_TEST_ADMIN", server.adminConnection().c_str(), 1);
    setenv("TYPING_DRILL_TEST_SUPERUSER", server.superuserConnection().c_str(), 1);
    const std::string tcpBase = "host=localhost hostaddr=127.0.0.1 port=" + port
        + " dbname=school sslmode=verify-full sslrootcert='" + server.caCertificate() + "'";
    setenv("TYPING_DRILL_TEST_TCP_BASE", tcpBase.c_str(), 1);

    if (interruption != 0)
        return 128 + interruption;
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[1], nullptr, nullptr, argv + 1, environ);
    if (failed) {
        std::cerr << "with_postgres: cannot run " << argv[1] << ": " << std::strerror(failed)
                  << '\n';
        return 127;
    }
    command = pid;
    if (interruption != 0)
        kill(pid, interruption);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    command = -1;
    server.stop();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
