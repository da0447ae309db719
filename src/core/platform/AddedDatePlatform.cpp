#include "core/platform/AddedDatePlatform.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <optional>
#include <system_error>
#include <utility>

namespace skyloom::platform {

Date timeGranularity(std::string_view fileSystem) {
    if (fileSystem == "exfat")
        return 2.0;
    // FAT keeps the day of the last access, nothing finer.
    if (fileSystem == "vfat" || fileSystem == "msdos" || fileSystem == "fat")
        return 86400.0;
    return 1.0;
}

Date readDate(const AddedDatePrimitives& primitives, const std::string& path) {
    OpenedFolder folder = primitives.open(path, false);
    return joinDate(primitives.read(folder));
}

void writeAndVerify(const AddedDatePrimitives& primitives, Date date, const std::string& path) {
    OpenedFolder folder = primitives.open(path, true);
    writeAndVerify(primitives, folder, splitDate(date));
}

void writeAndVerify(const AddedDatePrimitives& primitives, const OpenedFolder& folder,
                    TimeSpec time) {
    // The value before the write is only needed to undo a capped write; when it
    // cannot be read the write itself reports what is wrong.
    std::optional<TimeSpec> previous;
    try {
        previous = primitives.read(folder);
    } catch (const PinError&) {
    } catch (const std::system_error&) {
    }

    primitives.write(folder, time);

    TimeSpec stored;
    try {
        stored = primitives.read(folder);
    } catch (const std::system_error& error) {
        throw PinError::system(error.code().value());
    }
    // Pin dates are whole minutes and must come back exactly, or the pins'
    // order is lost; an ordinary date may come back in the volume's steps.
    const Date date = joinDate(time);
    Date tolerance = isPinTime(time) ? 1.0 : std::max(1.0, folder.granularity);
    if (std::fabs(joinDate(stored) - date) < tolerance && isPinTime(stored) == isPinTime(time)) {
        if (primitives.announce)
            primitives.announce(folder);
        return;
    }

    if (previous) {
        try {
            primitives.write(folder, *previous);
        } catch (const PinError&) {
        }
    }
    throw PinError::unsupportedVolume();
}

namespace {

class SystemFolder final : public DatedFolder {
public:
    SystemFolder(const AddedDatePrimitives& primitives, OpenedFolder folder)
        : primitives_(primitives), folder_(std::move(folder)) {}

    FolderKey key() const override {
        if (!primitives_.key)
            throw PinError::notFound();
        try {
            return primitives_.key(folder_);
        } catch (const std::system_error& error) {
            throw PinError::system(error.code().value());
        }
    }
    TimeSpec read() const override {
        try {
            return primitives_.read(folder_);
        } catch (const std::system_error& error) {
            throw PinError::system(error.code().value());
        }
    }
    void write(TimeSpec time) override { writeAndVerify(primitives_, folder_, time); }
    std::optional<EarlierMark> readMark() const override {
        if (!primitives_.readMark)
            return std::nullopt;
        auto data = primitives_.readMark(folder_);
        return data ? EarlierMark::decode(*data) : std::nullopt;
    }
    void writeMark(const EarlierMark& mark) override {
        if (primitives_.writeMark)
            primitives_.writeMark(folder_, mark.encode());
    }
    void removeMark() override {
        if (primitives_.removeMark)
            primitives_.removeMark(folder_);
    }

private:
    const AddedDatePrimitives& primitives_;
    OpenedFolder folder_;
};

} // namespace

void withFolder(const AddedDatePrimitives& primitives, const std::string& path,
                const std::function<void(DatedFolder&)>& body) {
    SystemFolder folder(primitives, primitives.open(path, true));
    body(folder);
}

void throwReadError(int error) {
    // ELOOP: a symbolic link where a folder was resolved; not the folder named.
    if (error == ENOENT || error == ENOTDIR || error == ELOOP)
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
    if (error == ENOENT || error == ENOTDIR || error == ELOOP)
        return PinError::notFound();
    if (error == EACCES)
        return PinError::notOwner();
    // A read-only volume takes no date at all; saying so beats an unknown
    // error with a bare number.
    if (error == EROFS)
        return PinError::unsupportedVolume(PinError::VolumeProblem::readOnly);
    if (error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP)
        return PinError::unsupportedVolume();
    return PinError::system(error);
}

} // namespace skyloom::platform
