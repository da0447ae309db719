#include "core/CommandChannel.h"
#include "core/CommandCodec.h"
#include "core/CommandServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace skyloom;
using namespace std::chrono_literals;

namespace {

// A string literal with its NUL bytes.
std::string operator""_b(const char* text, std::size_t size) {
    return std::string(text, size);
}

std::string framed(const std::string& payload) {
    std::uint32_t size = payload.size();
    return std::string{char(size >> 24), char(size >> 16), char(size >> 8), char(size)} + payload;
}

const CommandRequest oddRequest{
    {"pin", "", "a\0b"_b, "line\nbreak", "\xff\xfe\x80", std::string(100000, 'x')}};

// Points XDG_RUNTIME_DIR at a fresh folder for the test's lifetime.
class RuntimeDir : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR"))
            saved_ = old;
        ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    }
    void TearDown() override {
        if (saved_)
            ::setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }
    test::TempDir dir;
    std::optional<std::string> saved_;
};

// Serves `server` from a thread until destroyed, counting handler calls.
struct ServingThread {
    explicit ServingThread(CommandServer& server)
        : thread([this, &server] {
              while (!stop) {
                  pollfd entry{server.fileDescriptor(), POLLIN, 0};
                  if (::poll(&entry, 1, 20) > 0)
                      server.serveOne([this](const CommandRequest& request) {
                          ++calls;
                          return CommandResult{7, "out:" + request.arguments.at(0), "err\0\n"_b};
                      });
              }
          }) {}
    ~ServingThread() {
        stop = true;
        thread.join();
    }
    std::atomic<bool> stop{false};
    std::atomic<int> calls{0};
    std::thread thread;
};

// A raw client socket connected to `path`, sending `bytes` as they are.
int connectRaw(const std::string& path, const std::string& bytes) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    return fd;
}

// True when the server hangs up on `fd` without a byte of answer.
bool hungUpSilently(int fd) {
    char byte;
    // A hang-up with unread bytes arrives as a reset; either way no answer.
    bool silent = ::recv(fd, &byte, 1, 0) <= 0;
    ::close(fd);
    return silent;
}

} // namespace

TEST(CommandCodec, RoundTripsArbitraryBytes) {
    for (const CommandRequest& request : {oddRequest, CommandRequest{}})
        EXPECT_EQ(CommandCodec::decodeRequest(*CommandCodec::encode(request)), request);
    CommandResult result{-3, "\0ok\n"_b, "오류\xff\n"};
    auto frame = *CommandCodec::encode(result);
    EXPECT_EQ(CommandCodec::decodeResult(frame), result);
    // A result is never taken for a request, nor the other way round.
    EXPECT_FALSE(CommandCodec::decodeRequest(frame));
    EXPECT_FALSE(CommandCodec::decodeResult(*CommandCodec::encode(oddRequest)));
}

TEST(CommandCodec, RefusesEveryMalformedFrame) {
    std::string request = *CommandCodec::encode(CommandRequest{{"pin", "/a", ""}});
    std::string result = *CommandCodec::encode(CommandResult{1, "o", "e"});
    for (std::size_t length = 0; length < request.size(); ++length)
        EXPECT_FALSE(CommandCodec::decodeRequest(request.substr(0, length))) << length;
    for (std::size_t length = 0; length < result.size(); ++length)
        EXPECT_FALSE(CommandCodec::decodeResult(result.substr(0, length))) << length;
    EXPECT_FALSE(CommandCodec::decodeRequest(request + "x"));
    EXPECT_FALSE(CommandCodec::decodeRequest(framed(request.substr(4) + "x")));

    auto patched = [&](std::size_t at, std::string bytes) {
        return std::string(request).replace(at, bytes.size(), bytes);
    };
    EXPECT_FALSE(CommandCodec::decodeRequest(patched(4, "X")));                  // magic
    EXPECT_FALSE(CommandCodec::decodeRequest(patched(5, "\x02")));               // version
    EXPECT_FALSE(CommandCodec::decodeRequest(patched(0, "\xff\xff\xff\xff")));   // frame length
    EXPECT_FALSE(CommandCodec::payloadLength("\x00\x80\x00\x01"_b));             // above the limit
    EXPECT_FALSE(CommandCodec::decodeRequest(patched(7, "\x00\x00\x00\x04"_b))); // count
    EXPECT_FALSE(CommandCodec::decodeRequest(patched(7, "\xff\xff\xff\xff")));
    EXPECT_FALSE(CommandCodec::decodeRequest(patched(11, "\x00\x00\x01\x00"_b))); // argument length
    EXPECT_FALSE(CommandCodec::decodeRequest(patched(11, "\xff\xff\xff\xff")));

    // Limits hold on both ends.
    CommandRequest tooMany;
    tooMany.arguments.resize(CommandCodec::maxArguments + 1);
    EXPECT_FALSE(CommandCodec::encode(tooMany));
    std::string payload = "S\x01\x01\x00\x01\x00\x01"_b;
    payload.append(4 * tooMany.arguments.size(), '\0');
    EXPECT_FALSE(CommandCodec::decodeRequest(framed(payload)));
    EXPECT_TRUE(CommandCodec::decodeRequest(
        framed(payload.replace(3, 4, "\x00\x01\x00\x00"_b).erase(payload.size() - 4))));
    std::string huge(CommandCodec::maxPayloadSize, 'a');
    EXPECT_FALSE(CommandCodec::encode(CommandRequest{{huge}}));
    EXPECT_FALSE(CommandCodec::encode(CommandResult{0, huge, ""}));
}

