#pragma once

#include <span>

namespace skyloom::platform {

// A fixed text that names things of another desktop, and the Korean wording
// this desktop uses in its place.
struct Wording {
    const char* key;
    const char* text;
};

// This desktop's wordings; empty where every key already fits.
std::span<const Wording> wordings();

// Whether this desktop's unsupported-volume message names the cause (read-only,
// virtual, network) instead of one text for all; false where the system's own
// text is kept.
extern const bool namesVolumeProblems;

// The wording that replaces `key` on this desktop, or `key` itself.
const char* wording(const char* key);

} // namespace skyloom::platform
