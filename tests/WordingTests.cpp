#include "core/PlatformWording.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>

using namespace skyloom;

namespace {

// Words that name the Mac's own things; no Linux text may use them.
const char* const macWords[] = {"Finder", "Mac",    "Dock",        "정보 가져오기",
                                "서비스", "iCloud", "추가된 날짜", "메뉴 막대"};

bool namesTheMac(const std::string& text) {
    return std::any_of(std::begin(macWords), std::end(macWords),
                       [&](const char* word) { return text.find(word) != std::string::npos; });
}

std::string unescaped(std::string text) {
    for (auto [from, to] :
         {std::pair{"&apos;", "'"}, {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}})
        for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + 1))
            text.replace(at, std::string(from).size(), to);
    return text;
}

// Every source text of the English translation, with its translation.
std::map<std::string, std::string> englishTranslations() {
    // __FILE__ is relative to the build folder when the build passed it so;
    // ctest runs from a folder below that.
    std::filesystem::path file =
        std::filesystem::path(__FILE__).parent_path() / "../translations/skyloom_en.ts";
    for (const char* up : {"", "..", "../.."})
        if (file.is_relative() && std::filesystem::exists(std::filesystem::path(up) / file)) {
            file = std::filesystem::path(up) / file;
            break;
        }
    const std::string text = test::readFile(file);
    std::map<std::string, std::string> result;
    static const std::regex message(
        "<source>([^<]*)</source>\\s*<translation( type=\"unfinished\")?>([^<]*)</translation>");
    for (std::sregex_iterator it(text.begin(), text.end(), message), end; it != end; ++it)
        result[unescaped((*it)[1])] = (*it)[2].matched ? "" : unescaped((*it)[3]);
    return result;
}

TEST(Wording, EveryTextThatNamesTheMacHasAWordingOfItsOwnAndATranslation) {
    auto translations = englishTranslations();
    ASSERT_GT(translations.size(), 40u);
    for (const auto& [source, english] : translations) {
        EXPECT_FALSE(english.empty()) << "no English for: " << source;
        if (namesTheMac(source)) {
            EXPECT_STRNE(platform::wording(source.c_str()), source.c_str()) << source;
        }
    }
    for (const auto& entry : platform::wordings()) {
        EXPECT_FALSE(namesTheMac(entry.text)) << entry.text;
        EXPECT_TRUE(translations.contains(entry.key)) << entry.key;
        EXPECT_TRUE(translations.contains(entry.text)) << entry.text;
    }
}

} // namespace