TEST_F(RuntimeDir, SocketFolderIsPrivateToUs) {
    EXPECT_EQ(CommandChannel::socketPath(), dir.path() + "/skyloom/command.socket");
    struct stat info {};
    ASSERT_EQ(::stat((dir.path() + "/skyloom").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    ::chmod((dir.path() + "/skyloom").c_str(), 0770);
    EXPECT_THROW(CommandChannel::socketPath(), CommandChannelError);
    EXPECT_THROW(CommandChannel::send({{"list"}}, 1s), CommandChannelError);
    ::rmdir((dir.path() + "/skyloom").c_str());
    ::symlink(dir.makeFolder("elsewhere", 0700).c_str(), (dir.path() + "/skyloom").c_str());
    EXPECT_THROW(CommandChannel::socketPath(), CommandChannelError);
    ::unlink((dir.path() + "/skyloom").c_str());
    ::chmod(dir.makeFile("skyloom").c_str(), 0600);
    EXPECT_THROW(CommandChannel::socketPath(), CommandChannelError);
    if (::geteuid() == 0) {
        ::unlink((dir.path() + "/skyloom").c_str());
        ::chown(dir.makeFolder("skyloom", 0700).c_str(), 65534, 65534);
        EXPECT_THROW(CommandChannel::socketPath(), CommandChannelError);
    }

    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(CommandChannel::socketPath(),
              "/tmp/skyloom-" + std::to_string(::geteuid()) + "/command.socket");
}

TEST_F(RuntimeDir, RequestReachesTheRunningAppOrNobody) {
    std::string path = CommandChannel::socketPath();
    EXPECT_EQ(CommandChannel::send(oddRequest, 5s), std::nullopt); // no socket file

    { // A socket file whose server is gone.
        int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{AF_UNIX, {}};
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(stale);
    }
    EXPECT_EQ(CommandChannel::send(oddRequest, 5s), std::nullopt);

    CommandServer server;
    ASSERT_TRUE(server.listen(path));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    CommandServer rival;
    EXPECT_FALSE(rival.listen(path));
    {
        ServingThread serving(server);
        for (int round = 0; round < 2; ++round)
            EXPECT_EQ(CommandChannel::send(oddRequest, 10s),
                      (CommandResult{7, "out:pin", "err\0\n"_b}));
        EXPECT_EQ(serving.calls, 2);
    }
    server.close();
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
    EXPECT_TRUE(rival.listen(path));
}

TEST_F(RuntimeDir, MisbehavingClientsAreDroppedUnharmed) {
    std::string path = CommandChannel::socketPath();
    CommandServer server;
    ASSERT_TRUE(server.listen(path));
    ServingThread serving(server);
    EXPECT_TRUE(hungUpSilently(connectRaw(path, "\xff\xff\xff\xff")));
    EXPECT_TRUE(hungUpSilently(connectRaw(path, "\0\0\0\x05garbage"_b)));
    EXPECT_TRUE(hungUpSilently(connectRaw(path, "\0\0\0\x40partial"_b)));
    ::close(connectRaw(path, *CommandCodec::encode(oddRequest))); // leaves before the answer
    EXPECT_EQ(CommandChannel::send({{"list"}}, 20s)->standardOutput, "out:list");
    EXPECT_EQ(serving.calls, 2);
}

TEST(CommandServer, ServesOnlyOurOwnUser) {
    test::TempDir dir;
    std::string path = dir.path() + "/open.socket";
    CommandServer server;
    ASSERT_TRUE(server.listen(path));
    ::chmod(path.c_str(), 0666);
    ServingThread serving(server);
    std::string why;
    int status = test::runAsNobody(
        [&] {
            try {
                return CommandChannel::send(path, {{"list"}}, 10s) ? 1 : 2;
            } catch (const CommandChannelError&) {
                return 0;
            }
        },
        why);
    if (status < 0)
        GTEST_SKIP() << why;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(serving.calls, 0);
}

TEST(CommandChannel, AppThatTakesTheRequestButFailsToAnswerIsAnError) {
    test::TempDir dir;
    std::string path = dir.path() + "/mute.socket";
    for (std::string answer : {std::string(), "\0\0\0\x03SX\x02"_b}) {
        int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{AF_UNIX, {}};
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ::unlink(path.c_str());
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::listen(listener, 1);
        std::thread app([&] {
            int connection = ::accept(listener, nullptr, nullptr);
            CommandChannel::readFrame(connection, CommandChannel::Clock::now() + 5s);
            ::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
            ::close(connection);
        });
        EXPECT_THROW(CommandChannel::send(path, {{"pin", "/x"}}, 10s), CommandChannelError);
        app.join();
        CommandServer late; // a live server without our lock file is still left alone
        EXPECT_FALSE(late.listen(path));
        ::close(listener);
    }
}
