#pragma once

#include <QList>
#include <QString>

// The progress window's changes to the history at `path`: each opens the file for itself, makes
// one change in a transaction of its own and closes it. Only a file recognised as a history is
// touched; anything else (missing, another program's file, a newer layout, a damaged one) is
// refused as it is. Each gives "" on success, or why it failed, in the window's words.
namespace historyChanges {

// Removes the runs with their keys; their content is overwritten, not left in free pages.
QString deleteRuns(const QString &path, const QList<qint64> &runs);

// Adds a learner; the name is first kept as learnerName::normalized keeps it.
QString addLearner(const QString &path, const QString &name);
QString renameLearner(const QString &path, qint64 learner, const QString &name);
// Removes the learner with every run and key of theirs; never the history's last learner.
QString removeLearner(const QString &path, qint64 learner);
// Gives the run to another learner.
QString moveRun(const QString &path, qint64 run, qint64 learner);

} // namespace historyChanges
