#include "streak.h"

#include <QSet>

int practiceStreak(const QList<QDate> &days, QDate today)
{
    const QSet<QDate> practised(days.begin(), days.end());
    QDate day = practised.contains(today) ? today : today.addDays(-1);
    int streak = 0;
    while (practised.contains(day)) {
        ++streak;
        day = day.addDays(-1);
    }
    return streak;
}
