#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace skyloom {

// Thunar's custom actions file (uca.xml), edited as text: our own actions,
// known by their unique-id, are put in or taken out, and every other byte
// stays as the user (or Thunar) wrote it.
class ThunarActions {
public:
    // The unique-id of our actions starts with this.
    static constexpr const char* ourIdPrefix = "skyloom-";

    // Nothing when the text is not a well-formed document with the root
    // element <actions>.
    static std::optional<ThunarActions> parse(std::string text);

    // A file with no actions of the user's, for when there is none yet.
    static std::string emptyDocument();

    bool hasOurs() const { return !ours_.empty(); }
    std::string withoutOurs() const;
    // Our `actions` (whole <action> elements, each ending in a line feed) in
    // place of any earlier ones, just before the closing </actions>.
    std::string withOurs(const std::string& actions) const;

    // Text escaped for an element's content.
    static std::string escaped(const std::string& text);

private:
    explicit ThunarActions(std::string text) : text_(std::move(text)) {}

    std::string text_;
    std::vector<std::pair<std::size_t, std::size_t>> ours_; // [begin, end) ranges
    std::size_t closingTag_ = 0;                            // where </actions> starts
};

} // namespace skyloom
