#pragma once

#include "core/Translate.h"

#include <QString>

#include <optional>
#include <string>

namespace skyloom::app {

// A fixed text of the views, through the one translation hook (which also puts
// the Linux wording in place). Call it with SKYLOOM_TRANSLATE_NOOP so that
// lupdate finds the key.
inline QString localized(const char* key) {
    return QString::fromStdString(skyloom::translate(key));
}

inline QString toQString(const std::string& text) {
    return QString::fromStdString(text);
}

inline QString toQString(const std::optional<std::string>& text) {
    return text ? QString::fromStdString(*text) : QString();
}

} // namespace skyloom::app
