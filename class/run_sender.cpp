#include "run_sender.h"

#include "history_store.h"
#include "pg_connection.h"
#include "server_address.h"
#include "sqlite_statement.h"

#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <sqlite3.h>
#include <vector>

namespace {

// How far the server has a run: its keys up to `keys`, and its end or not.
struct ServerRun
{
    long keys = 0;
    bool ended = false;
};

// One run of the local history, as the server takes it.
struct LocalRun
{
    std::int64_t id = 0;
    std::string uuid;
    std::string started;
    std::string mode;
    std::string endedBy;
    std::string ended;
    std::int64_t ticks = 0;
    double speed = 0;
    long keys = 0;
};

// "+08:00" at the end of a local timestamp, in minutes.
std::string offsetMinutes(const std::string &timestamp)
{
    if (timestamp.size() < 6)
        return "0";
    const std::string offset = timestamp.substr(timestamp.size() - 6);
    const int minutes = std::stoi(offset.substr(1, 2)) * 60 + std::stoi(offset.substr(4, 2));
    return std::to_string(offset[0] == '-' ? -minutes : minutes);
}

// A PostgreSQL array literal of the values.
template<typename Each> std::string arrayOf(const std::vector<KeyRow> &keys, Each each)
{
    std::string text = "{";
    for (const KeyRow &key : keys) {
        if (text.size() > 1)
            text += ',';
        text += each(key);
    }
    return text + "}";
}

} // namespace

struct RunSender::Shared
{
    explicit Shared(RunSenderOptions given)
        : options(std::move(given))
    {
    }

    void cycle();
    bool connect();
    // Sends the run's keys the server lacks and its end; false when the transaction failed.
    bool send(HistoryStore &store, const LocalRun &run);
    void setState(SendState next, const std::string &message);

    const RunSenderOptions options;
    std::unique_ptr<PgConnection> server;
    std::map<std::string, ServerRun> onServer;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable lastCycleDone;
    // The first look comes at once: runs of an earlier start may still be missing on the server.
    bool soon = true;
    bool stopping = false;
    bool stopped = false;
    // Once finish() has stopped waiting, the report's owner may be gone: messages go to stderr.
    bool gaveUp = false;
    SendState state = SendState::Waiting;
};

void RunSender::Shared::setState(SendState next, const std::string &message)
{
    std::lock_guard guard(mutex);
    if (state == next)
        return;
    state = next;
    if (message.empty())
        return;
    if (options.report && !gaveUp)
        options.report(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

bool RunSender::Shared::connect()
{
    if (server && server->isOk())
        return true;
    std::string error;
    server =
        PgConnection::open(serverAddress::withVerifiedTls(options.conninfo), error, options.login);
    if (!server) {
        if (error.find("password authentication failed") != std::string::npos)
            setState(SendState::Refused,
                     "班级服务器不认这个学号和 PIN，练习只记在本机。"
                     "The class server refused the 学号 and PIN; runs stay "
                     "on this computer only.");
        else
            setState(SendState::ServerAway,
                     "班级服务器连不上，练习先记在本机。The class server "
                     "is not reachable; runs are kept here and sent "
                     "later: "
                         + error);
        return false;
    }
    // What the server holds already, once per connection: afterwards only what is new is sent.
    const PgResult held = server->exec(R"sql(
        SELECT r.uuid, coalesce(max(k.n), 0), bool_or(e.run IS NOT NULL)
        FROM typing_drill.runs r
        LEFT JOIN typing_drill.keys k ON k.run = r.uuid
        LEFT JOIN typing_drill.run_ends e ON e.run = r.uuid
        WHERE r.login = current_user
        GROUP BY r.uuid)sql");
    if (!held.ok()) {
        server.reset();
        setState(SendState::ServerAway, "班级服务器出错 The class server failed: " + held.error());
        return false;
    }
    onServer.clear();
    for (int row = 0; row < held.rows(); ++row)
        onServer[held.text(row, 0)] = {std::stol(held.text(row, 1)), held.text(row, 2) == "t"};
    return true;
}

bool RunSender::Shared::send(HistoryStore &store, const LocalRun &run)
{
    const ServerRun known = onServer.count(run.uuid) ? onServer[run.uuid] : ServerRun {};
    std::vector<KeyRow> keys;
    SqliteStatement read(store.handle(), R"sql(
        SELECT n, letter, key_code, correct, press_ms, release_ms FROM keys
        WHERE run = ?1 AND n > ?2 ORDER BY n)sql");
    read.bind(1, run.id).bind(2, std::int64_t(known.keys));
    while (read.step() == SQLITE_ROW)
        keys.push_back({0, read.integer(0), read.text(1).empty() ? 'A' : read.text(1).front(),
                        int(read.integer(2)), read.integer(3) != 0, read.integer(4),
                        read.integer(5)});

    PgConnection &db = *server;
    PgTransaction transaction(db);
    std::string error;
    bool ok = transaction.began()
        && db.run(R"sql(
            INSERT INTO typing_drill.runs (uuid, started, utc_offset_minutes, mode)
            VALUES ($1, $2, $3, $4) ON CONFLICT DO NOTHING)sql",
                  error, {run.uuid, run.started, offsetMinutes(run.started), run.mode});
    if (ok && !keys.empty()) {
        const auto number = [](std::int64_t value) {
            return std::to_string(value);
        };
        ok = db.run(
            R"sql(
            INSERT INTO typing_drill.keys (run, n, letter, key_code, correct, press_ms, release_ms)
            SELECT $1, * FROM unnest($2::integer[], $3::text[], $4::integer[], $5::boolean[],
                                     $6::integer[], $7::integer[])
            ON CONFLICT DO NOTHING)sql",
            error,
            {run.uuid, arrayOf(keys, [&](const KeyRow &k) { return number(k.n); }),
             arrayOf(keys, [](const KeyRow &k) { return std::string(1, k.letter); }),
             arrayOf(keys, [&](const KeyRow &k) { return number(k.keyCode); }),
             arrayOf(keys, [](const KeyRow &k) { return std::string(k.correct ? "t" : "f"); }),
             arrayOf(keys, [&](const KeyRow &k) { return number(k.pressMs); }),
             arrayOf(keys, [&](const KeyRow &k) { return number(k.releaseMs); })});
    }
    const bool sendsEnd = !run.endedBy.empty() && !known.ended;
    if (ok && sendsEnd)
        ok = db.run(R"sql(
            INSERT INTO typing_drill.run_ends (run, ended, ended_by, ticks, speed)
            VALUES ($1, $2, $3, $4, $5) ON CONFLICT DO NOTHING)sql",
                    error,
                    {run.uuid, run.ended, run.endedBy, std::to_string(run.ticks),
                     std::to_string(run.speed)});
    if (!ok || !transaction.commit(error))
        return false;
    onServer[run.uuid] = {keys.empty() ? known.keys : long(keys.back().n), known.ended || sendsEnd};
    return true;
}

