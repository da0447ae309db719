// Build step: turns a Qt Linguist .ts file into a C++ table, so that the
// command line reads the same translations as the app without linking Qt.
//
//   skyloom_translation_table INPUT.ts OUTPUT.cpp SYMBOL

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

std::string decoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        std::size_t end = text.find(';', i);
        if (end == std::string::npos) {
            out += text.substr(i);
            break;
        }
        std::string name = text.substr(i + 1, end - i - 1);
        if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "amp")
            out += '&';
        else if (name == "apos")
            out += '\'';
        else if (name == "quot")
            out += '"';
        else if (name.starts_with('#')) {
            unsigned long code = name.starts_with("#x") ? std::stoul(name.substr(2), nullptr, 16)
                                                        : std::stoul(name.substr(1));
            // UTF-8 encoding of the code point.
            if (code < 0x80) {
                out += static_cast<char>(code);
            } else if (code < 0x800) {
                out += static_cast<char>(0xC0 | (code >> 6));
                out += static_cast<char>(0x80 | (code & 0x3F));
            } else if (code < 0x10000) {
                out += static_cast<char>(0xE0 | (code >> 12));
                out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (code & 0x3F));
            } else {
                out += static_cast<char>(0xF0 | (code >> 18));
                out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
                out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (code & 0x3F));
            }
        } else {
            out += text.substr(i, end - i + 1);
        }
        i = end;
    }
    return out;
}

std::string literal(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char octal[5];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            out += octal;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The text between <tag ...> and </tag> inside `element`; nothing for an
// empty element <tag .../>. `attributes` receives the start tag's attributes.
bool elementText(const std::string& element, const std::string& tag, std::string& text,
                 std::string& attributes) {
    std::size_t open = element.find("<" + tag);
    if (open == std::string::npos)
        return false;
    std::size_t startEnd = element.find('>', open);
    if (startEnd == std::string::npos)
        return false;
    attributes = element.substr(open + tag.size() + 1, startEnd - open - tag.size() - 1);
    if (element[startEnd - 1] == '/') {
        text.clear();
        return true;
    }
    std::size_t close = element.find("</" + tag + ">", startEnd);
    if (close == std::string::npos)
        return false;
    text = decoded(element.substr(startEnd + 1, close - startEnd - 1));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: " << argv[0] << " INPUT.ts OUTPUT.cpp SYMBOL\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << argv[1] << ": cannot read\n";
        return 1;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string ts = buffer.str();
    const std::string symbol = argv[3];

    std::ostringstream table;
    std::size_t count = 0;
    for (std::size_t at = ts.find("<message"); at != std::string::npos;
         at = ts.find("<message", at + 1)) {
        std::size_t end = ts.find("</message>", at);
        if (end == std::string::npos)
            break;
        std::string message = ts.substr(at, end - at);
        std::string source, translation, attributes;
        if (!elementText(message, "source", source, attributes) ||
            !elementText(message, "translation", translation, attributes))
            continue;
        // Like lrelease: texts dropped from the sources and empty ones are left out.
        if (translation.empty() || attributes.find("vanished") != std::string::npos ||
            attributes.find("obsolete") != std::string::npos)
            continue;
        table << "    {" << literal(source) << ", " << literal(translation) << "},\n";
        ++count;
    }

    std::ofstream out(argv[2], std::ios::binary);
    out << "// Generated from " << argv[1] << "; do not edit.\n"
        << "#include \"cli/TranslationTable.h\"\n\n"
        << "namespace skyloom {\n\n"
        << "static const Translation " << symbol << "Entries[] = {\n"
        << table.str() << "    {nullptr, nullptr},\n};\n\n"
        << "const TranslationTable " << symbol << "{" << symbol << "Entries, " << count << "};\n\n"
        << "} // namespace skyloom\n";
    return out ? 0 : 1;
}
