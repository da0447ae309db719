#include "core/platform/DarwinAddedDate.h"

#include "core/platform/AddedDatePlatform.h"
#include "core/platform/PathText.h"

#include <array>
#include <cstring>

namespace skyloom::platform::darwin {
namespace {

// getattrlist's reply: u_int32_t length, attribute_set_t (five u_int32_t) of the
// attributes returned, then each returned attribute in bitmap order.
constexpr std::size_t lengthSize = 4;
constexpr std::size_t returnedSetSize = 20;
constexpr std::size_t replySize = lengthSize + returnedSetSize + timeSpecSize;

} // namespace

TimeSpec readAddedTime(const SystemCalls& calls, const std::string& path) {
    if (hasNoFileSystemRepresentation(path))
        throw PinError::notFound();
    AttributeList list;
    list.bitmapcount = attrBitMapCount;
    // With the returned set, an absent date-added is told apart from a date of 0.
    list.commonattr = attrCommonReturnedAttrs | attrCommonAddedTime;
    alignas(8) std::array<unsigned char, replySize> reply{};
    if (int error =
            calls.getattrlist(path.c_str(), list, reply.data(), reply.size(), optionNoFollow))
        throwReadError(error);

    std::uint32_t length = 0;
    std::uint32_t returnedCommon = 0;
    std::memcpy(&length, reply.data(), sizeof length);
    std::memcpy(&returnedCommon, reply.data() + lengthSize, sizeof returnedCommon);
    if (!(returnedCommon & attrCommonAddedTime) || length < replySize)
        throw PinError::unsupportedVolume();
    TimeSpec time;
    std::memcpy(&time.seconds, reply.data() + lengthSize + returnedSetSize, 8);
    std::memcpy(&time.nanoseconds, reply.data() + lengthSize + returnedSetSize + 8, 8);
    return time;
}

void writeAddedTime(const SystemCalls& calls, const std::string& path, TimeSpec time) {
    // Without a file-system representation there is no item to change.
    if (hasNoFileSystemRepresentation(path))
        throw PinError::notFound();
    AttributeList list;
    list.bitmapcount = attrBitMapCount;
    list.commonattr = attrCommonAddedTime;
    alignas(8) std::array<unsigned char, timeSpecSize> buffer{};
    std::memcpy(buffer.data(), &time.seconds, 8);
    std::memcpy(buffer.data() + 8, &time.nanoseconds, 8);
    if (int error =
            calls.setattrlist(path.c_str(), list, buffer.data(), buffer.size(), optionNoFollow))
        throw writeError(error, [&] { return calls.isUserImmutable(path.c_str()); });
}

} // namespace skyloom::platform::darwin
