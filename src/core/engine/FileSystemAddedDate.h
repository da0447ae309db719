#pragma once

#include "core/AddedDateAccessing.h"

#include <functional>
#include <string>

namespace skyloom {

// The production access through the operating system. The folder is opened
// once per call (a symbolic link in its path is refused as notFound) and
// every write is read back through that one handle: a volume that silently
// caps or rounds the date beyond its own granularity gets its previous value
// back and the write fails with unsupportedVolume.
class FileSystemAddedDate final : public AddedDateAccessing {
public:
    Date readAddedDate(const std::string& path) const override;
    void writeAddedDate(Date date, const std::string& path) const override;
    bool datesBefore1970AreReal() const override;
    bool identityGivesAddedDate() const override;
    void withFolder(const std::string& path,
                    const std::function<void(DatedFolder&)>& body) const override;
};

} // namespace skyloom