void RunSender::Shared::cycle()
{
    if (state == SendState::Refused || !connect())
        return;
    HistoryFault fault = HistoryFault::None;
    auto store = HistoryStore::open(options.historyPath, fault, {.readOnly = true});
    if (!store)
        return;
    const std::int64_t learner = store->findLearner(options.learner);
    std::vector<LocalRun> runs;
    SqliteStatement list(store->handle(), R"sql(
        SELECT id, uuid, started, mode, coalesce(ended_by, ''), ended, ticks, speed,
               (SELECT coalesce(max(n), 0) FROM keys WHERE run = runs.id)
        FROM runs WHERE learner = ?1 AND uuid IS NOT NULL ORDER BY id)sql");
    list.bind(1, learner);
    while (list.step() == SQLITE_ROW)
        runs.push_back({list.integer(0), list.text(1), list.text(2), list.text(3), list.text(4),
                        list.text(5), list.integer(6), list.real(7), long(list.integer(8))});
    for (const LocalRun &run : runs) {
        const auto known = onServer.find(run.uuid);
        const bool complete = known != onServer.end() && known->second.keys >= run.keys
            && (run.endedBy.empty() || known->second.ended);
        if (complete)
            continue;
        if (!send(*store, run)) {
            if (!server->isOk()) {
                server.reset();
                setState(SendState::ServerAway,
                         "班级服务器断开了，练习先记在本机。The class server went away; runs are "
                         "kept here and sent later.");
            }
            return;
        }
    }
    setState(SendState::UpToDate,
             state == SendState::ServerAway ? "班级服务器又连上了。The class server is back." : "");
}

RunSender::RunSender(RunSenderOptions options)
    : m_shared(std::make_shared<Shared>(std::move(options)))
{
    m_worker = std::thread([shared = m_shared] {
        std::unique_lock lock(shared->mutex);
        while (true) {
            shared->wake.wait_for(lock, shared->options.interval,
                                  [&] { return shared->soon || shared->stopping; });
            shared->soon = false;
            const bool last = shared->stopping;
            lock.unlock();
            shared->cycle();
            lock.lock();
            if (last) {
                shared->stopped = true;
                shared->lastCycleDone.notify_all();
                return;
            }
        }
    });
}

RunSender::~RunSender()
{
    finish();
}

void RunSender::sendSoon()
{
    std::lock_guard guard(m_shared->mutex);
    m_shared->soon = true;
    m_shared->wake.notify_one();
}

bool RunSender::finish(std::chrono::milliseconds limit)
{
    if (!m_worker.joinable())
        return state() == SendState::UpToDate;
    std::unique_lock lock(m_shared->mutex);
    m_shared->stopping = true;
    m_shared->wake.notify_one();
    const bool done =
        m_shared->lastCycleDone.wait_for(lock, limit, [&] { return m_shared->stopped; });
    const bool upToDate = done && m_shared->state == SendState::UpToDate;
    m_shared->gaveUp = !done;
    lock.unlock();
    // A worker still waiting for the server holds only the shared state: it ends on its own.
    if (done)
        m_worker.join();
    else
        m_worker.detach();
    return upToDate;
}

SendState RunSender::state() const
{
    std::lock_guard guard(m_shared->mutex);
    return m_shared->state;
}
