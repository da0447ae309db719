#include "core/PinError.h"
#include "core/command/CommandChannel.h"
#include "core/command/CommandHandler.h"
#include "core/command/CommandServer.h"
#include "core/engine/FileSystemAddedDate.h"
#include "core/store/ModelContainer.h"
#include "core/store/PinStore.h"
#include "support/Sockets.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <list>
#include <map>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// Polls until `done` holds or thirty seconds pass, leaving the processor to
// the programs it waits for between looks.
template <typename Condition> bool eventually(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A Unix stream socket connected to `path` without waiting; closed on destruction.
struct Connection {
    int fd;
    explicit Connection(const std::string& path) : fd(unixSocket(path, false, SOCK_NONBLOCK)) {}
    ~Connection() { ::close(fd); }
};

class CommandLineTest : public ::testing::Test {
protected:
    TempDir temp;
    std::string data = temp.makeFolder("data");
    std::string runtime = temp.makeFolder("runtime", 0700);
    std::string work = temp.makeFolder("work");
    std::string socket = runtime + "/skyloom/command.socket";
    std::map<std::string, std::string> environment{
        {"XDG_DATA_HOME", data},
        {"XDG_RUNTIME_DIR", runtime},
        {"HOME", temp.makeFolder("home", 0700)},
        {"XDG_CONFIG_HOME", temp.makeFolder("home/.config", 0700)},
        {"XDG_CACHE_HOME", temp.makeFolder("home/.cache", 0700)},
        {"QT_QPA_PLATFORM", "offscreen"},
        {"SKYLOOM_ENTRY", ""},
        {"LC_ALL", ""},
        {"LC_MESSAGES", ""}};
    pid_t app = 0;

    ~CommandLineTest() override { stopApp(); }

    // In a Korean session unless `language` says otherwise.
    ProcessResult skyloom(const std::vector<std::string>& arguments,
                          const std::string& language = "ko_KR.UTF-8",
                          const std::string& folder = "", const std::string& errorFile = "") {
        auto variables = environment;
        variables["LANGUAGE"] = "";
        variables["LC_ALL"] = "";
        variables["LC_MESSAGES"] = "";
        variables["LANG"] = language;
        return runProcess(SKYLOOM_CLI, arguments, variables, folder.empty() ? work : folder,
                          errorFile);
    }

    // The real app, started the way a file-manager entry starts it; false
    // when it was not built or does not start.
    bool startApp(ProcessResult* firstAnswer = nullptr) {
        if (!std::filesystem::exists(std::filesystem::path(SKYLOOM_CLI).parent_path() /
                                     "skyloom-app"))
            return false;
        // The app outlives the command line that starts it: it comes back to
        // this process, which ends it.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        environment["SKYLOOM_ENTRY"] = "thunar";
        auto result = skyloom({"list"});
        environment["SKYLOOM_ENTRY"] = "";
        if (firstAnswer)
            *firstAnswer = result;
        Connection probe(socket);
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(probe.fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.pid <= 0)
            return false;
        app = peer.pid;
        return true;
    }

    void stopApp() {
        if (app <= 0)
            return;
        ::kill(app, SIGTERM);
        int status = 0;
        ::waitpid(app, &status, 0);
        app = 0;
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
    EXPECT_NE(help.standardOutput.find("\n  skyloom --login-item         "), std::string::npos);

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
    // Korean in a Korean session, English in another (which session takes
    // which is the app's rule, checked with the app's tests).
    auto english = skyloom({"pin", "/nonexistent", "bogus"}, "C");
    EXPECT_EQ(english.standardError, "nonexistent \u2014 Folder not found.\n"
                                     "bogus \u2014 Folder not found.\n");
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
    Unmount unmount{mountPoint};
    ASSERT_EQ(::mkdir((mountPoint + "/inside").c_str(), 0755), 0);
    ASSERT_EQ(::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);

    auto result = skyloom({"pin", mountPoint + "/inside"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(
        result.standardError,
        "inside \u2014 " +
            PinError::unsupportedVolume(PinError::VolumeProblem::readOnly).errorDescription() +
            "\n");
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
    const std::string waiting = "다른 Skyloom 명령이 끝나기를 기다리는 중이에요…\n";
    {
        // Held, as a long command would, until every command has said it waits.
        auto held = StoreLock::acquire(dir + "/default.store");
        std::vector<std::thread> commands;
        auto said = [&](std::size_t i) { return temp.path() + "/said" + std::to_string(i); };
        for (std::size_t i = 0; i < folders.size(); ++i)
            commands.emplace_back([&, i] {
                results[i] = skyloom({"pin", folders[i]}, "ko_KR.UTF-8", "", said(i));
            });
        EXPECT_TRUE(eventually([&] {
            for (std::size_t i = 0; i < folders.size(); ++i)
                if (readFile(said(i)).rfind(waiting, 0) != 0)
                    return false;
            return true;
        }));
        held.reset();
        for (auto& command : commands)
            command.join();
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        EXPECT_EQ(results[i].exitStatus, 0) << results[i].standardError;
        EXPECT_EQ(results[i].standardError, waiting) << i;
        EXPECT_GE(accessTime(folders[i]), pinnedThreshold);
    }
    EXPECT_EQ(listed().size(), 20u);
}

// An app starting just as a command runs takes the store for its whole
// session: the command waiting for the store hands its request over as soon
// as the app listens, rather than wait out the minute and fail.
TEST_F(CommandLineTest, ACommandWaitingOnAStartingAppIsAnsweredByIt) {
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    environment["SKYLOOM_TEST_APP_PROGRAM"] =
        std::filesystem::read_symlink("/proc/self/exe").filename().string();
    auto dir = data + "/brindle-engineering.Skyloom.direct";
    std::filesystem::create_directories(dir);
    auto starting = StoreLock::acquire(dir + "/default.store");
    const auto target = folder("t");
    const std::string said = temp.path() + "/said";
    ProcessResult result;
    std::thread command([&] { result = skyloom({"pin", target}, "ko_KR.UTF-8", "", said); });
    EXPECT_TRUE(eventually([&] { return !readFile(said).empty(); })); // it waits for the store

    CommandServer server;
    ASSERT_TRUE(server.listen(CommandChannel::socketPath()));
    std::vector<CommandRequest> received;
    {
        std::jthread serving = serveFromThread(server, [&](const CommandRequest& request) {
            received.push_back(request);
            return CommandResult{0, "", ""};
        });
        command.join();
    }
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].arguments.front(), "pin");
    EXPECT_LT(accessTime(target), pinnedThreshold); // done by the app, not here
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
    EXPECT_EQ(std::filesystem::file_size(store + "-wal"), 0u); // the log stays empty
}

// A file-manager entry with no app running starts one and hands its request
// over, so the app's window shows the failures.
TEST_F(CommandLineTest, AnEntryStartsTheAppAndHandsItsRequestOver) {
    auto a = folder("a");
    ProcessResult first;
    if (!startApp(&first))
        GTEST_SKIP() << "skyloom-app is not built or cannot start here";
    EXPECT_EQ(first.exitStatus, 0) << first.standardError;
    EXPECT_EQ(first.standardOutput, "고정된 폴더가 없어요\n");

    // Relative and /proc/self paths mean the caller's folders, not those of the app, which
    // runs in `work`.
    auto b = folder("a/b");
    auto decoy = folder("b");
    auto result =
        skyloom({"pin", "b", "/proc/self/cwd/b", "/proc/self/cwd/gone"}, "ko_KR.UTF-8", a);
    EXPECT_EQ(result.exitStatus, 1);
    // Nothing waited for the store, which the app holds.
    EXPECT_EQ(result.standardError,
              "b \u2014 이미 고정된 폴더예요.\ngone \u2014 폴더를 찾을 수 없어요.\n");
    EXPECT_GE(accessTime(b), pinnedThreshold);
    auto pins = listed();
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_EQ(pins[0]["path"], b);
    EXPECT_NEAR(accessTime(decoy), march2024, 1e-6);
}

// The app holds the store: socket trouble is told at once with what to fix,
// and a flood of connections from this user slows commands without failing one.
TEST_F(CommandLineTest, TheRunningAppOutlastsAFloodAndItsSocketTroubleIsToldAtOnce) {
    if (!startApp())
        GTEST_SKIP() << "skyloom-app is not built or cannot start here";
    std::vector<std::string> folders;
    for (int i = 0; i < 8; ++i)
        folders.push_back(folder("f" + std::to_string(i)));
    std::vector<ProcessResult> results(folders.size());
    {
        // Idle connections, far more than the app holds at once, kept coming
        // until every command is done.
        std::atomic<bool> done = false;
        std::jthread flood([&] {
            std::list<Connection> idle;
            for (int opened = 0; !done && opened < 3000; ++opened) {
                idle.emplace_back(socket);
                if (idle.size() > 400)
                    idle.pop_front();
            }
        });
        std::vector<std::jthread> commands;
        for (std::size_t i = 0; i < folders.size(); ++i)
            commands.emplace_back([&, i] { results[i] = skyloom({"pin", folders[i]}); });
        for (auto& command : commands)
            command.join();
        done = true;
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        EXPECT_EQ(results[i].exitStatus, 0) << results[i].standardError;
        EXPECT_GE(accessTime(folders[i]), pinnedThreshold);
    }

    // A folder others can open: one line at once, and what to fix, since the app holds the
    // store (no wait on it).
    ASSERT_EQ(::chmod((runtime + "/skyloom").c_str(), 0777), 0);
    auto result = skyloom({"list"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError,
              "Skyloom 앱과 연결하는 폴더를 다른 사용자도 열 수 있어서 쓰지 않았어요: " + runtime +
                  "/skyloom\n실행 중인 Skyloom 앱이 고정 목록을 쓰고 있어 명령을 실행하지 "
                  "않았어요. 이 경로를 지우고 Skyloom 앱을 다시 시작해 주세요: " +
                  runtime + "/skyloom\n");
}

// A second start hands the launcher's token to the running app (here this
// test, named as the app) instead of starting another.
TEST_F(CommandLineTest, ASecondStartHandsTheLaunchersTokenOver) {
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    CommandServer server;
    ASSERT_TRUE(server.listen(CommandChannel::socketPath()));
    environment["SKYLOOM_TEST_APP_PROGRAM"] =
        std::filesystem::read_symlink("/proc/self/exe").filename().string();
    std::vector<CommandRequest> received;
    std::vector<ProcessResult> results;
    {
        std::jthread serving = serveFromThread(server, [&](const CommandRequest& request) {
            received.push_back(request);
            return CommandResult{};
        });
        environment["DESKTOP_STARTUP_ID"] = "x11-id";
        results.push_back(skyloom({}));
        environment["XDG_ACTIVATION_TOKEN"] = "wayland-token";
        results.push_back(skyloom({"--login-item"}));
    }
    for (const auto& result : results)
        EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(received, (std::vector<CommandRequest>{{{}, "x11-id", false},
                                                     {{"--login-item"}, "wayland-token", false}}));
}

// With no app, a socket folder or socket that cannot be trusted is told in
// one line and the command runs here.
TEST_F(CommandLineTest, SocketTroubleIsToldAtOnceThenTheCommandRunsHere) {
    const std::string folderOfSocket = runtime + "/skyloom";
    const std::string prefix = "Skyloom 앱과 연결하는 ";
    auto pinsHere = [&](const std::string& name, const std::string& line) {
        auto path = folder(name);
        auto result = skyloom({"pin", path});
        EXPECT_EQ(result.exitStatus, 0) << name;
        EXPECT_EQ(result.standardError, prefix + line + "\n") << name;
        EXPECT_GE(accessTime(path), pinnedThreshold) << name;
        skyloom({"unpin", path});
    };
    // A link to a folder of ours.
    ASSERT_EQ(::symlink(temp.makeFolder("elsewhere", 0700).c_str(), folderOfSocket.c_str()), 0);
    pinsHere("link", "폴더가 링크이거나 폴더가 아니라서 쓰지 않았어요: " + folderOfSocket);
    ::unlink(folderOfSocket.c_str());
    // Another user's folder.
    temp.makeFolder("runtime/skyloom", 0700);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folderOfSocket.c_str(), 65534, 65534), 0);
        pinsHere("owned", "폴더가 다른 사용자의 것이라서 쓰지 않았어요: " + folderOfSocket);
        ASSERT_EQ(::chown(folderOfSocket.c_str(), 0, 0), 0);
    }
    // A socket that leads to another program, which answers anything: it is sent nothing.
    std::string other = temp.makeFolder("other") + "/other.socket";
    int listener = unixSocket(other, true);
    ASSERT_GE(listener, 0);
    ::listen(listener, 4);
    ASSERT_EQ(::symlink(other.c_str(), socket.c_str()), 0);
    std::string received;
    std::jthread answering([&] {
        int connection = ::accept(listener, nullptr, nullptr);
        ::send(connection, "\0\0\0\x03S\x02\x02", 7, MSG_NOSIGNAL);
        char buffer[256];
        for (ssize_t got; (got = ::recv(connection, buffer, sizeof buffer, 0)) > 0;)
            received.append(buffer, std::size_t(got));
        ::close(connection);
    });
    pinsHere("peer",
             "소켓 너머에 이 사용자의 Skyloom 앱이 없어서 명령을 보내지 않았어요: " + socket);
    answering.join();
    ::close(listener);
    EXPECT_EQ(received, "");
}

