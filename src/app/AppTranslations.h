#pragma once

#include <QString>

class QCoreApplication;

namespace skyloom::app {

// The translation the session's language asks for, by the same rule as the
// command line: "en" when the first of LC_ALL, LC_MESSAGES and LANG that is
// set names English, empty where the Korean originals stay (Korean, C, or a
// language Skyloom has no translation for).
QString chosenTranslation(const QString& sessionLanguage);

// Loads the chosen translation and routes every text, the core's too,
// through it.
void installTranslations(QCoreApplication& application);

} // namespace skyloom::app
