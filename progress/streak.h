#pragma once

#include <QDate>
#include <QList>

// The number of consecutive calendar days practised up to today, or up to yesterday when today
// has no practice yet (the streak is not lost before the day is over). `days` are local days,
// in any order, repeats allowed.
int practiceStreak(const QList<QDate> &days, QDate today);
