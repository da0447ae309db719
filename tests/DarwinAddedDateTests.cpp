#include "core/PinError.h"
#include "core/platform/DarwinAddedDate.h"
#include "support/ErrorOf.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <tuple>

using namespace skyloom;
using namespace skyloom::platform;
using namespace std::string_literals;
using skyloom::test::errorOf;

namespace {

// A macOS volume behind the system-call table: it keeps what setattrlist is given and answers
// getattrlist the way the kernel packs its reply. Both check they were asked for exactly the
// date-added of the item itself (the <sys/attr.h> values spelled out).
struct FakeDarwinVolume {
    TimeSpec stored{1600000000, 0};
    bool keepsAddedTime = true, immutable = false;
    int setError = 0, getError = 0;

    static void expectAsked(const darwin::AttributeList& list, std::uint32_t common,
                            std::uint32_t options) {
        EXPECT_EQ(std::tie(list.bitmapcount, list.reserved, list.commonattr),
                  std::make_tuple(5, 0, common)); // ATTR_BIT_MAP_COUNT
        EXPECT_EQ(list.volattr | list.dirattr | list.fileattr | list.forkattr, 0u);
        EXPECT_EQ(options, 1u); // FSOPT_NOFOLLOW
    }

    darwin::SystemCalls calls() {
        return {[this](const char*, darwin::AttributeList& list, void* buffer, std::size_t size,
                       std::uint32_t options) {
                    // ATTR_CMN_RETURNED_ATTRS | ATTR_CMN_ADDEDTIME
                    expectAsked(list, 0x90000000, options);
                    if (getError)
                        return getError;
                    // Length, the returned attribute set (five words), the timespec if kept.
                    std::uint32_t reply[6] = {keepsAddedTime ? 40u : 24u,
                                              keepsAddedTime ? 0x90000000u : 0x80000000u};
                    EXPECT_GE(size, reply[0]);
                    std::memcpy(buffer, reply, 24);
                    if (keepsAddedTime)
                        std::memcpy(static_cast<char*>(buffer) + 24, &stored, 16);
                    return 0;
                },
                [this](const char*, darwin::AttributeList& list, void* buffer, std::size_t size,
                       std::uint32_t options) {
                    expectAsked(list, 0x10000000, options); // ATTR_CMN_ADDEDTIME alone
                    EXPECT_EQ(size, 16u);                   // one timespec
                    if (setError)
                        return setError;
                    std::memcpy(&stored, buffer, 16);
                    return 0;
                },
                [this](const char*) { return immutable; }};
    }
};

TEST(DarwinAddedDate, WritesAndReadsTheExactRecords) {
    FakeDarwinVolume volume;
    for (TimeSpec time : {TimeSpec{4102488000, 0}, {1700000000, 250000000}, {-1, 500000000}}) {
        darwin::writeAddedTime(volume.calls(), "/Users/me/Folder", time);
        EXPECT_EQ(volume.stored, time);
        EXPECT_EQ(darwin::readAddedTime(volume.calls(), "/Users/me/Folder"), time);
    }
}

TEST(DarwinAddedDate, ClassifiesFailures) {
    FakeDarwinVolume volume;
    auto readFailure = [&](int error) {
        volume.getError = error;
        return errorOf([&] { darwin::readAddedTime(volume.calls(), "/x"); });
    };
    volume.keepsAddedTime = false;
    EXPECT_EQ(readFailure(0), PinError::unsupportedVolume());
    EXPECT_EQ(readFailure(ENOENT), PinError::notFound());
    EXPECT_EQ(readFailure(EACCES), PinError::notOwner());
    volume.getError = EIO;
    EXPECT_THROW(darwin::readAddedTime(volume.calls(), "/x"), std::system_error);

    auto writeFailure = [&](int error, bool immutable, const std::string& path = "/x") {
        volume.setError = error;
        volume.immutable = immutable;
        return errorOf([&] { darwin::writeAddedTime(volume.calls(), path, {1, 0}); });
    };
    EXPECT_EQ(writeFailure(EPERM, true), PinError::locked());
    EXPECT_EQ(writeFailure(EPERM, false), PinError::notOwner());
    EXPECT_EQ(writeFailure(ENOENT, false), PinError::notFound());
    EXPECT_EQ(writeFailure(EACCES, false), PinError::notOwner());
    EXPECT_EQ(writeFailure(EINVAL, false), PinError::unsupportedVolume());
    EXPECT_EQ(writeFailure(ENOTSUP, false), PinError::unsupportedVolume());
    EXPECT_EQ(writeFailure(EROFS, false), PinError::unsupportedVolume());
    EXPECT_EQ(writeFailure(EIO, false), PinError::system(EIO));
    // A NUL would cut the name short and reach another item.
    EXPECT_EQ(writeFailure(0, false, "/x\0y"s), PinError::notFound());
}

} // namespace
