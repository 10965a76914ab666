#pragma once

#include <QString>

// How a learner's name is written and told apart from another's.
namespace learnerName {

constexpr int maxLength = 20;

// The name as it is kept: trimmed and in Unicode normal form C. Gives an empty string, and the
// reason in `problem` (a short Chinese sentence with its English), when the name is empty, longer
// than maxLength characters or holds a control character.
QString normalized(const QString &name, QString *problem = nullptr);

// What two names of one learner share: names that differ only in case, or in the full-width and
// half-width forms of their characters, are the same learner's. Takes a normalized name.
QString key(const QString &name);

// The first learner of a history: the account's full name, else its user name, else "学员".
QString ofAccount();

} // namespace learnerName
