#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct pg_conn;
struct pg_result;

// The rows of one statement's result, as text; a null value reads as std::nullopt.
class PgResult
{
public:
    // `missing` is the message when libpq gave no result at all (the connection was lost).
    explicit PgResult(pg_result *result, std::string missing = "out of memory");
    ~PgResult();
    PgResult(PgResult &&other) noexcept;
    PgResult &operator=(PgResult &&) = delete;

    // Whether the statement succeeded (a command, or a query with rows or none).
    bool ok() const;
    // The server's message when it failed, without the trailing line break.
    std::string error() const;
    // The SQLSTATE code when it failed ("23505": a unique violation), else empty.
    std::string sqlState() const;
    int rows() const;
    // The command's tag ("INSERT 0 1", "ROLLBACK").
    std::string commandTag() const;
    std::optional<std::string> value(int row, int column) const;
    // The value, or "" for a null.
    std::string text(int row, int column) const;

private:
    pg_result *m_result;
    std::string m_missing;
};

// One open libpq connection. Every call blocks until the server answers: callers that must not
// wait (the drill's keys) run it on a thread of their own.
class PgConnection
{
public:
    // Connects; on failure gives nullptr and libpq's message in `error`. The parameters, when
    // given, override the connection string's (a pupil's login and PIN on the lab's service).
    static std::unique_ptr<PgConnection>
    open(const std::string &conninfo, std::string &error,
         const std::vector<std::pair<std::string, std::string>> &parameters = {});
    ~PgConnection();
    PgConnection(const PgConnection &) = delete;
    PgConnection &operator=(const PgConnection &) = delete;

    // Runs one statement with text parameters $1, $2, … (none: the text may hold several
    // statements).
    PgResult exec(const std::string &sql,
                  const std::vector<std::optional<std::string>> &params = {});
    // Runs statements that give no rows; false with the message in `error` when one fails.
    bool run(const std::string &sql, std::string &error,
             const std::vector<std::optional<std::string>> &params = {});

    // A password as the server stores it (SCRAM-SHA-256 when the server asks for it), made here so
    // that the clear text never reaches the server or its logs. Empty when libpq cannot make it.
    std::string encryptedPassword(const std::string &password, const std::string &role);
    // The identifier quoted for SQL ("Name" with inner quotes doubled).
    std::string quotedIdentifier(const std::string &name);
    // The text quoted as an SQL literal.
    std::string quotedLiteral(const std::string &text);

    // The role this connection logged in as.
    std::string user() const;
    // Whether the connection is still usable (false after the server went away).
    bool isOk() const;
    pg_conn *handle() const { return m_conn; }

private:
    explicit PgConnection(pg_conn *conn)
        : m_conn(conn)
    {
    }
    // The result, or libpq's reason when there is none.
    PgResult withMessage(pg_result *result) const;

    pg_conn *m_conn;
};

// A transaction that rolls back unless committed.
class PgTransaction
{
public:
    explicit PgTransaction(PgConnection &connection);
    ~PgTransaction();
    PgTransaction(const PgTransaction &) = delete;
    PgTransaction &operator=(const PgTransaction &) = delete;

    // Whether BEGIN succeeded.
    bool began() const { return m_open; }
    // Commits; false with the reason when the server rolled back instead.
    bool commit(std::string &error);

private:
    PgConnection &m_connection;
    bool m_open = false;
};
