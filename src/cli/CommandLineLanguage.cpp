#include "cli/CommandLineLanguage.h"

#include "cli/TranslationTable.h"
#include "core/Translate.h"

#include <string_view>

namespace skyloom {

void useSessionLanguage() {
    if (sessionTranslation() != "en")
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
