#include "core/engine/FileSystemAddedDate.h"

#include "core/platform/AddedDatePlatform.h"
#include "core/platform/FolderIdentity.h"

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
    return static_cast<Date>(time.seconds) +
           static_cast<Date>(time.nanoseconds) / static_cast<Date>(nanosecondsPerSecond);
}

Date FileSystemAddedDate::readAddedDate(const std::string& path) const {
    return platform::readDate(platform::systemAddedDatePrimitives(), path);
}

void FileSystemAddedDate::writeAddedDate(Date date, const std::string& path) const {
    platform::writeAndVerify(platform::systemAddedDatePrimitives(), date, path);
}

bool FileSystemAddedDate::datesBefore1970AreReal() const {
    return platform::datesBefore1970AreReal;
}

bool FileSystemAddedDate::identityGivesAddedDate() const {
    return platform::identityGivesAddedDate;
}

} // namespace skyloom
