#pragma once

#include "progress_data.h"

// Reads everything the progress window shows from the history database at `path`, recognised as
// the drill recognises it and opened read-only, so the file is never changed. The aggregates are
// computed by SQLite over the history's indexes; only the runs and the per-letter results come into
// memory. `today` is the local day the summary and the streak count from. The figures are those of
// the learner `request` names, or, for its overview, one row per learner.
ProgressSnapshot readProgress(const QString &path, QDate today, ChartRange range,
                              const LearnerRequest &request = {});

// The first local day a chart range covers, counted back from `today`; invalid for All.
QDate firstDayOf(ChartRange range, QDate today);
