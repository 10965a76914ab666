#include "practice_learner.h"

#include "history_store.h"
#include "learner_chooser.h"
#include "learner_name.h"
#include "learners.h"
#include "weak_letter_choice.h"

#include <cstdio>
#include <random>

namespace {

// The history's learners; a history that cannot be read yet (missing, of an older layout, locked)
// has the one its upgrade will name after the account.
QStringList learnersIn(const std::string &historyPath)
{
    HistoryFault fault = HistoryFault::None;
    const auto store =
        HistoryStore::open(historyPath, fault, {std::chrono::milliseconds(200), nullptr, true});
    QStringList names;
    if (store) {
        for (const Learner &learner : listLearners(*store))
            names << QString::fromStdString(learner.name);
    }
    if (names.isEmpty())
        names << learnerName::ofAccount();
    return names;
}

// The listed learner of that name, or the name added as a new learner.
QString learnerNamed(const std::string &historyPath, const QStringList &learners,
                     const QString &name)
{
    const QString key = learnerName::key(name);
    for (const QString &learner : learners) {
        if (learnerName::key(learner) == key)
            return learner;
    }
    HistoryFault fault = HistoryFault::None;
    std::int64_t id = 0;
    bool added = false;
    if (const auto store = HistoryStore::open(historyPath, fault, {})) {
        if (addLearner(*store, name.toStdString(), &id, &added) == LearnerChange::Done && added)
            std::fprintf(stderr, "typing-drill: 已添加学员“%s”。Added the learner \"%s\".\n",
                         name.toLocal8Bit().constData(), name.toLocal8Bit().constData());
    }
    // Unwritten now, the drill's own writes add the learner later.
    return name;
}

} // namespace

PracticeLearner choosePracticeLearner(const std::string &historyPath, const QString &asked)
{
    const QStringList learners = learnersIn(historyPath);
    PracticeLearner chosen;
    if (!asked.isEmpty()) {
        chosen.name = learnerNamed(historyPath, learners, asked);
    } else if (learners.size() >= 2) {
        LearnerChooser chooser(learners);
        if (chooser.exec() != QDialog::Accepted) {
            chosen.cancelled = true;
            return chosen;
        }
        chosen.name = learnerNamed(historyPath, learners, chooser.chosenName());
    } else {
        chosen.name = learners.front();
    }
    chosen.oneOfSeveral = learners.size() >= 2 || !learners.contains(chosen.name);
    return chosen;
}

std::unique_ptr<LetterChoice> weakLetterChoiceFor(const std::string &historyPath,
                                                  const QString &learner)
{
    // Enough keys for every letter's recent accuracy and speed, read once at start.
    constexpr int keysRead = 3000;
    HistoryFault fault = HistoryFault::None;
    std::vector<PastKey> keys;
    const auto store = historyPath.empty()
        ? nullptr
        : HistoryStore::open(historyPath, fault, {std::chrono::milliseconds(200), nullptr, true});
    if (store)
        keys = recentKeys(*store, learner.toStdString(), keysRead);
    std::random_device entropy;
    const std::uint64_t seed = std::uint64_t(entropy()) << 32 | entropy();
    return std::make_unique<WeakLetterChoice>(keys, seed);
}
