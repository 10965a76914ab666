#pragma once

#include "postgres_server.h"

#include <memory>
#include <string>
#include <vector>

class PgConnection;

// One key as the drill stores it.
struct KeyAnswer
{
    char letter;
    int keyCode;
    bool correct;
    int releaseMs;
};

// Keys of one letter: `right` correct ones, then `wrong` ones pressing `wrongKey`, all released
// after releaseMs.
std::vector<KeyAnswer> answers(char letter, int right, int wrong = 0, char wrongKey = 0,
                               int releaseMs = 500);

// A private class server for a test executable: the schema, the teachers 王老师 (classes 一班 and
// 三班), 李老师 (二班) and 赵老师 (no class), each with the password "secret", and pupils added
// by the admin; runs are written as the admin.
class ClassServerFixture
{
public:
    ClassServerFixture();
    ~ClassServerFixture();

    // Starts the server; false (with the server's log in `error`) when it cannot.
    bool start(std::string &error);

    // Adds a pupil of the class and gives their login; `pin`, when given, gets their PIN.
    std::string addPupil(const std::string &className, const std::string &studentNumber,
                         const std::string &name, std::string *pin = nullptr);
    // A run of the login that started at `started` (seconds since the epoch) and, when
    // endSeconds >= 0, ended that many seconds later, the drill showing `speed`.
    void addRun(const std::string &login, double started, double endSeconds, double speed,
                const std::vector<KeyAnswer> &keys);

    // The teacher's own connection, over TLS.
    std::unique_ptr<PgConnection> teacher(const std::string &name) const;
    std::string teacherConnection(const std::string &name) const;

    PostgresServer &server() { return m_server; }

private:
    PostgresServer m_server;
    std::unique_ptr<PgConnection> m_admin;
};
