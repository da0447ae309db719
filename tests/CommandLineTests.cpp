#include "core/command/CommandChannel.h"
#include "core/command/CommandHandler.h"
#include "core/command/CommandServer.h"
#include "core/engine/FileSystemAddedDate.h"
#include "core/engine/PinError.h"
#include "core/store/ModelContainer.h"
#include "core/store/PinStore.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>

using namespace skyloom;
using namespace skyloom::test;

namespace {

constexpr Date march2024 = 1709251200.123457;

Date accessTime(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return static_cast<Date>(info.st_atim.tv_sec) + info.st_atim.tv_nsec / 1e9;
}

class CommandLineTest : public ::testing::Test {
protected:
    TempDir temp;
    std::string data = temp.makeFolder("data");
    std::string runtime = temp.makeFolder("runtime", 0700);
    std::string work = temp.makeFolder("work");

    // In a Korean session unless `language` says otherwise.
    ProcessResult skyloom(const std::vector<std::string>& arguments,
                          const std::string& language = "ko_KR.UTF-8") {
        return runProcess(SKYLOOM_CLI, arguments,
                          {{"XDG_DATA_HOME", data},
                           {"XDG_RUNTIME_DIR", runtime},
                           {"LANGUAGE", ""},
                           {"LC_ALL", ""},
                           {"LC_MESSAGES", ""},
                           {"LANG", language}},
                          work);
    }

    std::string folder(const std::string& name) {
        auto path = temp.makeFolder("work/" + name);
        FileSystemAddedDate().writeAddedDate(march2024, path);
        return path;
    }

    nlohmann::json listed() {
        auto result = skyloom({"list", "--json"});
        EXPECT_EQ(result.exitStatus, 0) << result.standardError;
        return nlohmann::json::parse(result.standardOutput);
    }
};

TEST_F(CommandLineTest, UsageAndExitStatuses) {
    auto help = skyloom({"--help"});
    EXPECT_EQ(help.exitStatus, 0);

    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{"frobnicate"}, "알 수 없는 명령이에요: frobnicate"},
        {{"pin"}, "'pin' 명령에는 폴더 경로가 하나 이상 필요해요."},
        {{"list", "--yaml"}, "알 수 없는 옵션이에요: --yaml"},
        {{"--", "x"}, "폴더 경로 앞에 pin이나 unpin 같은 명령을 적어 주세요."},
    };
    for (const auto& [arguments, problem] : bad) {
        auto result = skyloom(arguments);
        EXPECT_EQ(result.exitStatus, 2) << problem;
        EXPECT_EQ(result.standardError, "skyloom: " + problem + "\n" + help.standardOutput);
        EXPECT_EQ(result.standardOutput, "");
    }
    // Korean in a Korean session; English in every other one, C included.
    auto english = skyloom({"pin", "/nonexistent", "bogus"}, "en_US.UTF-8");
    EXPECT_EQ(english.standardError, "nonexistent \u2014 Folder not found.\n"
                                     "bogus \u2014 Folder not found.\n");
    for (const char* language : {"fr_FR", "C", "POSIX"}) {
        EXPECT_EQ(skyloom({"pin", "/nonexistent"}, language).standardError,
                  "nonexistent \u2014 Folder not found.\n")
            << language;
    }
    EXPECT_EQ(skyloom({"pin", "/nonexistent"}, "ko_KR.UTF-8").standardError,
              "nonexistent \u2014 폴더를 찾을 수 없어요.\n");
}

TEST_F(CommandLineTest, PinListUnpinAndBadInputGetsOneLineEach) {
    auto a = folder("a");
    temp.makeFile("work/notes.txt");
    const std::string tooLong(5000, 'x'); // beyond PATH_MAX
    auto result = skyloom({"pin", "missing", "notes.txt", "a", "a/../a", "a", tooLong});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError, "missing \u2014 폴더를 찾을 수 없어요.\n"
                                    "notes.txt \u2014 폴더만 고정할 수 있어요.\n"
                                    "a \u2014 이미 고정된 폴더예요.\n"
                                    "a \u2014 이미 고정된 폴더예요.\n" +
                                        tooLong + " \u2014 폴더를 찾을 수 없어요.\n");
    EXPECT_EQ(accessTime(a), pinBaseDate);
    auto pins = listed();
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_EQ(pins[0]["path"], a);
    EXPECT_NEAR(pins[0]["originalAddedDate"].get<double>(), march2024, 1e-6);

    // Names that are not UTF-8, or hold a newline, pin and unpin without loss.
    auto odd = folder("caf\xE9\nline");
    result = skyloom({"pin", odd});
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(result.standardOutput + result.standardError, "");
    EXPECT_EQ(accessTime(odd), pinDate(1));
    // A decomposed name is shown composed, as the file manager shows it.
    auto decomposed = folder("\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB");
    EXPECT_EQ(skyloom({"pin", decomposed}).exitStatus, 0);
    EXPECT_EQ(skyloom({"pin", decomposed}).standardError,
              "\xED\x95\x9C \u2014 이미 고정된 폴더예요.\n");
    result = skyloom({"unpin", odd, decomposed, "a", "--", "-dash"});
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_NEAR(accessTime(odd), march2024, 1e-6);
    EXPECT_NEAR(accessTime(a), march2024, 1e-6);
    EXPECT_EQ(result.standardOutput, "Skyloom으로 고정한 폴더가 아니라 바꾸지 않았어요: -dash\n");
    EXPECT_EQ(skyloom({"list"}).standardOutput, "고정된 폴더가 없어요\n");
}

