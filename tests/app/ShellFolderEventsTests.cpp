#include "app/shell/FolderEvents.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

using namespace skyloom::app;
using namespace skyloom::test;
using Backend = FolderEvents::Backend;
using Kind = FolderEvents::Event::Kind;

namespace skyloom::app {
void PrintTo(FolderEvents::Backend backend, std::ostream* out) {
    *out << (backend == FolderEvents::Backend::fanotify ? "fanotify" : "inotify");
}
} // namespace skyloom::app

namespace {

bool readable(const FolderEvents& events, int timeoutMilliseconds) {
    pollfd fd{events.fileDescriptor(), POLLIN, 0};
    return ::poll(&fd, 1, timeoutMilliseconds) == 1;
}

// Events until `done` holds or 5 s pass without one.
template <typename Done> std::vector<FolderEvents::Event> waitFor(FolderEvents& events, Done done) {
    std::vector<FolderEvents::Event> all;
    while (!done(all) && readable(events, 5000))
        for (const auto& event : events.read())
            all.push_back(event);
    return all;
}

bool has(const std::vector<FolderEvents::Event>& events, int watch, Kind kind) {
    for (const auto& event : events)
        if (event.watch == watch && event.kind == kind)
            return true;
    return false;
}

// What people do with the files in the folders they pin: read, write,
// create, touch, rename.
void workInside(const std::string& folder, int files) {
    char byte;
    for (int i = 0; i < files; ++i) {
        const std::string file = folder + "/f" + std::to_string(i);
        int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "x", 1), 1);
        ASSERT_EQ(::pread(fd, &byte, 1, 0), 1);
        ::close(fd);
        setAccessTime(file, {1000 + i, 0});
    }
    ASSERT_EQ(::mkdir((folder + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(::rename((folder + "/f0").c_str(), (folder + "/g0").c_str()), 0);
    ASSERT_EQ(::unlink((folder + "/g0").c_str()), 0);
}

class ShellFolderEventsTest : public ::testing::TestWithParam<Backend> {};

// Only the folder's own changes come through, once each, and at once:
// its dates, a rename, a deletion; a removed watch hears nothing more.
TEST_P(ShellFolderEventsTest, ReportsTheFolderItselfNotTheWorkInside) {
    FolderEvents events(GetParam());
    ASSERT_EQ(events.backend(), GetParam());
    TempDir dir;
    const std::string folder = dir.makeFolder("pinned"), other = dir.makeFolder("other");
    const int watch = events.add(folder), otherWatch = events.add(other);
    ASSERT_GE(watch, 0);
    ASSERT_GE(otherWatch, 0);
    ASSERT_NE(watch, otherWatch);
    EXPECT_EQ(events.add(folder + "/"), watch);
    EXPECT_EQ(events.add(dir.makeFile("file")), -1);
    ASSERT_EQ(::symlink(folder.c_str(), (dir.path() + "/link").c_str()), 0);
    EXPECT_EQ(events.add(dir.path() + "/link"), -1);
    EXPECT_EQ(events.add(dir.path() + "/gone"), -1);

    workInside(folder, 200);
    if (GetParam() == Backend::fanotify) {
        // The kernel queues events as the calls happen: none woke the app.
        EXPECT_FALSE(readable(events, 0));
    } else {
        // inotify hears the entries' attribute changes, and drops them as read.
        std::vector<FolderEvents::Event> storm;
        while (readable(events, 0))
            for (const auto& event : events.read())
                storm.push_back(event);
        EXPECT_TRUE(storm.empty());
    }

    // Many changes of the folder's access time are one event; a listing
    // reads like one and joins it.
    for (int i = 0; i < 50; ++i) {
        setAccessTime(folder, {4102444800 + i, 0});
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        }
    }
    auto seen =
        waitFor(events, [&](const auto& all) { return has(all, watch, Kind::attributesChanged); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].watch, watch);
    EXPECT_EQ(seen[0].kind, Kind::attributesChanged);

    const std::string renamed = dir.path() + "/renamed";
    ASSERT_EQ(::rename(folder.c_str(), renamed.c_str()), 0);
    seen = waitFor(events, [&](const auto& all) { return has(all, watch, Kind::moved); });
    EXPECT_TRUE(has(seen, watch, Kind::moved));
    EXPECT_EQ(events.add(renamed), watch); // found again where it went
    ASSERT_GT(std::filesystem::remove_all(renamed), 0u);
    seen = waitFor(events, [&](const auto& all) { return has(all, watch, Kind::watchEnded); });
    EXPECT_TRUE(has(seen, watch, Kind::deleted));
    EXPECT_TRUE(has(seen, watch, Kind::watchEnded));
    for (const auto& event : seen)
        EXPECT_NE(event.watch, otherWatch);

    events.remove(otherWatch);
    setAccessTime(other, {4102444900, 0});
    for (const auto& event : events.read())
        EXPECT_NE(event.watch, otherWatch) << static_cast<int>(event.kind);
}

INSTANTIATE_TEST_SUITE_P(Backends, ShellFolderEventsTest,
                         ::testing::Values(Backend::fanotify, Backend::inotify),
                         [](const auto& info) {
                             return info.param == Backend::fanotify ? "fanotify" : "inotify";
                         });

TEST(ShellFolderEventsUnprivilegedTest, FanotifyWatchesWithoutPrivileges) {
    TempDir dir;
    const std::string folder = dir.makeFolder("pinned");
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    std::string why;
    const int status = runAsNobody(
        [&] {
            FolderEvents events;
            if (events.backend() != Backend::fanotify)
                return 2; // an older kernel: the fallback watches
            const int watch = events.add(folder);
            if (watch < 0)
                return 3;
            workInside(folder, 20);
            if (readable(events, 0))
                return 4;
            setAccessTime(folder, {4102444800, 0});
            auto seen = waitFor(
                events, [&](const auto& all) { return has(all, watch, Kind::attributesChanged); });
            return seen.size() == 1 ? 0 : 5;
        },
        why);
    if (status == -1)
        GTEST_SKIP() << why;
    if (status == 2)
        GTEST_SKIP() << "this kernel refuses fanotify to unprivileged processes";
    EXPECT_EQ(status, 0);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
