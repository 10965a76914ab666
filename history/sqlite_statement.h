#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// One prepared SQLite statement, finalised with this object. Binding indexes start at 1,
// column indexes at 0.
class SqliteStatement
{
public:
    SqliteStatement(sqlite3 *db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    // Whether it was prepared.
    bool isValid() const { return m_statement != nullptr; }

    SqliteStatement &bind(int index, std::int64_t value);
    SqliteStatement &bind(int index, double value);
    SqliteStatement &bind(int index, std::string_view text);
    SqliteStatement &bindNull(int index);

    // SQLITE_ROW, SQLITE_DONE or an error code (the preparing's, if that failed).
    int step();
    // Ready to be stepped again, with its bindings cleared.
    void reset();

    int columnCount() const;
    std::int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    bool isNull(int column) const;

private:
    sqlite3_stmt *m_statement = nullptr;
    int m_prepared = 0;
};

// Runs statements that give no rows; gives SQLite's result code.
int execute(sqlite3 *db, const char *sql);
