#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <stdlib.h>
#include <sys/stat.h>

namespace skyloom::bench {

// A private home for a benchmark of the app: temporary runtime, data and
// config folders in the environment, and `count` empty folders to pin.
struct AppBenchHome {
    std::string root;
    std::vector<std::string> folders;

    explicit AppBenchHome(int count) {
        char pattern[] = "/tmp/skyloom-bench-XXXXXX";
        if (!::mkdtemp(pattern))
            throw std::runtime_error("mkdtemp failed");
        root = pattern;
        for (const char* name : {"run", "data", "config", "folders"})
            ::mkdir((root + "/" + name).c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        for (int i = 0; i < count; ++i) {
            folders.push_back(root + "/folders/f" + std::to_string(i));
            std::filesystem::create_directory(folders.back());
        }
    }
    ~AppBenchHome() { std::filesystem::remove_all(root); }
    AppBenchHome(const AppBenchHome&) = delete;
    AppBenchHome& operator=(const AppBenchHome&) = delete;
};

} // namespace skyloom::bench
