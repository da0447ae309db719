#include "cli/CommandLineLanguage.h"

#include "cli/TranslationTable.h"
#include "core/Translate.h"

#include <cstdlib>
#include <string_view>

namespace skyloom {

std::string sessionLanguage() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return {};
}

void useSessionLanguage() {
    const std::string language = sessionLanguage();
    bool english = language.starts_with("en") &&
                   (language.size() == 2 ||
                    std::string_view("_.@").find(language[2]) != std::string_view::npos);
    if (!english)
        return;
    setTranslateHook([](const char*, const char* sourceText) -> std::string {
        const TranslationTable& table = englishTranslations;
        for (std::size_t i = 0; i < table.count; ++i) {
            if (std::string_view(table.entries[i].source) == sourceText)
                return table.entries[i].translation;
        }
        return sourceText;
    });
}

} // namespace skyloom
