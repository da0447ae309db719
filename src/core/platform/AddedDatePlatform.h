#pragma once

#include "core/Date.h"
#include "core/engine/FileSystemAddedDate.h"
#include "core/engine/PinError.h"

#include <functional>
#include <string>

namespace skyloom::platform {

// The two operating-system primitives behind FileSystemAddedDate, without the
// read-back check. `read` throws PinError::notFound, notOwner, unsupportedVolume
// or a std::system_error; `write` throws PinError only.
struct AddedDatePrimitives {
    std::function<TimeSpec(const std::string& path)> read;
    std::function<void(const std::string& path, TimeSpec time)> write;
};

// The primitives of the operating system the program runs on (one
// implementation per OS under platform/linux and platform/macos).
const AddedDatePrimitives& systemAddedDatePrimitives();

// Writes `date` through `primitives` and reads it back. When the value read
// back is a second or more away from `date` (the kernel capped or rounded it),
// the value found before the write is put back (best effort) and
// PinError::unsupportedVolume is thrown. Never lets a std::system_error through.
void writeAndVerify(const AddedDatePrimitives& primitives, Date date, const std::string& path);

// The error a failed read of the date reports: notFound, notOwner, or the
// platform error itself as a std::system_error.
[[noreturn]] void throwReadError(int error);

// The error a failed write of the date reports. `isLocked` is asked only after
// EPERM: whether the item carries the immutable (or append-only) flag; false
// when that cannot be told.
PinError writeError(int error, const std::function<bool()>& isLocked);

} // namespace skyloom::platform
