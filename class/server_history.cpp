#include "server_history.h"

#include "history_store.h"
#include "pg_connection.h"
#include "server_time.h"
#include "sqlite_statement.h"

#include <map>
#include <set>
#include <sqlite3.h>

namespace serverHistory {

std::string copyRuns(PgConnection &db, const std::string &login, const std::string &historyPath,
                     const std::string &learner, int *copied)
{
    if (copied)
        *copied = 0;
    HistoryFault fault = HistoryFault::None;
    auto store = HistoryStore::open(historyPath, fault, {});
    if (!store)
        return "本机的练习记录打不开。The local history cannot be opened.";
    std::set<std::string> known;
    {
        SqliteStatement local(store->handle(), "SELECT uuid FROM runs WHERE uuid IS NOT NULL");
        while (local.step() == SQLITE_ROW)
            known.insert(local.text(0));
    }

    // One snapshot of the server for the runs and their keys.
    PgTransaction transaction(db);
    if (!transaction.began() || !db.exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ").ok())
        return "班级服务器出错 The class server failed.";
    const PgResult runs = db.exec("SELECT r.uuid, " + localTimeSql("r.started") + ", "
                                      + localTimeSql("e.ended") + R"sql(, e.ended_by, e.ticks,
               e.speed, r.mode
        FROM typing_drill.runs r JOIN typing_drill.run_ends e ON e.run = r.uuid
        WHERE r.login = $1 ORDER BY r.started)sql",
                                  {login});
    if (!runs.ok())
        return runs.error();
    std::vector<RunRow> rows;
    std::string wanted = "{";
    for (int i = 0; i < runs.rows(); ++i) {
        if (known.count(runs.text(i, 0)))
            continue;
        RunRow run;
        run.uuid = runs.text(i, 0);
        run.started = runs.text(i, 1);
        run.ended = runs.text(i, 2);
        run.endedBy = runs.text(i, 3);
        run.figures.ticks = std::stoll(runs.text(i, 4));
        run.figures.speed = std::stod(runs.text(i, 5));
        run.mode = runs.text(i, 6);
        run.learner = learner;
        wanted += (rows.empty() ? "" : ",") + run.uuid;
        rows.push_back(std::move(run));
    }
    if (rows.empty())
        return {};
    const PgResult keys = db.exec(R"sql(
        SELECT k.run, k.n, k.letter, k.key_code, k.correct, k.press_ms, k.release_ms
        FROM typing_drill.keys k WHERE k.run = ANY($1::uuid[]) ORDER BY k.run, k.n)sql",
                                  {wanted + "}"});
    if (!keys.ok())
        return keys.error();
    std::map<std::string, std::size_t> indexOf;
    for (std::size_t i = 0; i < rows.size(); ++i)
        indexOf[rows[i].uuid] = i;
    std::vector<KeyRow> keyRows;
    keyRows.reserve(std::size_t(keys.rows()));
    for (int i = 0; i < keys.rows(); ++i)
        keyRows.push_back({indexOf[keys.text(i, 0)], std::stoll(keys.text(i, 1)),
                           keys.text(i, 2).front(), std::stoi(keys.text(i, 3)),
                           keys.text(i, 4) == "t", std::stoll(keys.text(i, 5)),
                           std::stoll(keys.text(i, 6))});
    if (store->write(rows, keyRows) != HistoryFault::None)
        return "本机的练习记录写不进去 The local history cannot be written: " + store->lastError();
    if (copied)
        *copied = int(rows.size());
    return {};
}

} // namespace serverHistory
