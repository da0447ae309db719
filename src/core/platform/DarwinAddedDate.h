#pragma once

#include "core/AddedDateAccessing.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The macOS date-added through getattrlist/setattrlist. The records are packed
// and the replies read here, in code that builds on every platform, and the
// system calls are reached through an injected table, so the byte layout and
// the error classification are tested off macOS too.

namespace skyloom::platform::darwin {

// The <sys/attr.h> values, spelled out so that this code builds anywhere.
inline constexpr std::uint16_t attrBitMapCount = 5;                  // ATTR_BIT_MAP_COUNT
inline constexpr std::uint32_t attrCommonAddedTime = 0x10000000;     // ATTR_CMN_ADDEDTIME
inline constexpr std::uint32_t attrCommonReturnedAttrs = 0x80000000; // ATTR_CMN_RETURNED_ATTRS
inline constexpr std::uint32_t optionNoFollow = 0x00000001;          // FSOPT_NOFOLLOW

// The layout of struct attrlist.
struct AttributeList {
    std::uint16_t bitmapcount = 0;
    std::uint16_t reserved = 0;
    std::uint32_t commonattr = 0;
    std::uint32_t volattr = 0;
    std::uint32_t dirattr = 0;
    std::uint32_t fileattr = 0;
    std::uint32_t forkattr = 0;
};
static_assert(sizeof(AttributeList) == 24);

// The size of the timespec that carries the date-added: two signed 64-bit fields.
inline constexpr std::size_t timeSpecSize = 16;

// The system calls behind the date-added. The two attribute-list calls take the
// arguments of getattrlist/setattrlist and return 0 or the errno of the failure.
struct SystemCalls {
    using AttributeListCall = std::function<int(const char* path, AttributeList& list, void* buffer,
                                                std::size_t size, std::uint32_t options)>;
    AttributeListCall getattrlist;
    AttributeListCall setattrlist;
    // Whether the item (a link itself, not its target) has the user-immutable
    // flag; false when that cannot be read.
    std::function<bool(const char* path)> isUserImmutable;
};

// Reads the date-added. Throws PinError::notFound, notOwner, unsupportedVolume
// (the volume keeps no date-added for the item) or a std::system_error.
TimeSpec readAddedTime(const SystemCalls& calls, const std::string& path);

// Writes the date-added. Throws PinError::notFound, notOwner, locked,
// unsupportedVolume or system(errno).
void writeAddedTime(const SystemCalls& calls, const std::string& path, TimeSpec time);

} // namespace skyloom::platform::darwin
