#include "core/integration/EntrySelection.h"

#include "core/Translate.h"

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace skyloom {
namespace {

std::vector<std::string> lines(const char* text) {
    std::vector<std::string> out;
    if (!text)
        return out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            out.push_back(line);
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Percent-decoded `text`; false when an escape is malformed or decodes to NUL.
bool percentDecoded(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        int high = hexValue(text[i + 1]);
        int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0))
            return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// A URI has a scheme: a letter, then letters, digits, '+', '-' or '.', then ':'.
bool isUri(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (std::size_t i = 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == ':')
            return true;
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return false;
}

std::string scheme(std::string_view uri) {
    std::string out(uri.substr(0, uri.find(':')));
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The name a person recognises: the URI with its escapes undone when that
// gives text for one line.
std::string shownUri(const std::string& uri) {
    std::string decoded;
    if (!percentDecoded(uri, decoded))
        return uri;
    for (unsigned char c : decoded) {
        if (c < 0x20 || c == 0x7f)
            return uri;
    }
    return decoded;
}

std::string noLocalFolder(const std::string& uri) {
    return shownUri(uri) + " \u2014 " +
           translate(SKYLOOM_TRANSLATE_NOOP(
               "Skyloom", "이 컴퓨터의 폴더가 아니라 고정할 수 없어요. 휴지통이나 "
                          "네트워크 위치의 폴더는 고정되지 않아요.")) +
           "\n";
}

// The selection of a Nautilus or Caja script, from the variables the file
// manager sets (prefix "NAUTILUS" or "CAJA").
EntrySelection fromScriptVariables(const std::string& prefix,
                                   const std::function<const char*(const char*)>& environment) {
    EntrySelection selection;
    const std::vector<std::string> uris =
        lines(environment((prefix + "_SCRIPT_SELECTED_URIS").c_str()));
    // The paths variable is split at line feeds, so a name with one in it
    // makes it ambiguous; it is only trusted, for items with no file:// URI
    // (a share mounted through FUSE), when it lines up with the URIs exactly.
    const std::vector<std::string> paths =
        lines(environment((prefix + "_SCRIPT_SELECTED_FILE_PATHS").c_str()));
    bool pathsLineUp = paths.size() == uris.size();
    for (std::size_t i = 0; pathsLineUp && i < uris.size(); ++i) {
        std::string local = EntrySelection::localPath(uris[i]);
        pathsLineUp = paths[i].starts_with('/') && (local.empty() || local == paths[i]);
    }
    for (std::size_t i = 0; i < uris.size(); ++i) {
        std::string local = EntrySelection::localPath(uris[i]);
        if (local.empty() && pathsLineUp && scheme(uris[i]) != "trash")
            local = paths[i];
        if (local.empty())
            selection.failures += noLocalFolder(uris[i]);
        else
            selection.paths.push_back(local);
    }
    return selection;
}

} // namespace

std::string EntrySelection::localPath(const std::string& uri) {
    if (scheme(uri) != "file" || !isUri(uri))
        return {};
    std::string_view rest = std::string_view(uri).substr(5);
    if (!rest.starts_with("//"))
        return {};
    rest.remove_prefix(2);
    std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos)
        return {};
    std::string_view host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost")
        return {};
    // A query or fragment is not part of a file's name (a '?' or '#' in a name
    // comes escaped).
    if (rest.find_first_of("?#") != std::string_view::npos)
        return {};
    std::string path;
    if (!percentDecoded(rest.substr(slash), path))
        return {};
    return path;
}

EntrySelection EntrySelection::read(const std::vector<std::string>& arguments,
                                    const std::function<const char*(const char*)>& environment) {
    const char* entry = environment(entryVariable);
    std::string fileManager = entry ? entry : "";
    if (fileManager == "nautilus" || fileManager == "caja") {
        std::string prefix = fileManager == "nautilus" ? "NAUTILUS" : "CAJA";
        // Set by the file manager whenever it runs a script, even for an
        // empty selection; absent when someone runs the script by hand, whose
        // names then mean what they mean in a shell.
        if (environment((prefix + "_SCRIPT_SELECTED_URIS").c_str()))
            return fromScriptVariables(prefix, environment);
    }
    EntrySelection selection;
    for (const auto& argument : arguments) {
        if (fileManager.empty() || argument.starts_with('/') || !isUri(argument)) {
            selection.paths.push_back(argument);
            continue;
        }
        std::string local = localPath(argument);
        if (local.empty())
            selection.failures += noLocalFolder(argument);
        else
            selection.paths.push_back(local);
    }
    return selection;
}

EntrySelection EntrySelection::read(const std::vector<std::string>& arguments) {
    return read(arguments, [](const char* name) { return std::getenv(name); });
}

} // namespace skyloom
