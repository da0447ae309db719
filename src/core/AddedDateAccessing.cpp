#include "core/AddedDateAccessing.h"

#include <cmath>

namespace skyloom {

namespace {
constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;
}

TimeSpec splitDate(Date date) {
    double whole = std::floor(date);
    TimeSpec time{static_cast<std::int64_t>(whole),
                  // std::llround rounds halves away from zero.
                  std::llround((date - whole) * static_cast<double>(nanosecondsPerSecond))};
    if (time.nanoseconds >= nanosecondsPerSecond) {
        time.seconds += 1;
        time.nanoseconds -= nanosecondsPerSecond;
    }
    return time;
}

Date joinDate(TimeSpec time) {
    Date date = static_cast<Date>(time.seconds) +
                static_cast<Date>(time.nanoseconds) / static_cast<Date>(nanosecondsPerSecond);
    // Near 2090 a double is half a microsecond coarse: the last moments of
    // 2089 would round onto the threshold and be taken for a pin date.
    if (!isPinTime(time) && isPinDate(date))
        return std::nextafter(pinnedThreshold, 0.0);
    return date;
}

bool isSameFolder(const FolderKey& expected, const FolderKey& found) {
    if (expected.inode != found.inode)
        return false;
    // A volume mounted again may get another device number (a drive plugged
    // into another port, a loop device, a btrfs subvolume); inode and birth
    // time to the nanosecond still tell its folder from every other.
    if (expected.birth && found.birth)
        return *expected.birth == *found.birth;
    return expected.device == found.device;
}

EarlierMark EarlierMark::of(TimeSpec earlier, const FolderKey& folder) {
    return EarlierMark{earlier, folder.inode, folder.birth};
}

bool EarlierMark::belongsTo(const FolderKey& folder) const {
    return inode == folder.inode && (!birth || !folder.birth || *birth == *folder.birth);
}

namespace {

// Version 1: earlier seconds (8), nanoseconds (4), inode (8), a birth flag
// (1), birth seconds (8) and nanoseconds (4), little-endian.
constexpr char markVersion = 1;
constexpr std::size_t markSize = 1 + 8 + 4 + 8 + 1 + 8 + 4;

void put(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

std::uint64_t get(const std::string& in, std::size_t at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    return value;
}

} // namespace

std::string EarlierMark::encode() const {
    std::string data(1, markVersion);
    put(data, static_cast<std::uint64_t>(earlier.seconds), 8);
    put(data, static_cast<std::uint64_t>(earlier.nanoseconds), 4);
    put(data, inode, 8);
    data.push_back(birth ? 1 : 0);
    const TimeSpec born = birth.value_or(TimeSpec{});
    put(data, static_cast<std::uint64_t>(born.seconds), 8);
    put(data, static_cast<std::uint64_t>(born.nanoseconds), 4);
    return data;
}

std::optional<EarlierMark> EarlierMark::decode(const std::string& data) {
    if (data.size() != markSize || data[0] != markVersion)
        return std::nullopt;
    EarlierMark mark{
        {static_cast<std::int64_t>(get(data, 1, 8)), static_cast<std::int64_t>(get(data, 9, 4))},
        get(data, 13, 8),
        std::nullopt};
    if (mark.earlier.nanoseconds >= nanosecondsPerSecond || isPinTime(mark.earlier))
        return std::nullopt;
    if (data[21] == 1)
        mark.birth = TimeSpec{static_cast<std::int64_t>(get(data, 22, 8)),
                              static_cast<std::int64_t>(get(data, 30, 4))};
    return mark;
}

} // namespace skyloom
