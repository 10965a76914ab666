#include "learners.h"

#include "history_store.h"
#include "learner_name.h"
#include "sqlite_statement.h"

#include <QString>

#include <algorithm>
#include <sqlite3.h>

namespace {

std::string keyOf(const std::string &name)
{
    return learnerName::key(QString::fromStdString(name)).toStdString();
}

// Runs `change` in a transaction of its own, committed when it gives Done.
template<typename Change> LearnerChange inTransaction(HistoryStore &store, Change change)
{
    if (execute(store.handle(), "BEGIN IMMEDIATE") != SQLITE_OK)
        return LearnerChange::Failed;
    const LearnerChange result = change(store.handle());
    if (result == LearnerChange::Done && execute(store.handle(), "COMMIT") == SQLITE_OK)
        return result;
    execute(store.handle(), "ROLLBACK");
    return result == LearnerChange::Done ? LearnerChange::Failed : result;
}

} // namespace

std::vector<Learner> listLearners(HistoryStore &store)
{
    std::vector<Learner> learners;
    SqliteStatement all(store.handle(), "SELECT id, name FROM learners ORDER BY id");
    while (all.step() == SQLITE_ROW)
        learners.push_back({all.integer(0), all.text(1)});
    return learners;
}

LearnerChange addLearner(HistoryStore &store, const std::string &name, std::int64_t *learner,
                         bool *added)
{
    return inTransaction(store, [&](sqlite3 *) {
        *learner = store.learnerId(name, added);
        return *learner == 0 ? LearnerChange::Failed : LearnerChange::Done;
    });
}

LearnerChange renameLearner(HistoryStore &store, std::int64_t learner, const std::string &name)
{
    return inTransaction(store, [&](sqlite3 *db) {
        SqliteStatement other(db, "SELECT id FROM learners WHERE name_key = ?1 AND id <> ?2");
        other.bind(1, keyOf(name)).bind(2, learner);
        if (other.step() == SQLITE_ROW)
            return LearnerChange::NameTaken;
        SqliteStatement rename(db, "UPDATE learners SET name = ?2, name_key = ?3 WHERE id = ?1");
        rename.bind(1, learner).bind(2, name).bind(3, keyOf(name));
        if (rename.step() != SQLITE_DONE)
            return LearnerChange::Failed;
        return sqlite3_changes(db) == 1 ? LearnerChange::Done : LearnerChange::Missing;
    });
}

LearnerChange removeLearner(HistoryStore &store, std::int64_t learner)
{
    return inTransaction(store, [&](sqlite3 *db) {
        SqliteStatement count(db, "SELECT count(*), count(*) FILTER (WHERE id = ?1) FROM learners");
        count.bind(1, learner);
        if (count.step() != SQLITE_ROW)
            return LearnerChange::Failed;
        if (count.integer(1) == 0)
            return LearnerChange::Missing;
        if (count.integer(0) < 2)
            return LearnerChange::LastLearner;
        // The runs still going on are let go of first, so that the cascade leaves them.
        SqliteStatement release(
            db, "UPDATE runs SET learner = NULL WHERE learner = ?1 AND ended_by IS NULL");
        release.bind(1, learner);
        SqliteStatement remove(db, "DELETE FROM learners WHERE id = ?1");
        remove.bind(1, learner);
        return release.step() == SQLITE_DONE && remove.step() == SQLITE_DONE
            ? LearnerChange::Done
            : LearnerChange::Failed;
    });
}

LearnerChange moveRun(HistoryStore &store, std::int64_t run, std::int64_t learner)
{
    return inTransaction(store, [&](sqlite3 *db) {
        SqliteStatement move(db, R"sql(
            UPDATE runs SET learner = ?2
            WHERE id = ?1 AND EXISTS (SELECT 1 FROM learners WHERE id = ?2))sql");
        move.bind(1, run).bind(2, learner);
        if (move.step() != SQLITE_DONE)
            return LearnerChange::Failed;
        return sqlite3_changes(db) == 1 ? LearnerChange::Done : LearnerChange::Missing;
    });
}

LearnerChange deleteRuns(HistoryStore &store, const std::vector<std::int64_t> &runs)
{
    return inTransaction(store, [&](sqlite3 *db) {
        // The keys go with their run (a foreign key with ON DELETE CASCADE).
        SqliteStatement remove(db, "DELETE FROM runs WHERE id = ?1");
        for (const std::int64_t run : runs) {
            remove.bind(1, run);
            if (remove.step() != SQLITE_DONE)
                return LearnerChange::Failed;
            remove.reset();
        }
        return LearnerChange::Done;
    });
}

std::vector<PastKey> recentKeys(HistoryStore &store, const std::string &learner, int limit)
{
    std::vector<PastKey> keys;
    const std::int64_t id = store.findLearner(learner);
    if (id == 0)
        return keys;
    SqliteStatement latest(store.handle(), R"sql(
        SELECT k.letter, k.key_code, k.correct, k.press_ms
        FROM runs AS r JOIN keys AS k ON k.run = r.id
        WHERE r.learner = ?1
        ORDER BY r.started DESC, k.n DESC LIMIT ?2)sql");
    latest.bind(1, id).bind(2, std::int64_t {limit});
    while (latest.step() == SQLITE_ROW) {
        const std::string letter = latest.text(0);
        keys.push_back({letter.empty() ? 'A' : letter.front(),
                        static_cast<KeyCode>(latest.integer(1)), latest.integer(2) != 0,
                        latest.integer(3)});
    }
    std::reverse(keys.begin(), keys.end());
    return keys;
}
