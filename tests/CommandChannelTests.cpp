#include "core/CommandChannel.h"
#include "core/CommandCodec.h"
#include "core/CommandServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace skyloom;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

// Neither decoder takes `frame`.
bool refused(const std::string& frame) {
    return !CommandCodec::decodeRequest(frame) && !CommandCodec::decodeResult(frame);
}

std::string framed(const std::string& payload) {
    std::uint32_t size = payload.size();
    return std::string{char(size >> 24), char(size >> 16), char(size >> 8), char(size)} + payload;
}

const CommandRequest oddRequest{
    {"pin", "", "a\0b"s, "line\nbreak", "\xff\xfe\x80", std::string(100000, 'x')}};
const std::string oddFrame = *CommandCodec::encode(oddRequest);

// A stream socket bound to (or else connected to) `path`.
int unixSocket(const std::string& path, bool bind) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    auto* to = reinterpret_cast<sockaddr*>(&address);
    EXPECT_EQ(bind ? ::bind(fd, to, sizeof address) : ::connect(fd, to, sizeof address), 0) << path;
    return fd;
}

// Sends `bytes` to `path` as they are and, when `wait`, tells whether any answer comes (a
// hang-up with unread bytes arrives as a reset).
bool answered(const std::string& path, const std::string& bytes, bool wait = true) {
    int fd = unixSocket(path, false);
    EXPECT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    char byte;
    bool answer = wait && ::recv(fd, &byte, 1, 0) > 0;
    ::close(fd);
    return answer;
}

// Serves `server` from a thread until the thread object goes, counting handler calls.
std::jthread serve(CommandServer& server, std::atomic<int>& calls) {
    return std::jthread([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            server.serveOne([&](const CommandRequest& request) {
                if (request.arguments.at(0) == "throw")
                    throw std::runtime_error("no answer");
                ++calls;
                return CommandResult{7, "out:" + request.arguments.at(0), "err\0\n"s};
            });
            std::this_thread::sleep_for(10ms); // serveOne returns at once when nobody waits
        }
    });
}

// Points XDG_RUNTIME_DIR at a fresh folder (every test that reads it sets it).
struct RuntimeDir : ::testing::Test {
    test::TempDir dir;
    RuntimeDir() { ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1); }
};

} // namespace

TEST(CommandCodec, RoundTripsArbitraryBytes) {
    for (const CommandRequest& request : {oddRequest, CommandRequest{}})
        EXPECT_EQ(CommandCodec::decodeRequest(*CommandCodec::encode(request)), request);
    CommandResult result{-3, "\0ok\n"s, "오류\xff\n"};
    auto frame = *CommandCodec::encode(result);
    EXPECT_EQ(CommandCodec::decodeResult(frame), result);
    // A result is never taken for a request, nor the other way round.
    EXPECT_FALSE(CommandCodec::decodeRequest(frame));
    EXPECT_FALSE(CommandCodec::decodeResult(oddFrame));
}

TEST(CommandCodec, RefusesEveryMalformedFrame) {
    std::string request = *CommandCodec::encode(CommandRequest{{"pin", "/a", ""}});
    std::string result = *CommandCodec::encode(CommandResult{1, "o", "e"});
    for (const std::string& frame : {request, result})
        for (std::size_t length = 0; length < frame.size(); ++length)
            EXPECT_TRUE(refused(frame.substr(0, length))) << length;
    EXPECT_TRUE(refused(request + "x"));
    EXPECT_TRUE(refused(framed(request.substr(4) + "x")));
    // Magic, version, frame length, argument count, argument length.
    std::string ff = "\xff\xff\xff\xff";
    const std::pair<std::size_t, std::string> patches[] = {
        {4, "X"}, {5, "\x02"}, {0, ff}, {7, "\0\0\0\x04"s}, {7, ff}, {11, "\0\0\x01\0"s}, {11, ff}};
    for (const auto& [at, bytes] : patches)
        EXPECT_TRUE(refused(std::string(request).replace(at, bytes.size(), bytes))) << at;
    EXPECT_FALSE(CommandCodec::payloadLength("\x00\x80\x00\x01"s)); // just above the limit

    // Limits hold on both ends.
    CommandRequest tooMany{std::vector<std::string>(CommandCodec::maxArguments + 1)};
    EXPECT_FALSE(CommandCodec::encode(tooMany));
    std::string payload = "S\x01\x01\x00\x01\x00\x01"s;
    payload.append(4 * tooMany.arguments.size(), '\0');
    EXPECT_TRUE(refused(framed(payload)));
    EXPECT_TRUE(CommandCodec::decodeRequest(
        framed(payload.replace(3, 4, "\x00\x01\x00\x00"s).erase(payload.size() - 4))));
    std::string huge(CommandCodec::maxPayloadSize, 'a');
    EXPECT_FALSE(CommandCodec::encode(CommandRequest{{huge}}));
    EXPECT_FALSE(CommandCodec::encode(CommandResult{0, huge, ""}));
}

