#include "core/platform/AddedDatePlatform.h"

#include <cerrno>
#include <cmath>
#include <optional>
#include <system_error>

namespace skyloom::platform {

void writeAndVerify(const AddedDatePrimitives& primitives, Date date, const std::string& path) {
    // The value before the write is only needed to undo a capped write; when it
    // cannot be read the write itself reports what is wrong.
    std::optional<TimeSpec> previous;
    try {
        previous = primitives.read(path);
    } catch (const PinError&) {
    } catch (const std::system_error&) {
    }

    primitives.write(path, splitDate(date));

    TimeSpec stored;
    try {
        stored = primitives.read(path);
    } catch (const std::system_error& error) {
        throw PinError::system(error.code().value());
    }
    if (std::fabs(joinDate(stored) - date) < 1.0)
        return;

    if (previous) {
        try {
            primitives.write(path, *previous);
        } catch (const PinError&) {
        }
    }
    throw PinError::unsupportedVolume();
}

void throwReadError(int error) {
    if (error == ENOENT || error == ENOTDIR)
        throw PinError::notFound();
    if (error == EACCES || error == EPERM)
        throw PinError::notOwner();
    throw std::system_error(error, std::generic_category());
}

PinError writeError(int error, const std::function<bool()>& isLocked) {
    // Compared by name, not by number: ENOTSUP and EOPNOTSUPP are one value on
    // Linux and two on macOS.
    if (error == EPERM)
        return isLocked() ? PinError::locked() : PinError::notOwner();
    if (error == ENOENT || error == ENOTDIR)
        return PinError::notFound();
    if (error == EACCES)
        return PinError::notOwner();
    // A read-only volume takes no date at all; saying so beats an unknown
    // error with a bare number.
    if (error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP || error == EROFS)
        return PinError::unsupportedVolume();
    return PinError::system(error);
}

} // namespace skyloom::platform
