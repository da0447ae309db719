#pragma once

#include <string>

namespace skyloom {

// The session's language as the C library reads it: LC_ALL, else
// LC_MESSAGES, else LANG (the first that is set and not empty).
std::string sessionLanguage();

// Installs the translation for the session's language: English for "en"
// and its regional forms; the Korean originals for Korean, "C" and every
// language without a translation.
void useSessionLanguage();

} // namespace skyloom
