#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// The outcome of one psql run: its exit status and what it printed on each stream.
struct PsqlResult
{
    int exitCode;
    std::string output;
    std::string error;
};

// A private PostgreSQL 15 cluster for tests and benchmarks, in a temporary folder of its own,
// started and stopped by its process id. It holds the database "school" owned by the login role
// "school_admin", takes TCP only with TLS (its own CA, checked with sslmode=verify-full) and asks
// everyone for a password except its private superuser on the Unix socket. Roles are cluster-wide:
// use one server per test executable, or per test.
class PostgresServer
{
public:
    // Makes the private folder; no server runs yet.
    PostgresServer();
    // Stops the server and removes the folder.
    ~PostgresServer();
    PostgresServer(const PostgresServer &) = delete;
    PostgresServer &operator=(const PostgresServer &) = delete;

    // The first call makes the certificates and the cluster, its school_admin and its database;
    // later calls (after stop() or kill()) start the same cluster on the same port. Returns once
    // the server accepts connections (false on failure or timeout; log() says why).
    bool start(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // Fast shutdown (SIGINT), SIGKILL when it lingers; waits for the server to end.
    void stop();
    // Ends the server and its processes at once with SIGKILL, as a crash would.
    void kill();
    // Stops and resumes the server and all its processes (SIGSTOP, SIGCONT): a hung server host.
    void freeze();
    void thaw();
    bool isRunning() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    int port() const { return m_port; }
    // The folder holding the cluster, the socket, the certificates and the log.
    const std::string &folder() const { return m_folder; }

    // The password of school_admin.
    static std::string adminPassword();
    // school_admin to the database school over the Unix socket, with a password.
    std::string adminConnection() const;
    // The private superuser to the database school over the Unix socket, for a test's setup.
    std::string superuserConnection() const;
    // A user to the database school over TCP to 127.0.0.1, by the name "localhost", with TLS
    // whose certificate is checked against the private CA (sslmode=verify-full).
    std::string tcpConnection(const std::string &user, const std::string &password) const;
    // A user to the database school over the Unix socket.
    std::string socketConnection(const std::string &user, const std::string &password) const;
    // The private CA's certificate (PEM), for sslrootcert.
    std::string caCertificate() const;
    // From its next start, the server presents a certificate for another host name, signed by
    // the same CA, so that verify-full clients refuse it ("does not match host name").
    void presentCertificateFor(const std::string &hostName);

    // Runs psql (-X -q -v ON_ERROR_STOP=1 -A -t) on the connection string with the SQL on its
    // standard input, untouched by this machine's own PG* variables, service and password files,
    // with English messages (LC_ALL=C.UTF-8). The output is as psql printed it, a line per row.
    PsqlResult psql(const std::string &connection, const std::string &sql) const;
    // What the server, initdb and openssl have logged so far, for failure messages.
    std::string log() const;

private:
    bool makeCertificateAuthority(std::chrono::steady_clock::time_point deadline);
    bool makeServerCertificate(const std::string &hostName,
                               std::chrono::steady_clock::time_point deadline);
    bool initialise(std::chrono::steady_clock::time_point deadline);
    bool launch(std::chrono::steady_clock::time_point deadline);
    void watchOver();
    void stopWatching();
    void writeSettings() const;
    void note(const std::string &line) const;
    int run(std::vector<std::string> arguments, bool asServerUser,
            std::chrono::steady_clock::time_point deadline) const;
    void handToServerUser(const std::string &path) const;

    std::string m_folder;
    pid_t m_pid = -1;
    // A process of its own that ends the server if this process dies without stop() (a test
    // that crashes runs no destructor), and this process's end of the pipe it watches.
    pid_t m_watcher = -1;
    int m_watch = -1;
    int m_port = 0;
    bool m_initialised = false;
    std::string m_certificateHost = "localhost";
};