TEST_F(CommandLineTest, AReadOnlyVolumeIsRefusedWithoutARecord) {
    auto mountPoint = temp.makeFolder("work/readonly");
    if (::mount("skyloom-test", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs (needs root)";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    ASSERT_EQ(::mkdir((mountPoint + "/inside").c_str(), 0755), 0);
    ASSERT_EQ(::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);

    auto result = skyloom({"pin", mountPoint + "/inside"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError,
              "inside \u2014 " + PinError::unsupportedVolume().errorDescription() + "\n");
    EXPECT_EQ(listed(), nlohmann::json::array());
}

// Commands started together take turns on the store: one that waits is told
// so after a second, and none fails.
TEST_F(CommandLineTest, TwentyCommandsAtOnceAllSucceed) {
    auto dir = data + "/brindle-engineering.Skyloom.direct";
    std::filesystem::create_directories(dir);
    std::vector<std::string> folders;
    for (int i = 0; i < 20; ++i)
        folders.push_back(folder("f" + std::to_string(i)));
    std::vector<ProcessResult> results(folders.size());
    {
        // Held past the app's short wait, as a long command would.
        auto held = StoreLock::acquire(dir + "/default.store");
        std::vector<std::thread> commands;
        for (std::size_t i = 0; i < folders.size(); ++i)
            commands.emplace_back([&, i] { results[i] = skyloom({"pin", folders[i]}); });
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        held.reset();
        for (auto& command : commands)
            command.join();
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        EXPECT_EQ(results[i].exitStatus, 0) << results[i].standardError;
        EXPECT_EQ(results[i].standardError.substr(0, 67),
                  "다른 Skyloom 명령이 끝나기를 기다리는 중이에요…\n")
            << i;
        EXPECT_GE(accessTime(folders[i]), pinnedThreshold);
    }
    EXPECT_EQ(listed().size(), 20u);
}

// `list` shows each folder as it is now and writes nothing.
TEST_F(CommandLineTest, ListShowsADeletedFolderAsMissingWithoutWriting) {
    auto gone = folder("gone");
    ASSERT_EQ(skyloom({"pin", "gone"}).exitStatus, 0);
    std::filesystem::remove(gone);
    const std::string store = data + "/brindle-engineering.Skyloom.direct/default.store";
    auto modified = std::filesystem::last_write_time(store);
    auto pins = listed();
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_EQ(pins[0]["isMissing"], true);
    EXPECT_EQ(skyloom({"list"}).standardOutput,
              gone + "\t찾을 수 없음 — 목록에서 지울 수 있어요\n");
    EXPECT_EQ(std::filesystem::last_write_time(store), modified);
    EXPECT_EQ(std::filesystem::file_size(store + "-wal"), 0u);
}

// With an app listening, the command line hands the verb over and prints the
// app's answer; its own store is never opened.
TEST_F(CommandLineTest, VerbsGoToTheRunningApp) {
    auto appStore = ModelContainer::open(temp.makeFolder("app") + "/default.store");
    PinStore store(appStore->mainContext(), PinService::makeDefault(),
                   std::make_shared<HeadlessDesktop>());
    int managerOpened = 0;
    store.openManager = [&] { ++managerOpened; };
    CommandHandler handler(store, true);

    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    CommandServer server;
    ASSERT_TRUE(server.listen(CommandChannel::socketPath()));
    auto a = folder("a");
    ProcessResult result, local;
    {
        std::jthread serving([&](std::stop_token stop) {
            while (!stop.stop_requested()) {
                server.serveOne([&](const CommandRequest& r) { return handler.handle(r); });
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        result = skyloom({"pin", "a", "missing"});
        local = skyloom({"list", "--json"});
    }

    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError, "missing \u2014 폴더를 찾을 수 없어요.\n");
    EXPECT_EQ(managerOpened, 1);
    ASSERT_EQ(store.fetchPins().size(), 1u);
    EXPECT_EQ(store.fetchPins()[0]->path(), a);
    EXPECT_EQ(accessTime(a), pinBaseDate);
    EXPECT_EQ(nlohmann::json::parse(local.standardOutput).size(), 1u);
    EXPECT_FALSE(
        std::filesystem::exists(data + "/brindle-engineering.Skyloom.direct/default.store"));
}

} // namespace
