// Timed driver: `skyloom pin DIR` against `touch -a -d @4102488000 DIR`, the
// least a process can do for one pin. Both are run alternately, each on a
// fresh folder, and the ratio of their medians is printed.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

double run(const std::vector<std::string>& command) {
    auto start = std::chrono::steady_clock::now();
    pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (const auto& part : command)
            argv.push_back(const_cast<char*>(part.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "failed: %s\n", command[0].c_str());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One figure: `skyloom pin` on a store that already holds `existing` pins
// (each pin is unpinned again, untimed, so the store keeps its size).
void measure(const std::string& skyloom, const fs::path& root, int existing, int rounds) {
    for (int i = 0; i < existing; ++i) {
        auto folder = root / ("kept-" + std::to_string(existing) + "-" + std::to_string(i));
        fs::create_directories(folder);
        run({skyloom, "pin", folder.string()});
    }
    std::vector<double> pins, touches;
    for (int i = 0; i < rounds; ++i) {
        auto a = root / ("pin-" + std::to_string(i));
        auto b = root / ("touch-" + std::to_string(i));
        fs::create_directories(a);
        fs::create_directories(b);
        pins.push_back(run({skyloom, "pin", a.string()}));
        touches.push_back(run({"touch", "-a", "-d", "@4102488000", b.string()}));
        run({skyloom, "unpin", a.string()});
    }
    double pin = median(pins), touch = median(touches);
    std::printf("with %3d pins in the store: skyloom pin %.2f ms, touch -a %.2f ms, ratio %.2f "
                "(median of %d)\n",
                existing, pin * 1e3, touch * 1e3, pin / touch, rounds);
}

} // namespace

int main(int argc, char** argv) {
    std::string skyloom = argc > 1 ? argv[1] : SKYLOOM_CLI;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 200;
    char pattern[] = "/tmp/skyloom-clibench-XXXXXX";
    fs::path root = mkdtemp(pattern);
    ::setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
    fs::create_directories(root / "runtime");
    fs::permissions(root / "runtime", fs::perms::owner_all);
    for (int existing : {10, 100}) {
        ::setenv("XDG_DATA_HOME", (root / ("data-" + std::to_string(existing))).c_str(), 1);
        measure(skyloom, root / std::to_string(existing), existing, rounds);
    }
    fs::remove_all(root);
    return 0;
}
