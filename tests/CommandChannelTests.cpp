#include "core/command/CommandChannel.h"
#include "core/command/CommandCodec.h"
#include "core/command/CommandServer.h"
#include "support/Sockets.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace skyloom;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

// Neither decoder takes `frame`.
bool refused(const std::string& frame) {
    return !CommandCodec::decodeRequest(frame) && !CommandCodec::decodeResult(frame);
}

const CommandRequest oddRequest{
    {"pin", "", "a\0b"s, "line\nbreak", "\xff\xfe\x80", std::string(100000, 'x')}};
const std::string oddFrame = *CommandCodec::encode(oddRequest);

// Sends `bytes` to `path` as they are and, when `wait`, tells whether any answer comes (a
// hang-up with unread bytes arrives as a reset).
bool answered(const std::string& path, const std::string& bytes, bool wait = true) {
    int fd = test::unixSocket(path, false);
    EXPECT_GE(fd, 0) << path;
    EXPECT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    char byte;
    bool answer = wait && ::recv(fd, &byte, 1, 0) > 0;
    ::close(fd);
    return answer;
}

// The file name of this test program: the peer the channel trusts when the
// server runs in this process.
const std::string self = std::filesystem::read_symlink("/proc/self/exe").filename().string();

// Serves `server` from a thread until the thread object goes, counting handler calls.
std::jthread serve(CommandServer& server, std::atomic<int>& calls) {
    return test::serveFromThread(server, [&](const CommandRequest& request) {
        if (request.arguments.at(0) == "throw")
            throw std::runtime_error("no answer");
        ++calls;
        return CommandResult{7, "out:" + request.arguments.at(0), "err\0\n"s};
    });
}

// Points XDG_RUNTIME_DIR at a fresh folder (every test that reads it sets it).
struct RuntimeDir : ::testing::Test {
    test::TempDir dir;
    RuntimeDir() { ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1); }
};

} // namespace

TEST(CommandCodec, RoundTripsArbitraryBytesAndRefusesEveryMalformedFrame) {
    const CommandRequest withToken{{"pin", "/a"}, "x11\0token\n"s, true};
    for (const CommandRequest& request : {oddRequest, CommandRequest{}, withToken})
        EXPECT_EQ(CommandCodec::decodeRequest(*CommandCodec::encode(request)), request);
    // An older command line's frame still decodes, without token or terminal.
    const std::string older = *CommandCodec::encodeFirstVersion(withToken);
    EXPECT_EQ(CommandCodec::requestVersion(older), 1);
    EXPECT_EQ(CommandCodec::decodeRequest(older), (CommandRequest{{"pin", "/a"}, "", false}));
    EXPECT_EQ(CommandCodec::requestVersion(*CommandCodec::encode(withToken)), 2);
    // The accepted frame is neither a request nor a result, nor anything else accepted.
    EXPECT_TRUE(CommandCodec::isAccepted(CommandCodec::acceptedFrame()));
    EXPECT_TRUE(refused(CommandCodec::acceptedFrame()));
    EXPECT_FALSE(CommandCodec::isAccepted(*CommandCodec::encode(CommandResult{})));
    const CommandResult result{-3, "\0ok\n"s, "오류\xff\n"};
    const std::string resultFrame = *CommandCodec::encode(result);
    EXPECT_EQ(CommandCodec::decodeResult(resultFrame), result);
    // A result is never taken for a request, nor the other way round, even where the bytes fit.
    EXPECT_FALSE(CommandCodec::decodeRequest(*CommandCodec::encode(CommandResult{2, "a", "b"})));
    EXPECT_FALSE(CommandCodec::decodeResult(*CommandCodec::encode(CommandRequest{{"a", "b"}})));

    const std::string request = *CommandCodec::encode(CommandRequest{{"pin", "/a", "x"}});
    for (const std::string& frame : {request, resultFrame})
        for (std::size_t length = 0; length < frame.size(); ++length)
            EXPECT_TRUE(refused(frame.substr(0, length))) << length;
    // Magic, an unknown version, argument count, first argument's length, a
    // token length beyond the frame, and an unknown flag.
    const std::string ff = "\xff\xff\xff\xff";
    const std::pair<std::size_t, std::string> patches[] = {{4, "X"},
                                                           {5, "\x03"},
                                                           {7, ff},
                                                           {11, ff},
                                                           {request.size() - 5, ff},
                                                           {request.size() - 1, "\x02"}};
    for (const auto& [at, bytes] : patches)
        EXPECT_TRUE(refused(std::string(request).replace(at, bytes.size(), bytes))) << at;
    EXPECT_FALSE(CommandCodec::payloadLength("\x00\x80\x00\x01"s)); // just above the limit
}

