#pragma once

#include <QString>

// Empties the history at `path`: every run and key is removed and the file compacted, so the
// file stays, valid and empty. Gives "" on success, or why it failed.
QString deleteHistory(const QString &path);
