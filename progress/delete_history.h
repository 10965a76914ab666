#pragma once

#include <QString>

// Empties the history at `path`: every run and key is removed and the file compacted, so the
// file stays, valid and empty. Only a file recognised as a history is touched; anything else
// (missing, another program's file, a newer layout, a damaged one) is refused as it is. Gives ""
// on success, or why it failed.
QString deleteHistory(const QString &path);