TEST_F(RuntimeDir, SocketFolderIsPrivateToUs) {
    std::string folder = dir.path() + "/skyloom";
    EXPECT_EQ(CommandChannel::socketPath(), folder + "/command.socket");
    auto unsafe = [&] {
        EXPECT_THROW(CommandChannel::socketPath(), CommandChannelError);
        ::remove(folder.c_str());
    };
    // Open to others, a link to a folder of ours, a file, another user's folder.
    ::chmod(folder.c_str(), 0770);
    EXPECT_THROW(CommandChannel::send({{"list"}}, 1s), CommandChannelError);
    unsafe();
    ::symlink(dir.makeFolder("elsewhere", 0700).c_str(), folder.c_str());
    unsafe();
    ::chmod(dir.makeFile("skyloom").c_str(), 0600);
    unsafe();
    if (::geteuid() == 0) {
        ::chown(dir.makeFolder("skyloom", 0700).c_str(), 65534, 65534);
        unsafe();
    }
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(CommandChannel::socketPath(),
              "/tmp/skyloom-" + std::to_string(::geteuid()) + "/command.socket");
}

TEST_F(RuntimeDir, TheRunningAppAnswersOnlyUsAndOutlivesBadClients) {
    std::string path = CommandChannel::socketPath();
    EXPECT_EQ(CommandChannel::send(oddRequest, 5s), std::nullopt); // no socket file
    ::close(unixSocket(path, true));                               // one whose server is gone
    EXPECT_EQ(CommandChannel::send(oddRequest, 5s), std::nullopt);

    CommandServer server, rival;
    ASSERT_TRUE(server.listen(path));
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0600));
    EXPECT_FALSE(rival.listen(path));
    {
        std::atomic<int> calls = 0;
        std::jthread serving = serve(server, calls);
        // A huge length, garbage and a stall get no answer; the last client leaves early.
        for (std::string bytes : {"\xff\xff\xff\xff"s, "\0\0\0\x05garbage"s, "\0\0\0\x40partial"s})
            EXPECT_FALSE(answered(path, bytes)) << bytes;
        answered(path, oddFrame, false);
        // An app that takes the command and hangs up must not make the caller run it as well.
        EXPECT_THROW(CommandChannel::send({{"throw"}}, 10s), CommandChannelError);
        EXPECT_EQ(CommandChannel::send(oddRequest, 20s), (CommandResult{7, "out:pin", "err\0\n"s}));
        EXPECT_EQ(calls, 2);
    }
    server.close();
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
    EXPECT_TRUE(rival.listen(path));

    // Another user's client is not served, even once it can reach the socket.
    ::chmod((dir.path() + "/skyloom").c_str(), 0711);
    ::chmod(path.c_str(), 0666);
    std::atomic<int> calls = 0;
    std::jthread serving = serve(rival, calls);
    std::string why;
    int status = test::runAsNobody([&] { return int(answered(path, oddFrame)); }, why);
    if (status < 0)
        GTEST_SKIP() << why;
    EXPECT_EQ(calls, 0);
}

TEST_F(RuntimeDir, AppThatAnswersNonsenseIsAnError) {
    std::string path = dir.path() + "/odd.socket";
    int listener = unixSocket(path, true);
    ::listen(listener, 1);
    std::jthread app([&] {
        int connection = ::accept(listener, nullptr, nullptr);
        CommandChannel::readFrame(connection, CommandChannel::Clock::now() + 5s);
        ::send(connection, "\0\0\0\x03SX\x02", 7, MSG_NOSIGNAL);
        ::close(connection);
    });
    EXPECT_THROW(CommandChannel::send(path, {{"pin", "/x"}}, 10s), CommandChannelError);
    CommandServer late; // a live server without our lock file is still left alone
    EXPECT_FALSE(late.listen(path));
    app.join();
    ::close(listener);
}
