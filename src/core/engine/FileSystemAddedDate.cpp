#include "core/engine/FileSystemAddedDate.h"

#include "core/PinError.h"
#include "core/platform/AddedDatePlatform.h"
#include "core/platform/FolderIdentity.h"

namespace skyloom {

namespace {

// The folder named anew by its path for every call, for doubles.
class PathFolder final : public DatedFolder {
public:
    PathFolder(const AddedDateAccessing& dates, const std::string& path)
        : dates_(dates), path_(path) {}
    FolderKey key() const override {
        auto identity = platform::folderIdentity(path_);
        if (!identity)
            throw PinError::notFound();
        return FolderKey{identity->device, identity->inode, identity->birth};
    }
    TimeSpec read() const override { return splitDate(dates_.readAddedDate(path_)); }
    void write(TimeSpec time) override { dates_.writeAddedDate(joinDate(time), path_); }

private:
    const AddedDateAccessing& dates_;
    const std::string& path_;
};

} // namespace

void AddedDateAccessing::withFolder(const std::string& path,
                                    const std::function<void(DatedFolder&)>& body) const {
    PathFolder folder(*this, path);
    body(folder);
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

void FileSystemAddedDate::withFolder(const std::string& path,
                                     const std::function<void(DatedFolder&)>& body) const {
    platform::withFolder(platform::systemAddedDatePrimitives(), path, body);
}

} // namespace skyloom
