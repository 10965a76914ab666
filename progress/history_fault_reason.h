#pragma once

#include "history_fault.h"

#include <QString>

// Why the progress window cannot read or empty the history, in the window's words; `detail` (the
// database's own words) is added in brackets.
QString historyFaultReason(HistoryFault fault, const QString &detail = {});
