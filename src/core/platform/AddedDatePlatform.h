#pragma once

#include "core/AddedDateAccessing.h"
#include "core/Date.h"
#include "core/PinError.h"
#include "core/UniqueFd.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace skyloom::platform {

// A folder opened once for one read or write: every check, read, write and
// read-back goes through it, so a link swapped into its path cannot redirect
// them.
struct OpenedFolder {
    std::string path;
    UniqueFd fd; // not open where the platform works on the path itself
    // How far an ordinary date may read back from the one written (seconds).
    Date granularity = 1.0;
};

// The operating-system primitives behind FileSystemAddedDate, without the
// read-back check. `open` throws PinError::notFound (also for a symbolic link
// anywhere in the path), notOwner or unsupportedVolume; `read` throws those
// or a std::system_error; `write` throws PinError only. `forWriting` asks for
// the volume checks a write needs (pseudo file systems refused, granularity).
//
// The optional rest: `key` the opened folder's identity (throws as `read`);
// `readMark` the raw extended attribute that carries the earlier date
// (absent when there is none or the volume keeps no user attributes);
// `writeMark` false where the volume keeps no user attributes, a PinError
// for any other failure; `removeMark` best effort; `announce` a change the
// kernel reports to watchers of the parent as an attribute change, without
// altering anything (the same mode written back), best effort. Left empty,
// the folder has no identity to check, carries no marks and announces nothing.
struct AddedDatePrimitives {
    std::function<OpenedFolder(const std::string& path, bool forWriting)> open;
    std::function<TimeSpec(const OpenedFolder& folder)> read;
    std::function<void(const OpenedFolder& folder, TimeSpec time)> write;
    std::function<FolderKey(const OpenedFolder& folder)> key;
    std::function<std::optional<std::string>(const OpenedFolder& folder)> readMark;
    std::function<bool(const OpenedFolder& folder, const std::string& data)> writeMark;
    std::function<void(const OpenedFolder& folder)> removeMark;
    std::function<void(const OpenedFolder& folder)> announce;
};

// The extended attribute a pinned folder carries its way back in.
inline constexpr const char* earlierMarkName = "user.skyloom.earlier";

// The primitives of the operating system the program runs on (one
// implementation per OS under platform/linux and platform/macos).
const AddedDatePrimitives& systemAddedDatePrimitives();

// Whether a date read at or before 1970 is a real date (Linux: every access
// time is) rather than the sign of a volume that keeps none.
extern const bool datesBefore1970AreReal;

// The step in which a file system keeps its dates: 2 s on exFAT, a day on
// FAT (a date only), 1 s wherever it keeps finer.
Date timeGranularity(std::string_view fileSystem);

// Opens the folder, reads its date.
Date readDate(const AddedDatePrimitives& primitives, const std::string& path);

// Opens the folder once, writes `date` through it and reads it back. A pin
// date must read back within a second; another date within the volume's
// granularity. Otherwise the value found before the write is put back (best
// effort) and PinError::unsupportedVolume is thrown. Never lets a
// std::system_error through.
void writeAndVerify(const AddedDatePrimitives& primitives, Date date, const std::string& path);
// The same on a folder already opened for writing, with the exact time.
void writeAndVerify(const AddedDatePrimitives& primitives, const OpenedFolder& folder,
                    TimeSpec time);

// Opens the folder once for writing and runs `body` on that one handle.
void withFolder(const AddedDatePrimitives& primitives, const std::string& path,
                const std::function<void(DatedFolder&)>& body);

// The error a failed open or read of the date reports: notFound, notOwner, or
// the platform error itself as a std::system_error.
[[noreturn]] void throwReadError(int error);

// The error a failed write of the date reports. `isLocked` is asked only after
// EPERM: whether the item carries the immutable (or append-only) flag; false
// when that cannot be told.
PinError writeError(int error, const std::function<bool()>& isLocked);

} // namespace skyloom::platform
