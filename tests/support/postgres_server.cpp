#include "postgres_server.h"

#include "child_process.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

const std::string binaryFolder = POSTGRES_BIN_DIR;
const std::string superuser = "postgres_test_owner";
const std::string database = "school";
const std::string admin = "school_admin";
// A psql run longer than this is a hung server or a test's mistake: end it rather than the test.
constexpr auto psqlLimit = std::chrono::seconds(60);

int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

bool acceptsTcp(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

// libpq's quoting of a keyword value: in single quotes, with \ and ' escaped by a backslash.
std::string libpqValue(const std::string &value)
{
    std::string result = "'";
    for (const char c : value) {
        if (c == '\\' || c == '\'')
            result += '\\';
        result += c;
    }
    return result + "'";
}

std::string readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string readAll(int fd)
{
    std::string text;
    char buffer[8192];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    return text;
}

// The processes whose parent is the given one (the postmaster's auxiliary processes and backends).
std::vector<pid_t> childrenOf(pid_t parent)
{
    std::vector<pid_t> children;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stat = readFile(entry.path().string() + "/stat");
        // The command name may hold spaces and parentheses: the fields resume after the last ')'.
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close + 1));
        char state = 0;
        pid_t ppid = 0;
        if (fields >> state >> ppid && ppid == parent)
            children.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return children;
}

bool hasEnded(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close == std::string::npos || stat.substr(close + 2, 1) == "Z";
}

// The server refuses to run as root: as root, its programs run as the postgres account.
void runAsServerUser(std::vector<std::string> &arguments)
{
    if (geteuid() == 0)
        arguments.insert(
            arguments.begin(),
            {"setpriv", "--reuid=postgres", "--regid=postgres", "--clear-groups", "--"});
}

// Where the certificate and key for a host name live, without the extension.
std::string certificateBase(const std::string &folder, const std::string &hostName)
{
    std::string fileName = "server-" + hostName;
    for (char &c : fileName)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-')
            c = '_';
    return folder + "/tls/" + fileName;
}

bool waitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline)
{
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace

PostgresServer::PostgresServer()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "pg-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a folder for the PostgreSQL server");
    m_folder = pattern;
    std::filesystem::create_directory(m_folder + "/tls");
    handToServerUser(m_folder);
    handToServerUser(m_folder + "/tls");
}