// Without an app to show them, an entry's failures reach a desktop
// notification, and the command still runs.
TEST_F(CommandLineTest, AnEntryWhoseAppCannotStartNotifies) {
    // The command line alone, without the app beside it.
    std::string alone = temp.makeFolder("alone") + "/skyloom";
    std::filesystem::copy_file(SKYLOOM_CLI, alone);
    std::string tools = temp.makeFolder("tools");
    std::string said = temp.path() + "/notification";
    writeFile(tools + "/notify-send", "#!/bin/sh\nprintf '%s|' \"$@\" > '" + said + ".part'\nmv '" +
                                          said + ".part' '" + said + "'\n");
    ::chmod((tools + "/notify-send").c_str(), 0755);
    auto a = folder("a");
    auto variables = environment;
    variables["SKYLOOM_ENTRY"] = "nautilus";
    variables["PATH"] = tools + ":" + std::getenv("PATH");
    variables["LANG"] = "en_US.UTF-8";
    auto result = runProcess(alone, {"pin", a, "missing"}, variables, work);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError, "missing \u2014 Folder not found.\n");
    EXPECT_EQ(accessTime(a), pinBaseDate);
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(said); }));
    EXPECT_EQ(readFile(said), "--app-name=Skyloom|Skyloom|The Skyloom app couldn't be started, so "
                              "the command ran without it.\nmissing \u2014 Folder not found.\n|");
}

// An answer from the stand-in list in memory says so and fails.
TEST_F(CommandLineTest, AnAnswerFromATemporaryListSaysSo) {
    if (::mount("skyloom-test", data.c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs (needs root)";
    Unmount unmount{data};
    auto result = skyloom({"list"}, "en_US.UTF-8");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError.substr(0, 82),
              "This answer comes from a temporary list: the saved pin list couldn't be opened.\n");
}

} // namespace
