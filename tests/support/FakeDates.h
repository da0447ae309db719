#pragma once

#include "core/engine/FileSystemAddedDate.h"
#include "core/engine/PinError.h"

#include <map>
#include <optional>
#include <string>

namespace skyloom::test {

// Date-added access kept in memory, with failures that can be armed per path.
class FakeDates : public AddedDateAccessing {
public:
    mutable std::map<std::string, Date> dates;
    mutable std::map<std::string, PinError> readErrors;
    mutable std::map<std::string, PinError> writeErrors;
    mutable int writes = 0;

    Date readAddedDate(const std::string& path) const override {
        if (auto it = readErrors.find(path); it != readErrors.end())
            throw it->second;
        auto it = dates.find(path);
        if (it == dates.end())
            throw PinError::notFound();
        return it->second;
    }

    void writeAddedDate(Date date, const std::string& path) const override {
        if (auto it = writeErrors.find(path); it != writeErrors.end())
            throw it->second;
        ++writes;
        dates[path] = date;
    }
};

} // namespace skyloom::test
