#pragma once

#include <QString>

#include <memory>
#include <string>

class LetterChoice;

// Who practises in this drill, settled before its window opens.
struct PracticeLearner
{
    // The learner's name as the history keeps it.
    QString name;
    // Whether the history holds two or more learners, so that the window names whose drill it is.
    bool oneOfSeveral = false;
    // Closed without choosing: no drill.
    bool cancelled = false;
};

// Settles the learner: the one asked for (added to the history, with one line on standard error,
// when it has none of that name), else the chooser when the history holds two or more, else its
// only learner. Reads the history only; writes it only to add a learner. A history that cannot be
// read counts as one whose only learner is named after the account.
PracticeLearner choosePracticeLearner(const std::string &historyPath, const QString &asked);

// The weak-letter choice for the learner, from their latest keys in the history.
std::unique_ptr<LetterChoice> weakLetterChoiceFor(const std::string &historyPath,
                                                  const QString &learner);
