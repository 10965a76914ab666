#include "history_changes.h"

#include "history_fault_reason.h"
#include "history_store.h"
#include "learner_name.h"
#include "learners.h"
#include "sqlite_statement.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

// The history opened for a change, or nullptr with why not.
std::unique_ptr<HistoryStore> openForChange(const QString &path, QString &error)
{
    // Opening would create a missing file, and make a history of an empty one.
    const QFileInfo file(path);
    if (!file.exists() || (file.isFile() && file.size() == 0)) {
        error = historyFaultReason(HistoryFault::CannotCreateFolder);
        return nullptr;
    }
    HistoryFault fault = HistoryFault::None;
    std::unique_ptr<HistoryStore> store =
        HistoryStore::open(QFile::encodeName(path).toStdString(), fault, {});
    if (!store) {
        error = historyFaultReason(fault);
        return nullptr;
    }
    // What is deleted is overwritten, so that a removed learner's keys do not linger in the
    // file's free pages; the change's checkpoint then overwrites the old pages in the file too.
    execute(store->handle(), "PRAGMA secure_delete = ON");
    return store;
}

QString failure(HistoryStore &store)
{
    return historyFaultReason(store.lastFault(), QString::fromUtf8(sqlite3_errmsg(store.handle())));
}

template<typename Change> QString change(const QString &path, Change change)
{
    QString error;
    const std::unique_ptr<HistoryStore> store = openForChange(path, error);
    if (!store)
        return error;
    switch (change(*store)) {
    case LearnerChange::Done:
        store->checkpoint();
        return {};
    case LearnerChange::NameTaken:
        return QStringLiteral("已经有一个学员叫这个名字了");
    case LearnerChange::LastLearner:
        return QStringLiteral("至少要留下一个学员");
    case LearnerChange::Missing:
        return QStringLiteral("这个学员或这次练习已经不在了");
    case LearnerChange::Failed:
        break;
    }
    return failure(*store);
}

// The name as it is kept, or empty with the reason in `error`.
std::string keptName(const QString &name, QString &error)
{
    QString problem;
    const QString kept = learnerName::normalized(name, &problem);
    if (kept.isEmpty())
        error = problem;
    return kept.toStdString();
}

} // namespace

namespace historyChanges {

QString deleteRuns(const QString &path, const QList<qint64> &runs)
{
    return change(path, [&runs](HistoryStore &store) {
        return ::deleteRuns(store, std::vector<std::int64_t>(runs.cbegin(), runs.cend()));
    });
}

QString addLearner(const QString &path, const QString &name)
{
    QString error;
    const std::string kept = keptName(name, error);
    if (!error.isEmpty())
        return error;
    return change(path, [&kept](HistoryStore &store) {
        std::int64_t id = 0;
        bool added = false;
        const LearnerChange result = ::addLearner(store, kept, &id, &added);
        return result == LearnerChange::Done && !added ? LearnerChange::NameTaken : result;
    });
}

QString renameLearner(const QString &path, qint64 learner, const QString &name)
{
    QString error;
    const std::string kept = keptName(name, error);
    if (!error.isEmpty())
        return error;
    return change(path, [&](HistoryStore &store) {
        return ::renameLearner(store, std::int64_t {learner}, kept);
    });
}

QString removeLearner(const QString &path, qint64 learner)
{
    return change(path, [learner](HistoryStore &store) {
        return ::removeLearner(store, std::int64_t {learner});
    });
}

QString moveRun(const QString &path, qint64 run, qint64 learner)
{
    return change(path, [&](HistoryStore &store) {
        return ::moveRun(store, std::int64_t {run}, std::int64_t {learner});
    });
}

} // namespace historyChanges
