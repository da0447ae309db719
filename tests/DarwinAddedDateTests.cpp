#include "core/PinError.h"
#include "core/platform/AddedDatePlatform.h"
#include "core/platform/DarwinAddedDate.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <system_error>

using namespace skyloom;
using namespace skyloom::platform;

namespace {

// A macOS volume behind the system-call table: it keeps what setattrlist is
// given and answers getattrlist the way the kernel packs its reply.
struct FakeDarwinVolume {
    darwin::AttributeList lastList;
    std::size_t lastSize = 0;
    std::uint32_t lastOptions = 0;
    TimeSpec stored{1600000000, 0};
    bool keepsAddedTime = true;
    int setError = 0, getError = 0;
    bool immutable = false;

    darwin::SystemCalls calls() {
        return {[this](const char*, darwin::AttributeList& list, void* buffer, std::size_t size,
                       std::uint32_t options) {
                    if (getError)
                        return getError;
                    EXPECT_EQ(list.commonattr,
                              darwin::attrCommonReturnedAttrs | darwin::attrCommonAddedTime);
                    EXPECT_EQ(options, darwin::optionNoFollow);
                    std::uint32_t length = keepsAddedTime ? 40 : 24;
                    std::uint32_t returned[5] = {
                        darwin::attrCommonReturnedAttrs |
                        (keepsAddedTime ? darwin::attrCommonAddedTime : 0)};
                    auto* out = static_cast<unsigned char*>(buffer);
                    EXPECT_GE(size, length);
                    std::memcpy(out, &length, 4);
                    std::memcpy(out + 4, returned, 20);
                    if (keepsAddedTime)
                        std::memcpy(out + 24, &stored, 16);
                    return 0;
                },
                [this](const char*, darwin::AttributeList& list, void* buffer, std::size_t size,
                       std::uint32_t options) {
                    lastList = list;
                    lastSize = size;
                    lastOptions = options;
                    if (setError)
                        return setError;
                    std::memcpy(&stored.seconds, buffer, 8);
                    std::memcpy(&stored.nanoseconds, static_cast<char*>(buffer) + 8, 8);
                    return 0;
                },
                [this](const char*) { return immutable; }};
    }

    AddedDatePrimitives primitives() {
        return {[this](const std::string& path) { return darwin::readAddedTime(calls(), path); },
                [this](const std::string& path, TimeSpec time) {
                    darwin::writeAddedTime(calls(), path, time);
                }};
    }
};

template <typename Call> PinError errorOf(Call call) {
    try {
        call();
    } catch (const PinError& error) {
        return error;
    }
    ADD_FAILURE() << "no PinError thrown";
    return PinError::system(0);
}

TEST(DarwinAddedDate, WritesTheExactRecords) {
    FakeDarwinVolume volume;
    struct Case {
        Date date;
        TimeSpec expected;
    };
    for (auto [date, expected] :
         {Case{pinDate(0), {4102488000, 0}}, Case{pinDate(3), {4102487820, 0}},
          Case{1700000000.25, {1700000000, 250000000}}, Case{-0.5, {-1, 500000000}}}) {
        writeAndVerify(volume.primitives(), date, "/Users/me/Folder");
        EXPECT_EQ(volume.stored, expected);
        EXPECT_EQ(volume.lastSize, 16u);
        EXPECT_EQ(volume.lastOptions, 1u);
        EXPECT_EQ(volume.lastList.bitmapcount, 5);
        EXPECT_EQ(volume.lastList.reserved, 0);
        EXPECT_EQ(volume.lastList.commonattr, 0x10000000u);
        EXPECT_EQ(volume.lastList.volattr | volume.lastList.dirattr | volume.lastList.fileattr |
                      volume.lastList.forkattr,
                  0u);
        EXPECT_EQ(joinDate(darwin::readAddedTime(volume.calls(), "/Users/me/Folder")), date);
    }
}

TEST(DarwinAddedDate, ClassifiesFailures) {
    FakeDarwinVolume volume;
    volume.keepsAddedTime = false;
    EXPECT_EQ(errorOf([&] { darwin::readAddedTime(volume.calls(), "/x"); }),
              PinError::unsupportedVolume());
    volume.getError = ENOENT;
    EXPECT_EQ(errorOf([&] { darwin::readAddedTime(volume.calls(), "/x"); }), PinError::notFound());
    volume.getError = EACCES;
    EXPECT_EQ(errorOf([&] { darwin::readAddedTime(volume.calls(), "/x"); }), PinError::notOwner());
    volume.getError = EIO;
    EXPECT_THROW(darwin::readAddedTime(volume.calls(), "/x"), std::system_error);

    auto writeFailure = [&](int error, bool immutable) {
        volume.setError = error;
        volume.immutable = immutable;
        return errorOf([&] { darwin::writeAddedTime(volume.calls(), "/x", {1, 0}); });
    };
    EXPECT_EQ(writeFailure(EPERM, true), PinError::locked());
    EXPECT_EQ(writeFailure(EPERM, false), PinError::notOwner());
    EXPECT_EQ(writeFailure(ENOENT, false), PinError::notFound());
    EXPECT_EQ(writeFailure(EACCES, false), PinError::notOwner());
    EXPECT_EQ(writeFailure(EINVAL, false), PinError::unsupportedVolume());
    EXPECT_EQ(writeFailure(ENOTSUP, false), PinError::unsupportedVolume());
    EXPECT_EQ(writeFailure(EROFS, false), PinError::unsupportedVolume());
    EXPECT_EQ(writeFailure(EIO, false), PinError::system(EIO));
}

} // namespace
