#pragma once

#include <functional>
#include <string>

// Marks a core text for lupdate (run with -tr-function-alias
// QT_TRANSLATE_NOOP+=SKYLOOM_TRANSLATE_NOOP). A name of our own, so that it
// never clashes with Qt's macro in files that include both.
#define SKYLOOM_TRANSLATE_NOOP(context, sourceText) sourceText

namespace skyloom {

// Context under which every core text is looked up.
inline constexpr const char* translationContext = "Skyloom";

// The hook receives the context and the Korean source text (the key) and
// returns the text to show. The default returns the key itself.
using TranslateHook = std::function<std::string(const char* context, const char* sourceText)>;

void setTranslateHook(TranslateHook hook);

// Replaces the Korean text (the key) with this desktop's wording where it
// has one, then looks that up through the hook. Every fixed text goes through
// here, in the app as in the command line.
std::string translate(const char* sourceText);

// Looks the key up, then puts `argument` in place of its first "%d" or "%1".
std::string translate(const char* sourceText, const std::string& argument);

} // namespace skyloom
