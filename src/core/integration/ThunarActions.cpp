#include "core/integration/ThunarActions.h"

#include <string_view>

namespace skyloom {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isBlank(std::string_view text) {
    for (char c : text) {
        if (!isSpace(c))
            return false;
    }
    return true;
}

// The name of a tag whose text starts after '<' or "</".
std::string_view tagName(std::string_view tag) {
    std::size_t end = 0;
    while (end < tag.size() && !isSpace(tag[end]) && tag[end] != '>' && tag[end] != '/')
        ++end;
    return tag.substr(0, end);
}

// The end of a start or end tag that begins at `at` ('<'), past its '>';
// quoted attribute values may hold '>'. npos when it never ends.
std::size_t tagEnd(std::string_view text, std::size_t at) {
    char quote = 0;
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '<') {
            return std::string_view::npos;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// The end of a document type declaration that begins at `at` ("<!DOCTYPE"),
// past its '>': its internal subset in brackets holds declarations, comments
// and quoted text with '<' and '>' of their own. npos when it never ends.
std::size_t doctypeEnd(std::string_view text, std::size_t at) {
    char quote = 0;
    int depth = 0; // inside the internal subset's brackets
    for (std::size_t i = at + 2; i < text.size(); ++i) {
        char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (depth > 0 && text.substr(i, 4) == "<!--") {
            std::size_t end = text.find("-->", i + 4);
            if (end == std::string_view::npos)
                return end;
            i = end + 2;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']') {
            if (--depth < 0)
                return std::string_view::npos;
        } else if (c == '>' && depth == 0) {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

} // namespace

std::optional<ThunarActions> ThunarActions::parse(std::string text) {
    ThunarActions result(std::move(text));
    std::string_view xml = result.text_;
    std::vector<std::string_view> open;
    bool sawRoot = false;
    std::size_t actionBegin = 0;
    std::size_t idBegin = 0;
    std::string_view actionId;

    std::size_t i = 0;
    while (i < xml.size()) {
        if (xml[i] != '<') {
            std::size_t next = xml.find('<', i);
            if (next == std::string_view::npos)
                next = xml.size();
            if (open.empty() && !isBlank(xml.substr(i, next - i)))
                return std::nullopt;
            i = next;
            continue;
        }
        auto skipPast = [&](std::string_view opening, std::string_view closing) {
            std::size_t end = xml.find(closing, i + opening.size());
            return end == std::string_view::npos ? end : end + closing.size();
        };
        std::size_t next;
        if (xml.substr(i, 4) == "<!--") {
            next = skipPast("<!--", "-->");
        } else if (xml.substr(i, 9) == "<![CDATA[") {
            if (open.empty())
                return std::nullopt;
            next = skipPast("<![CDATA[", "]]>");
        } else if (xml.substr(i, 2) == "<?") {
            next = skipPast("<?", "?>");
        } else if (xml.substr(i, 9) == "<!DOCTYPE") {
            if (sawRoot)
                return std::nullopt;
            next = doctypeEnd(xml, i);
        } else if (xml.substr(i, 2) == "<!") {
            if (sawRoot)
                return std::nullopt;
            next = tagEnd(xml, i);
        } else if (xml.substr(i, 2) == "</") {
            next = tagEnd(xml, i);
            if (next == std::string_view::npos || open.empty())
                return std::nullopt;
            auto name = tagName(xml.substr(i + 2));
            if (name != open.back())
                return std::nullopt;
            open.pop_back();
            if (open.size() == 2 && name == "unique-id" && idBegin)
                actionId = xml.substr(idBegin, i - idBegin);
            if (open.size() == 1 && name == "action" &&
                actionId.starts_with(ThunarActions::ourIdPrefix)) {
                std::size_t end = next < xml.size() && xml[next] == '\n' ? next + 1 : next;
                result.ours_.emplace_back(actionBegin, end);
            }
            if (open.empty())
                result.closingTag_ = i;
        } else {
            next = tagEnd(xml, i);
            if (next == std::string_view::npos)
                return std::nullopt;
            auto name = tagName(xml.substr(i + 1));
            if (name.empty())
                return std::nullopt;
            bool selfClosing = xml[next - 2] == '/';
            if (open.empty()) {
                if (sawRoot || name != "actions" || selfClosing)
                    return std::nullopt;
                sawRoot = true;
            }
            if (open.size() == 1 && name == "action") {
                actionBegin = i;
                actionId = {};
                idBegin = 0;
            }
            if (open.size() == 2 && name == "unique-id")
                idBegin = next;
            if (!selfClosing)
                open.push_back(name);
        }
        if (next == std::string_view::npos)
            return std::nullopt;
        i = next;
    }
    if (!sawRoot || !open.empty())
        return std::nullopt;
    return result;
}

std::string ThunarActions::emptyDocument() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n";
}

std::string ThunarActions::withoutOurs() const {
    std::string text = text_;
    for (auto range = ours_.rbegin(); range != ours_.rend(); ++range)
        text.erase(range->first, range->second - range->first);
    return text;
}

std::string ThunarActions::withOurs(const std::string& actions) const {
    std::string text = text_;
    text.insert(closingTag_, actions);
    for (auto range = ours_.rbegin(); range != ours_.rend(); ++range)
        text.erase(range->first, range->second - range->first);
    return text;
}

std::string ThunarActions::escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace skyloom
