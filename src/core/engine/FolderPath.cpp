#include "core/engine/FolderPath.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>

namespace skyloom {
namespace {

std::string currentDirectory() {
    std::vector<char> buffer(PATH_MAX);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return "/";
        buffer.resize(buffer.size() * 2);
    }
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
    std::string full =
        path.starts_with('/') ? std::string(path) : currentDirectory() + "/" + std::string(path);
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
        return "/";
    std::string result;
    for (auto part : parts) {
        result += '/';
        result += part;
    }
    return result;
}

std::string FolderPath::normalized(std::string_view path) {
    std::string standard = standardized(path);
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(standard.c_str(), nullptr),
                                                         &std::free);
    if (!resolved)
        return standard;
    return resolved.get();
}

bool FolderPath::equivalent(std::string_view a, std::string_view b) {
    if (a == b)
        return true;
    return comparisonKey(a) == comparisonKey(b);
}

std::string FolderPath::comparisonKey(std::string_view path) {
    return toNFC(path);
}

std::string FolderPath::displayName(std::string_view path) {
    while (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    if (path == "/" || path.empty())
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
