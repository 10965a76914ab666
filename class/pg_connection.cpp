#include "pg_connection.h"

#include <libpq-fe.h>
#include <utility>

namespace {

std::string withoutTrailingNewline(const char *message)
{
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

PgResult::PgResult(pg_result *result, std::string missing)
    : m_result(result)
    , m_missing(std::move(missing))
{
}

PgResult::~PgResult()
{
    PQclear(m_result);
}

PgResult::PgResult(PgResult &&other) noexcept
    : m_result(other.m_result)
    , m_missing(std::move(other.m_missing))
{
    other.m_result = nullptr;
}

bool PgResult::ok() const
{
    const ExecStatusType status = PQresultStatus(m_result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

std::string PgResult::error() const
{
    return m_result ? withoutTrailingNewline(PQresultErrorMessage(m_result)) : m_missing;
}

std::string PgResult::sqlState() const
{
    const char *state = m_result ? PQresultErrorField(m_result, PG_DIAG_SQLSTATE) : nullptr;
    return state ? state : "";
}

std::string PgResult::commandTag() const
{
    const char *tag = m_result ? PQcmdStatus(m_result) : nullptr;
    return tag ? tag : "";
}

int PgResult::rows() const
{
    return PQntuples(m_result);
}

std::optional<std::string> PgResult::value(int row, int column) const
{
    if (row >= rows() || column >= PQnfields(m_result) || PQgetisnull(m_result, row, column))
        return std::nullopt;
    return std::string(PQgetvalue(m_result, row, column),
                       static_cast<std::size_t>(PQgetlength(m_result, row, column)));
}

std::string PgResult::text(int row, int column) const
{
    return value(row, column).value_or("");
}

std::unique_ptr<PgConnection>
PgConnection::open(const std::string &conninfo, std::string &error,
                   const std::vector<std::pair<std::string, std::string>> &parameters)
{
    // The connection string first, as an expanded dbname: the parameters after it win.
    std::vector<const char *> keywords {"dbname"};
    std::vector<const char *> values {conninfo.c_str()};
    for (const auto &[keyword, value] : parameters) {
        keywords.push_back(keyword.c_str());
        values.push_back(value.c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    pg_conn *conn = PQconnectdbParams(keywords.data(), values.data(), 1);
    if (PQstatus(conn) != CONNECTION_OK) {
        error = withoutTrailingNewline(conn ? PQerrorMessage(conn) : "out of memory");
        PQfinish(conn);
        return nullptr;
    }
    // Every text goes both ways as UTF-8, whatever the server's or the session's default.
    PQsetClientEncoding(conn, "UTF8");
    return std::unique_ptr<PgConnection>(new PgConnection(conn));
}

PgConnection::~PgConnection()
{
    PQfinish(m_conn);
}

PgResult PgConnection::exec(const std::string &sql,
                            const std::vector<std::optional<std::string>> &params)
{
    if (params.empty())
        return withMessage(PQexec(m_conn, sql.c_str()));
    std::vector<const char *> values;
    values.reserve(params.size());
    for (const auto &param : params)
        values.push_back(param ? param->c_str() : nullptr);
    return withMessage(PQexecParams(m_conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                    values.data(), nullptr, nullptr, 0));
}

PgResult PgConnection::withMessage(pg_result *result) const
{
    return PgResult(result,
                    result ? std::string() : withoutTrailingNewline(PQerrorMessage(m_conn)));
}

bool PgConnection::run(const std::string &sql, std::string &error,
                       const std::vector<std::optional<std::string>> &params)
{
    const PgResult result = exec(sql, params);
    if (!result.ok())
        error = result.error();
    return result.ok();
}

std::string PgConnection::encryptedPassword(const std::string &password, const std::string &role)
{
    char *encrypted = PQencryptPasswordConn(m_conn, password.c_str(), role.c_str(), nullptr);
    if (!encrypted)
        return {};
    std::string text = encrypted;
    PQfreemem(encrypted);
    return text;
}

std::string PgConnection::quotedIdentifier(const std::string &name)
{
    char *quoted = PQescapeIdentifier(m_conn, name.data(), name.size());
    std::string text = quoted ? quoted : "";
    PQfreemem(quoted);
    return text;
}

std::string PgConnection::quotedLiteral(const std::string &text)
{
    char *quoted = PQescapeLiteral(m_conn, text.data(), text.size());
    std::string literal = quoted ? quoted : "";
    PQfreemem(quoted);
    return literal;
}

std::string PgConnection::user() const
{
    const char *name = PQuser(m_conn);
    return name ? name : "";
}

bool PgConnection::isOk() const
{
    return PQstatus(m_conn) == CONNECTION_OK;
}

PgTransaction::PgTransaction(PgConnection &connection)
    : m_connection(connection)
{
    m_open = m_connection.exec("BEGIN").ok();
}

PgTransaction::~PgTransaction()
{
    if (m_open)
        m_connection.exec("ROLLBACK");
}

bool PgTransaction::commit(std::string &error)
{
    if (!m_open) {
        error = "no transaction";
        return false;
    }
    m_open = false;
    const PgResult result = m_connection.exec("COMMIT");
    // A transaction that met an error answers COMMIT with a rollback, not with an error.
    if (result.ok() && result.commandTag() == "COMMIT")
        return true;
    error = result.ok() ? "the transaction was rolled back" : result.error();
    return false;
}
