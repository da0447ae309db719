#pragma once

#include <QString>

namespace skyloom::app {

// Writes (or with `remove` takes away) the pin and unpin entries of the
// file managers for this user. Returns what failed, one line per file
// manager; empty when everything worked.
QString integrateFileManagers(bool remove);

// Writes the entries once, at the app's first start; a later start tries
// again only when that failed. Removing them later is the user's choice and
// sticks.
void integrateOnFirstStart();

} // namespace skyloom::app