TEST_F(RuntimeDir, SocketFolderIsPrivateToUs) {
    using Reason = CommandChannelError::Reason;
    std::string folder = dir.path() + "/skyloom";
    EXPECT_EQ(CommandChannel::socketPath(), folder + "/command.socket");
    // The reason socketPath() refuses the place, told at once (none when it is taken).
    auto refusal = [&]() -> std::optional<Reason> {
        try {
            CommandChannel::socketPath();
        } catch (const CommandChannelError& error) {
            EXPECT_TRUE(error.nothingSent());
            return error.reason();
        }
        return std::nullopt;
    };
    // Made unsafe by `made` (0 on success): neither used nor passed over for the in-process run.
    auto unsafe = [&](int made, Reason reason) {
        EXPECT_EQ(made, 0);
        EXPECT_EQ(refusal(), reason);
        EXPECT_THROW(CommandChannel::send({{"list"}}, 1s), CommandChannelError);
        ::remove(folder.c_str());
    };
    // Open to others, a link to a folder of ours, a file, another user's folder.
    unsafe(::chmod(folder.c_str(), 0770), Reason::folderOpenToOthers);
    unsafe(::symlink(dir.makeFolder("elsewhere", 0700).c_str(), folder.c_str()),
           Reason::folderIsNotADirectory);
    unsafe(::chmod(dir.makeFile("skyloom").c_str(), 0600), Reason::folderIsNotADirectory);
    if (::geteuid() == 0)
        unsafe(::chown(dir.makeFolder("skyloom", 0700).c_str(), 65534, 65534),
               Reason::folderOfAnotherUser);
    // A runtime folder others may write to, where they could swap ours.
    ::chmod(dir.path().c_str(), 0777);
    EXPECT_EQ(refusal(), Reason::folderOpenToOthers);

    // Without XDG_RUNTIME_DIR, a place in our own cache folder, which no other user can
    // take first as they can a name in a shared, sticky folder.
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("XDG_CACHE_HOME", (dir.path() + "/cache").c_str(), 1);
    EXPECT_EQ(CommandChannel::socketPath(), dir.path() + "/cache/skyloom/command.socket");
    ::rmdir((dir.path() + "/cache/skyloom").c_str());
    // Another user who gets there first (a sticky, shared cache folder) is refused at once.
    ::chmod((dir.path() + "/cache").c_str(), 01777);
    std::string why;
    int status = test::runAsNobody(
        [&] { return ::mkdir((dir.path() + "/cache/skyloom").c_str(), 0700); }, why);
    ::unsetenv("XDG_CACHE_HOME");
    if (status < 0)
        GTEST_SKIP() << why;
    ASSERT_EQ(status, 0);
    ::setenv("XDG_CACHE_HOME", (dir.path() + "/cache").c_str(), 1);
    EXPECT_EQ(refusal(), Reason::folderOfAnotherUser);
    ::unsetenv("XDG_CACHE_HOME");
}

TEST_F(RuntimeDir, TheRunningAppAnswersOnlyUsAndOutlivesBadClients) {
    std::string path = CommandChannel::socketPath();
    EXPECT_EQ(CommandChannel::send(oddRequest, 5s), std::nullopt); // no socket file
    // An app that takes the command and answers nonsense must not make the
    // caller run it as well.
    int app = test::unixSocket(path, true);
    ASSERT_GE(app, 0);
    ::listen(app, 1);
    std::atomic<bool> requestSeen = false;
    std::jthread answering([&] {
        // The first caller does not trust a program other than the app and sends nothing.
        int connection = ::accept(app, nullptr, nullptr);
        char byte;
        EXPECT_EQ(::recv(connection, &byte, 1, 0), 0);
        ::close(connection);
        connection = ::accept(app, nullptr, nullptr);
        requestSeen =
            CommandChannel::readFrame(connection, CommandChannel::Clock::now() + 5s).has_value();
        ::send(connection, "\0\0\0\x03SX\x02", 7, MSG_NOSIGNAL);
        ::close(connection);
    });
    try {
        CommandChannel::send({{"pin", "/x"}}, 10s);
        ADD_FAILURE() << "another program was trusted";
    } catch (const CommandChannelError& error) {
        EXPECT_EQ(error.reason(), CommandChannelError::Reason::untrustedPeer);
    }
    try {
        CommandChannel::send(path, {{"pin", "/x"}}, 10s, self);
        ADD_FAILURE() << "a malformed answer was taken";
    } catch (const CommandChannelError& error) {
        EXPECT_FALSE(error.nothingSent());
    }
    EXPECT_FALSE(CommandServer().listen(path)); // live without our lock file, still left alone
    answering.join();
    EXPECT_TRUE(requestSeen);
    ::close(app);
    EXPECT_EQ(CommandChannel::send(oddRequest, 5s), std::nullopt); // its server is gone

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
        // An older command line that leaves before its answer (its command still runs).
        answered(path, *CommandCodec::encodeFirstVersion(oddRequest), false);
        // Nor must one that takes the command and hangs up.
        EXPECT_THROW(CommandChannel::send(path, {{"throw"}}, 10s, self), CommandChannelError);
        EXPECT_EQ(CommandChannel::send(path, oddRequest, 20s, self),
                  (CommandResult{7, "out:pin", "err\0\n"s}));
        EXPECT_EQ(calls, 2);
    }
    server.close();
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
    EXPECT_EQ(status, 0);
    EXPECT_EQ(calls, 0);
}
