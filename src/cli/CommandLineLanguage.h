#pragma once

#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

namespace skyloom {

// The translation the session asks for, by the rule of Linux programs, for
// the app and the command line alike: the first of LANGUAGE, LC_ALL,
// LC_MESSAGES and LANG that is set decides. LANGUAGE is a colon-separated
// list whose first entry Skyloom has a translation for wins. "ko" for Korean,
// "en" for every other language, "C" and "POSIX" included.
inline std::string sessionTranslation(const std::function<const char*(const char*)>& environment =
                                          [](const char* name) { return std::getenv(name); }) {
    // "ko_KR.UTF-8@variant" → "ko".
    const auto language = [](std::string_view value) {
        return value.substr(0, value.find_first_of("_.@"));
    };
    if (const char* list = environment("LANGUAGE"); list && *list) {
        std::string_view rest(list);
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const std::string_view entry = language(rest.substr(0, colon));
            if (entry == "ko" || entry == "en")
                return std::string(entry);
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
        return "en";
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = environment(variable); value && *value)
            return language(value) == "ko" ? "ko" : "en";
    }
    return "en";
}

// Installs the translation sessionTranslation() names: the English table
// for "en"; the Korean originals stay for "ko".
void useSessionLanguage();

} // namespace skyloom
