#include "pupil_access.h"

#include "class_client.h"
#include "pg_connection.h"
#include "pupil_login.h"
#include "server_address.h"
#include "server_history.h"

namespace pupilAccess {

std::vector<std::pair<std::string, std::string>> loginParameters(const std::string &studentNumber,
                                                                 const std::string &pin)
{
    // A connection that stops answering (a cable pulled) is given up after about half a minute,
    // not the system's two hours.
    return {{"user", pupilLogin::loginOf(studentNumber)},
            {"password", pin},
            {"application_name", "typing-drill"},
            {"connect_timeout", "5"},
            {"keepalives_idle", "10"},
            {"keepalives_interval", "5"},
            {"keepalives_count", "3"},
            {"tcp_user_timeout", "20000"}};
}

PupilCheck logIn(const std::string &server, const std::string &studentNumber,
                 const std::string &pin, const std::string &historyPath, std::string &message)
{
    if (!pupilLogin::isStudentNumber(studentNumber))
        return PupilCheck::WrongPin;
    std::string error;
    auto db = PgConnection::open(serverAddress::withVerifiedTls(server), error,
                                 loginParameters(studentNumber, pin));
    if (!db) {
        // The server says no more than this for an unknown login too.
        if (error.find("password authentication failed") != std::string::npos)
            return PupilCheck::WrongPin;
        message = "班级服务器连不上，先在本机练习。The class server is not reachable; practising "
                  "here for now: "
            + error;
        return PupilCheck::ServerAway;
    }
    // The pupil's runs from other machines, so that the progress window and the weak letters
    // know the whole of them.
    const std::string failed = serverHistory::copyRuns(*db, pupilLogin::loginOf(studentNumber),
                                                       historyPath, studentNumber);
    if (!failed.empty())
        message = "没能从班级服务器取回以前的练习。The earlier runs could not be fetched from the "
                  "class server: "
            + failed;
    return PupilCheck::Accepted;
}

} // namespace pupilAccess