PostgresServer::~PostgresServer()
{
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

std::string PostgresServer::adminPassword()
{
    return "school-admin-test-9241";
}

void PostgresServer::handToServerUser(const std::string &path) const
{
    // As root, the server runs as postgres and must own its files; otherwise they are ours.
    if (geteuid() != 0)
        return;
    if (const passwd *account = getpwnam("postgres"))
        if (chown(path.c_str(), account->pw_uid, account->pw_gid) != 0)
            note("cannot hand " + path + " to postgres: " + std::strerror(errno));
}

void PostgresServer::note(const std::string &line) const
{
    std::ofstream(m_folder + "/server.log", std::ios::app) << "postgres_server: " << line << '\n';
}

int PostgresServer::run(std::vector<std::string> arguments, bool asServerUser,
                        std::chrono::steady_clock::time_point deadline) const
{
    if (asServerUser)
        runAsServerUser(arguments);
    const std::string logPath = m_folder + "/server.log";
    const int logFd = open(logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    const pid_t pid = startProcess(arguments, {}, logFd, logPath);
    if (logFd >= 0)
        close(logFd);
    if (pid <= 0) {
        note("cannot start " + arguments.front());
        return -1;
    }
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    endProcess(pid);
    note(arguments.front() + " ran out of time");
    return -1;
}

bool PostgresServer::makeCertificateAuthority(std::chrono::steady_clock::time_point deadline)
{
    const std::string tls = m_folder + "/tls/";
    if (std::filesystem::exists(tls + "ca.pem"))
        return true;
    // P-256 keys take milliseconds to make where RSA keys take up to a second.
    return run({"openssl",
                "req",
                "-x509",
                "-newkey",
                "ec",
                "-pkeyopt",
                "ec_paramgen_curve:prime256v1",
                "-nodes",
                "-keyout",
                tls + "ca.key",
                "-out",
                tls + "ca.pem",
                "-days",
                "3650",
                "-subj",
                "/CN=typing-drill test CA",
                "-addext",
                "basicConstraints=critical,CA:TRUE",
                "-addext",
                "keyUsage=critical,keyCertSign,cRLSign"},
               false, deadline)
        == 0;
}

bool PostgresServer::makeServerCertificate(const std::string &hostName,
                                           std::chrono::steady_clock::time_point deadline)
{
    const std::string base = certificateBase(m_folder, hostName);
    if (std::filesystem::exists(base + ".pem"))
        return true;
    std::string names = "DNS:" + hostName;
    if (hostName == "localhost")
        names += ",IP:127.0.0.1";
    std::ofstream(base + ".ext") << "subjectAltName=" << names
                                 << "\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature"
                                    "\nextendedKeyUsage=serverAuth\n";
    const std::string tls = m_folder + "/tls/";
    if (run({"openssl", "req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
             "-nodes", "-keyout", base + ".key", "-out", base + ".csr", "-subj", "/CN=" + hostName},
            false, deadline)
            != 0
        || run({"openssl", "x509", "-req", "-in", base + ".csr", "-CA", tls + "ca.pem", "-CAkey",
                tls + "ca.key", "-CAcreateserial", "-days", "3650", "-extfile", base + ".ext",
                "-out", base + ".pem"},
               false, deadline)
            != 0)
        return false;
    // The server refuses a key that others may read, or that belongs to someone else.
    for (const char *suffix : {".key", ".pem"}) {
        chmod((base + suffix).c_str(), 0600);
        handToServerUser(base + suffix);
    }
    return true;
}

void PostgresServer::writeSettings() const
{
    const std::string base = certificateBase(m_folder, m_certificateHost);
    // Durability is of no use to a cluster that lives for one test run.
    std::ofstream(m_folder + "/settings.conf")
        << "listen_addresses = '127.0.0.1'\n"
        << "port = " << m_port << '\n'
        << "unix_socket_directories = " << libpqValue(m_folder) << '\n'
        << "max_connections = 100\n"
        << "shared_buffers = 32MB\n"
        << "fsync = off\n"
        << "full_page_writes = off\n"
        << "password_encryption = 'scram-sha-256'\n"
        << "ssl = on\n"
        << "ssl_cert_file = " << libpqValue(base + ".pem") << '\n'
        << "ssl_key_file = " << libpqValue(base + ".key") << '\n'
        << "shared_preload_libraries = 'auth_delay'\n"
        << "auth_delay.milliseconds = 200\n"
        << "log_destination = 'stderr'\n"
        << "logging_collector = off\n"
        << "log_min_messages = warning\n";
}

bool PostgresServer::initialise(std::chrono::steady_clock::time_point deadline)
{
    const std::string data = m_folder + "/data";
    std::error_code ignored;
    std::filesystem::remove_all(data, ignored);
    const std::string passwordFile = m_folder + "/superuser-password";
    std::ofstream(passwordFile) << "owner-" << getpid() << '-' << m_port << '\n';
    handToServerUser(passwordFile);
    const int status =
        run({binaryFolder + "/initdb", "-D", data, "-U", superuser, "--pwfile", passwordFile, "-E",
             "UTF8", "--locale=C.UTF-8", "--auth-local=trust", "--auth-host=scram-sha-256", "-N"},
            true, deadline);
    std::filesystem::remove(passwordFile, ignored);
    if (status != 0) {
        note("initdb failed");
        return false;
    }
    std::ofstream(data + "/postgresql.conf", std::ios::app)
        << "include " << libpqValue(m_folder + "/settings.conf") << '\n';
    // Passwords for everyone but the private superuser on the socket; TCP only with TLS.
    std::ofstream(data + "/pg_hba.conf", std::ios::trunc)
        << "local all " << superuser << " trust\n"
        << "local all all scram-sha-256\n"
        << "hostssl all all 127.0.0.1/32 scram-sha-256\n"
        << "host all all 127.0.0.1/32 reject\n";
    return true;
}

bool PostgresServer::launch(std::chrono::steady_clock::time_point deadline)
{
    writeSettings();
    std::vector<std::string> arguments {binaryFolder + "/postgres", "-D", m_folder + "/data"};
    runAsServerUser(arguments);
    m_pid = startProcess(arguments, {}, -1, m_folder + "/server.log");
    if (m_pid <= 0) {
        note("cannot start postgres");
        m_pid = -1;
        return false;
    }
    const std::string lockFile = m_folder + "/data/postmaster.pid";
    while (std::chrono::steady_clock::now() < deadline) {
        // The eighth line of the lock file is the postmaster's state.
        std::istringstream lines(readFile(lockFile));
        std::string line;
        for (int i = 0; i < 8 && std::getline(lines, line); ++i) { }
        if (line.starts_with("ready") && acceptsTcp(m_port)) {
            watchOver();
            return true;
        }
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            note("postgres ended while starting, status " + std::to_string(status));
            m_pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    note("postgres did not accept connections in time");
    stop();
    return false;
}

bool PostgresServer::start(std::chrono::milliseconds timeout)
{
    if (isRunning())
        return true;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    if (!makeCertificateAuthority(deadline)
        || !makeServerCertificate(m_certificateHost, deadline)) {
        note("cannot make the certificates");
        return false;
    }
    if (m_initialised)
        return launch(deadline);
    m_port = freePort();
    if (m_port == 0 || !initialise(deadline))
        return false;
    // Another process may take the free port before the server binds it: try another one.
    for (int attempt = 1; !launch(deadline); ++attempt) {
        if (attempt == 3 || log().find("could not bind") == std::string::npos)
            return false;
        m_port = freePort();
    }
    const std::string owner = "host=" + libpqValue(m_folder) + " port=" + std::to_string(m_port)
        + " dbname=postgres user=" + superuser;
    const PsqlResult setup =
        psql(owner,
             "CREATE ROLE " + admin + " LOGIN CREATEROLE PASSWORD '" + adminPassword()
                 + "';\nCREATE DATABASE " + database + " OWNER " + admin + ";\n");
    if (setup.exitCode != 0) {
        note("cannot make " + admin + " and " + database + ": " + setup.error);
        stop();
        return false;
    }
    m_initialised = true;
    return true;
}

void PostgresServer::watchOver()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return;
    const pid_t server = m_pid;
    const pid_t watcher = fork();
    if (watcher == 0) {
        // Only async-signal-safe calls here: the test may have threads. Every other descriptor
        // is closed, so that no other watcher's pipe is held open by this one.
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != ends[0])
                ::close(fd);
        char said = 0;
        // Data means stop() or kill() took over; the end of the file, that the test died.
        if (::read(ends[0], &said, 1) <= 0) {
            ::kill(server, SIGCONT);
            ::kill(server, SIGINT);
        }
        _exit(0);
    }
    ::close(ends[0]);
    if (watcher < 0) {
        ::close(ends[1]);
        return;
    }
    m_watcher = watcher;
    m_watch = ends[1];
}

void PostgresServer::stopWatching()
{
    if (m_watcher <= 0)
        return;
    [[maybe_unused]] const ssize_t written = ::write(m_watch, "q", 1);
    ::close(m_watch);
    waitpid(m_watcher, nullptr, 0);
    m_watcher = -1;
    m_watch = -1;
}

void PostgresServer::stop()
{
    stopWatching();
    if (m_pid <= 0)
        return;
    thaw(); // a stopped server cannot act on SIGINT
    ::kill(m_pid, SIGINT);
    if (waitUntil(m_pid, std::chrono::steady_clock::now() + std::chrono::seconds(10)))
        m_pid = -1;
    else
        kill();
}

void PostgresServer::kill()
{
    stopWatching();
    if (m_pid <= 0)
        return;
    // The server's processes outlive a killed postmaster; they come to this process to be
    // reaped rather than to an init that may never reap them.
    int wasSubreaper = 0;
    prctl(PR_GET_CHILD_SUBREAPER, &wasSubreaper);
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    ::kill(m_pid, SIGSTOP); // no new processes from here on
    const std::vector<pid_t> children = childrenOf(m_pid);
    for (const pid_t child : children)
        ::kill(child, SIGKILL);
    ::kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    if (!wasSubreaper)
        prctl(PR_SET_CHILD_SUBREAPER, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (const pid_t child : children)
        if (waitpid(child, nullptr, 0) != child)
            while (!hasEnded(child) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
    m_pid = -1;
}

void PostgresServer::freeze()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGSTOP); // first, so that it starts no process the loop below would miss
    for (const pid_t child : childrenOf(m_pid))
        ::kill(child, SIGSTOP);
}

void PostgresServer::thaw()
{
    if (m_pid <= 0)
        return;
    for (const pid_t child : childrenOf(m_pid))
        ::kill(child, SIGCONT);
    ::kill(m_pid, SIGCONT);
}

std::string PostgresServer::socketConnection(const std::string &user,
                                             const std::string &password) const
{
    return "host=" + libpqValue(m_folder) + " port=" + std::to_string(m_port)
        + " dbname=" + database + " user=" + libpqValue(user) + " password=" + libpqValue(password);
}

std::string PostgresServer::adminConnection() const
{
    return socketConnection(admin, adminPassword());
}

std::string PostgresServer::superuserConnection() const
{
    return "host=" + libpqValue(m_folder) + " port=" + std::to_string(m_port)
        + " dbname=" + database + " user=" + superuser;
}

std::string PostgresServer::tcpConnection(const std::string &user,
                                          const std::string &password) const
{
    return "host=localhost hostaddr=127.0.0.1 port=" + std::to_string(m_port)
        + " dbname=" + database + " sslmode=verify-full sslrootcert=" + libpqValue(caCertificate())
        + " user=" + libpqValue(user) + " password=" + libpqValue(password);
}

std::string PostgresServer::caCertificate() const
{
    return m_folder + "/tls/ca.pem";
}

void PostgresServer::presentCertificateFor(const std::string &hostName)
{
    // Made at the next start, which also makes the CA on first use.
    m_certificateHost = hostName;
}

PsqlResult PostgresServer::psql(const std::string &connection, const std::string &sql) const
{
    PsqlResult result {-1, {}, {}};
    const int input = memfd_create("psql-input", MFD_CLOEXEC);
    const int output = memfd_create("psql-output", MFD_CLOEXEC);
    const int error = memfd_create("psql-error", MFD_CLOEXEC);
    if (input < 0 || output < 0 || error < 0
        || write(input, sql.data(), sql.size()) != static_cast<ssize_t>(sql.size())
        || lseek(input, 0, SEEK_SET) != 0) {
        result.error = "cannot prepare psql's streams";
        for (const int fd : {input, output, error})
            if (fd >= 0)
                close(fd);
        return result;
    }

    // Only the connection string decides where psql goes; English messages whatever the locale.
    std::vector<std::string> environment;
    for (char **entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        if (!variable.starts_with("PG") && !variable.starts_with("LC_ALL="))
            environment.push_back(variable);
    }
    environment.push_back("PGSERVICEFILE=" + m_folder + "/no-service-file");
    environment.push_back("PGPASSFILE=" + m_folder + "/no-password-file");
    environment.push_back("PGCONNECT_TIMEOUT=10");
    environment.push_back("LC_ALL=C.UTF-8");
    std::vector<char *> envp;
    for (std::string &variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const std::string program = binaryFolder + "/psql";
    std::vector<std::string> arguments {program, "-X", "-q", "-v",      "ON_ERROR_STOP=1",
                                        "-A",    "-t", "-d", connection};
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, error, STDERR_FILENO);
    pid_t pid = -1;
    const int failed =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) {
        result.error = "cannot start " + program + ": " + std::strerror(failed);
    } else {
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + psqlLimit;
        auto pause = std::chrono::microseconds(200);
        pid_t ended = 0;
        while ((ended = waitpid(pid, &status, WNOHANG)) == 0
               && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(pause);
            pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(20));
        }
        result.output = readAll(output);
        result.error = readAll(error);
        if (ended == pid) {
            result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else {
            endProcess(pid);
            result.error += "psql did not finish within 60 s\n";
        }
    }
    for (const int fd : {input, output, error})
        close(fd);
    return result;
}

std::string PostgresServer::log() const
{
    return readFile(m_folder + "/server.log");
}
