#pragma once

#include <map>
#include <string>
#include <vector>

namespace skyloom::test {

struct ProcessResult {
    int exitStatus = -1;
    std::string standardOutput;
    std::string standardError;
};

// Runs a program with extra environment variables, no standard input, and
// collects both outputs. With `errorFile`, its standard error goes there as it
// is written, so a caller can watch what it says while it runs.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         const std::string& workingDirectory = "",
                         const std::string& errorFile = "");

} // namespace skyloom::test
