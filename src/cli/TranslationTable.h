#pragma once

#include <cstddef>

namespace skyloom {

// One translated text: the source text (the Korean key or its Linux
// wording) and its translation.
struct Translation {
    const char* source;
    const char* translation;
};

// A table generated at build time from a .ts file.
struct TranslationTable {
    const Translation* entries;
    std::size_t count;
};

// English, from translations/skyloom_en.ts.
extern const TranslationTable englishTranslations;

} // namespace skyloom
