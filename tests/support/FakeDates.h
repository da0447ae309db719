#pragma once

#include "core/PinError.h"
#include "core/engine/FileSystemAddedDate.h"

#include <map>
#include <optional>
#include <string>

namespace skyloom::test {

// Date-added access kept in memory, with failures that can be armed per path.
// With `identityGivesDates` the engine takes the real folder's date that a
// lookup saw for this access's own.
class FakeDates : public AddedDateAccessing {
public:
    mutable std::map<std::string, Date> dates;
    mutable std::map<std::string, PinError> readErrors, writeErrors;
    mutable int reads = 0, writes = 0;
    bool identityGivesDates = false;

    bool identityGivesAddedDate() const override { return identityGivesDates; }

    Date readAddedDate(const std::string& path) const override {
        ++reads;
        if (readErrors.contains(path))
            throw readErrors.at(path);
        if (!dates.contains(path))
            throw PinError::notFound();
        return dates.at(path);
    }

    void writeAddedDate(Date date, const std::string& path) const override {
        if (writeErrors.contains(path))
            throw writeErrors.at(path);
        ++writes;
        dates[path] = date;
    }
};

} // namespace skyloom::test
