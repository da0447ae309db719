#pragma once

#include <QString>

class QCoreApplication;

namespace skyloom::app {

// Loads the translation the session asks for (sessionTranslation(), the
// command line's rule) and routes every text, the core's too,
// through it.
void installTranslations(QCoreApplication& application);

} // namespace skyloom::app
