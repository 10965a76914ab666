#pragma once

#include "history_fault.h"
#include "letter_choice.h"

#include <cstdint>
#include <string>
#include <vector>

class HistoryStore;

// The learners of a history: who practises, each with their own runs.
struct Learner
{
    std::int64_t id = 0;
    std::string name;
};

// What became of a change to the learners.
enum class LearnerChange {
    Done,
    // Another learner has that name (learnerName::key).
    NameTaken,
    // A history keeps at least one learner.
    LastLearner,
    // The learner or the run is not there (any more).
    Missing,
    Failed,
};

// The learners in the order they were added; empty when the history cannot be read.
std::vector<Learner> listLearners(HistoryStore &store);

// The learner of that name, added when missing; gives the id through `learner` and whether it was
// added through `added`.
LearnerChange addLearner(HistoryStore &store, const std::string &name, std::int64_t *learner,
                         bool *added = nullptr);
LearnerChange renameLearner(HistoryStore &store, std::int64_t learner, const std::string &name);
// Removes the learner with every run and key of theirs. A run still going on keeps its keys
// until its drill stores it again, under a learner of the same name.
LearnerChange removeLearner(HistoryStore &store, std::int64_t learner);
LearnerChange moveRun(HistoryStore &store, std::int64_t run, std::int64_t learner);
// Deletes the runs with their keys, all or none.
LearnerChange deleteRuns(HistoryStore &store, const std::vector<std::int64_t> &runs);

// The learner's latest keys, at most `limit`, oldest first, for the weak-letter practice.
std::vector<PastKey> recentKeys(HistoryStore &store, const std::string &learner, int limit);
