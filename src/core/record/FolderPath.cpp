#include "core/record/FolderPath.h"

#include "core/platform/FolderRules.h"
#include "core/platform/PathText.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>

namespace skyloom {
namespace {

// Empty when the working folder no longer exists (or cannot be named).
std::string currentDirectory() {
    std::vector<char> buffer(PATH_MAX);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    // Linux reports a removed working folder as "(unreachable)/...".
    if (buffer[0] != '/')
        return {};
    return buffer.data();
}

std::string toNFC(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return std::string(text);
    // Pure ASCII is always NFC; skip ICU for the common case.
    bool ascii = true;
    for (unsigned char c : text)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return std::string(text);
    std::string result;
    icu::StringByteSink<std::string> sink(&result, static_cast<int32_t>(text.size()));
    nfc->normalizeUTF8(0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink,
                       nullptr, status);
    if (U_FAILURE(status))
        return std::string(text);
    return result;
}

} // namespace

std::string FolderPath::standardized(std::string_view path) {
    if (path.empty())
        return {};
    std::string full(path);
    bool absolute = path.starts_with('/');
    if (!absolute) {
        // Without a working folder a relative path stays relative: it names
        // nothing, rather than the same name under "/".
        std::string cwd = currentDirectory();
        if (!cwd.empty()) {
            full = cwd + "/" + full;
            absolute = true;
        }
    }
    std::vector<std::string_view> parts;
    std::string_view rest(full);
    while (!rest.empty()) {
        auto slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    if (parts.empty())
        return absolute ? "/" : ".";
    std::string result;
    for (auto part : parts) {
        if (absolute || !result.empty())
            result += '/';
        result += part;
    }
    return result;
}

std::string FolderPath::normalized(std::string_view path) {
    if (path.empty() || platform::hasNoFileSystemRepresentation(path))
        return standardized(path);
    // The kernel's own resolution of the path as given: "link/.." is the
    // parent of the link's target, not the folder holding the link.
    std::unique_ptr<char, decltype(&std::free)> resolved(
        realpath(std::string(path).c_str(), nullptr), &std::free);
    if (!resolved)
        return standardized(path);
    return resolved.get();
}

bool FolderPath::equivalent(std::string_view a, std::string_view b) {
    if (a == b)
        return true;
    return platform::namesAreCanonicallyEquivalent && comparisonKey(a) == comparisonKey(b);
}

std::string FolderPath::comparisonKey(std::string_view path) {
    if (!platform::namesAreCanonicallyEquivalent)
        return std::string(path);
    return toNFC(path);
}

std::string FolderPath::displayName(std::string_view path) {
    while (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    if (path.empty())
        return {}; // names nothing, not the root
    if (path == "/")
        return "/";
    auto slash = path.rfind('/');
    return toNFC(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FolderPath::parent(std::string_view path) {
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return "/";
    return std::string(path.substr(0, slash));
}

} // namespace skyloom
