// Timed driver: `skyloom pin DIR` against `touch -a -d @4102488000 DIR`, the
// least a process can do for one pin. Both are run alternately, each on a
// fresh folder, and the ratio of their medians is printed. Then `skyloom
// reapply` over the whole store, as a whole process, per pin.
//
//   CommandLineBench [PROGRAM [ROUNDS]]
//
// PROGRAM is the skyloom to time: the installed one (/usr/bin/skyloom from
// the Debian package) is what users start. Without it, $SKYLOOM_BENCH_PROGRAM,
// else the build tree's.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Wall-clock time of the process, and the processor time it used (user and
// system), which a busy machine disturbs far less.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

Timing run(const std::vector<std::string>& command) {
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
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "failed: %s\n", command[0].c_str());
    auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One figure: `skyloom pin` on a store that already holds `existing` pins
// (each pin is unpinned again, untimed, so the store keeps its size).
void measure(const std::string& skyloom, const fs::path& root, int existing, int rounds) {
    std::vector<std::string> pinAll{skyloom, "pin"};
    for (int i = 0; i < existing; ++i) {
        auto folder = root / ("kept-" + std::to_string(existing) + "-" + std::to_string(i));
        fs::create_directories(folder);
        pinAll.push_back(folder.string());
    }
    run(pinAll);
    std::vector<double> pins, touches, pinCpu, touchCpu;
    for (int i = 0; i < rounds; ++i) {
        auto a = root / ("pin-" + std::to_string(i));
        auto b = root / ("touch-" + std::to_string(i));
        fs::create_directories(a);
        fs::create_directories(b);
        Timing pin = run({skyloom, "pin", a.string()});
        Timing touch = run({"touch", "-a", "-d", "@4102488000", b.string()});
        pins.push_back(pin.wall);
        pinCpu.push_back(pin.cpu);
        touches.push_back(touch.wall);
        touchCpu.push_back(touch.cpu);
        run({skyloom, "unpin", a.string()});
    }
    double pin = median(pins), touch = median(touches);
    std::printf("with %5d pins: skyloom pin %.2f ms, touch -a %.2f ms, ratio %.2f; processor "
                "time %.2f ms against %.2f ms, ratio %.2f (medians of %d)\n",
                existing, pin * 1e3, touch * 1e3, pin / touch, median(pinCpu) * 1e3,
                median(touchCpu) * 1e3, median(pinCpu) / median(touchCpu), rounds);

    // Nothing moved: every pin is found at its path and read, none written.
    std::vector<double> reapplies, reapplyCpu;
    for (int i = 0; i < std::max(rounds / 4, 5); ++i) {
        Timing reapply = run({skyloom, "reapply"});
        reapplies.push_back(reapply.wall);
        reapplyCpu.push_back(reapply.cpu);
    }
    std::printf("with %5d pins: skyloom reapply %.2f ms (%.2f us per pin), processor time "
                "%.2f ms (%.2f us per pin)\n",
                existing, median(reapplies) * 1e3, median(reapplies) * 1e6 / existing,
                median(reapplyCpu) * 1e3, median(reapplyCpu) * 1e6 / existing);
}

} // namespace

int main(int argc, char** argv) {
    const char* chosen = std::getenv("SKYLOOM_BENCH_PROGRAM");
    std::string skyloom = argc > 1 && argv[1][0] ? argv[1]
                          : chosen && *chosen    ? chosen
                                                 : SKYLOOM_CLI;
    std::printf("timing %s\n", skyloom.c_str());
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 200;
    char pattern[] = "/tmp/skyloom-clibench-XXXXXX";
    fs::path root = mkdtemp(pattern);
    ::setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
    fs::create_directories(root / "runtime");
    fs::permissions(root / "runtime", fs::perms::owner_all);
    for (int existing : {10, 100, 1000, 10000}) {
        ::setenv("XDG_DATA_HOME", (root / ("data-" + std::to_string(existing))).c_str(), 1);
        measure(skyloom, root / std::to_string(existing), existing, rounds);
    }
    fs::remove_all(root);
    return 0;
}
