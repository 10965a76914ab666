#pragma once

#include <QString>

// The history database of this user: history.sqlite in the application's data folder
// (by default ~/.local/share/typing-drill/). Needs the application name set first.
QString defaultHistoryPath();
