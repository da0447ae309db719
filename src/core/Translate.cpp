#include "core/Translate.h"

#include "core/PlatformWording.h"

#include <utility>

namespace skyloom {
namespace {

TranslateHook& hook() {
    static TranslateHook current;
    return current;
}

} // namespace

void setTranslateHook(TranslateHook newHook) {
    hook() = std::move(newHook);
}

std::string translate(const char* sourceText) {
    // This desktop's own wording first; it is the key of the translation.
    const char* text = platform::wording(sourceText);
    if (hook())
        return hook()(translationContext, text);
    return text;
}

std::string translate(const char* sourceText, const std::string& argument) {
    std::string text = translate(sourceText);
    for (const char* placeholder : {"%d", "%1", "%@"}) {
        auto at = text.find(placeholder);
        if (at != std::string::npos)
            return text.replace(at, 2, argument);
    }
    return text;
}

} // namespace skyloom
