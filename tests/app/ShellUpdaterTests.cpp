// The update checker against a local HTTP server, and Sparkle's version order.

#include "app/shell/Appcast.h"
#include "app/shell/DirectUpdater.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "QtTestMain.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace skyloom::app;
using Kind = DirectUpdater::Outcome::Kind;

namespace {

QByteArray appcast(const QByteArray& version) {
    return R"x(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Skyloom</title><ttl>120</ttl>
<item><title>Windows build</title><sparkle:version>99.0</sparkle:version>
  <enclosure url="https://example.org/s.exe" sparkle:os="windows"/></item>
<item><title>Beta</title><sparkle:version>50.0</sparkle:version>
  <sparkle:channel>beta</sparkle:channel></item>
<item><title>Release</title><link>https://example.org/</link>
  <sparkle:releaseNotesLink>https://example.org/notes.html</sparkle:releaseNotesLink>
  <enclosure url="https://example.org/s.tar.gz" sparkle:os="linux" sparkle:version=")x" +
           version + R"x(" sparkle:shortVersionString=")x" + version + R"x( (Linux)"/></item>
</channel></rss>)x";
}

// Serves one canned answer per path; "/slow" never answers.
class FeedServer : public QTcpServer {
public:
    FeedServer() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    QByteArray path = socket->readAll().split(' ').value(1);
                    if (path == "/slow")
                        return;
                    QByteArray body = bodies.value(path);
                    QByteArray head =
                        path == "/missing" ? "HTTP/1.1 404 Not Found\r\n" : "HTTP/1.1 200 OK\r\n";
                    // The large feed declares no length: the cap must hold while reading.
                    if (path != "/huge")
                        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
                    socket->write(head + "Connection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
            }
        });
        bodies["/newer"] = appcast("0.2.0");
        bodies["/same"] = appcast("0.1.0");
        bodies["/older"] = appcast("0.0.9");
        bodies["/malformed"] = appcast("0.2.0").left(300);
        bodies["/huge"] = QByteArray(DirectUpdater::maxFeedSize + 4096, 'x');
        // Markup and insecure links from the feed.
        bodies["/markup"] = R"x(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><item><sparkle:version>9.0</sparkle:version>
  <sparkle:shortVersionString>&lt;h1&gt;9.0&lt;/h1&gt;</sparkle:shortVersionString>
  <sparkle:releaseNotesLink>http://example.org/notes.html</sparkle:releaseNotesLink>
</item></channel></rss>)x";
        listen(QHostAddress::LocalHost);
    }
    QUrl url(const char* path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
    }
    QMap<QByteArray, QByteArray> bodies;
    int connections = 0;
};

DirectUpdater::Feed local(const FeedServer& server, const char* path) {
    return {server.url(path), /*allowPlainHttp=*/true};
}

struct Shown {
    DirectUpdater::Outcome outcome;
    bool userStarted;
};

std::vector<Shown> check(DirectUpdater& updater) {
    std::vector<Shown> shown;
    updater.setPresenter([&](const auto& outcome, bool user) { shown.push_back({outcome, user}); });
    updater.checkForUpdates();
    (void)QTest::qWaitFor([&] { return !shown.empty(); }, 10000);
    return shown;
}

TEST(ShellUpdaterTest, ReportsNewerSameOlderAndEveryFailure) {
    FeedServer server;
    const std::map<const char*, Kind> expected{
        {"/newer", Kind::newer},      {"/same", Kind::current}, {"/older", Kind::current},
        {"/malformed", Kind::failed}, {"/huge", Kind::failed},  {"/slow", Kind::failed},
        {"/missing", Kind::failed},
    };
    std::map<const char*, QString> reasons;
    for (const auto& [path, kind] : expected) {
        DirectUpdater updater(local(server, path));
        updater.setCurrentVersion("0.1.0");
        updater.setTransferTimeout(500);
        auto shown = check(updater);
        ASSERT_EQ(shown.size(), 1u) << path;
        EXPECT_EQ(shown[0].outcome.kind, kind) << path;
        EXPECT_TRUE(shown[0].userStarted);
        reasons[path] = shown[0].outcome.reason;
        if (kind == Kind::newer) {
            EXPECT_EQ(shown[0].outcome.version, "0.2.0 (Linux)");
            EXPECT_EQ(shown[0].outcome.releaseNotes, QUrl("https://example.org/notes.html"));
        }
    }
    // Each failure says what went wrong, in words of its own.
    QSet<QString> distinct;
    for (const char* path : {"/malformed", "/huge", "/slow", "/missing"})
        distinct.insert(reasons[path]);
    EXPECT_EQ(distinct.size(), 4);
    EXPECT_FALSE(distinct.contains(QString()));

    // Outside tests, only https is read; the built-in feed is https.
    DirectUpdater plain({server.url("/newer")});
    auto shown = check(plain);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].outcome.kind, Kind::failed);
    EXPECT_EQ(DirectUpdater().feedUrl().scheme(), "https");
}

TEST(ShellUpdaterTest, OneCheckAtATimeAndFeedValuesStayText) {
    FeedServer server;
    DirectUpdater updater(local(server, "/markup"));
    std::vector<bool> checking;
    QObject::connect(&updater, &DirectUpdater::checkingChanged,
                     [&](bool now) { checking.push_back(now); });
    updater.checkForUpdates();
    EXPECT_TRUE(updater.isChecking());
    updater.checkForUpdates(); // while the first runs
    ASSERT_TRUE(QTest::qWaitFor([&] { return !updater.isChecking(); }, 10000));
    EXPECT_EQ(server.connections, 1);
    EXPECT_EQ(checking, (std::vector<bool>{true, false}));

    // Shown as written, with no link to an http page.
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if ((box = qobject_cast<QMessageBox*>(widget)))
                    return true;
            return false;
        },
        10000));
    EXPECT_TRUE(box->text().contains("<h1>9.0</h1>")) << box->text().toStdString();
    const auto labels = box->findChildren<QLabel*>();
    ASSERT_FALSE(labels.empty());
    for (QLabel* label : labels)
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
    EXPECT_EQ(box->buttons().size(), 1); // Ok alone
    delete box;

    auto feed = Appcast::parse(server.bodies["/markup"]);
    ASSERT_TRUE(feed);
    ASSERT_EQ(feed->items.size(), 1u);
    EXPECT_EQ(feed->items[0].displayVersion, "<h1>9.0</h1>");
    EXPECT_TRUE(feed->items[0].releaseNotes.isEmpty());
}

TEST(ShellUpdaterTest, CheckAtStartHonoursTheFeedsInterval) {
    QSettings("brindle-engineering", "Skyloom").clear();
    FeedServer server;
    int checks = 0;
    for (int start = 0; start < 2; ++start) {
        DirectUpdater updater(local(server, "/same"));
        updater.setPresenter([&](const auto&, bool user) {
            EXPECT_FALSE(user);
            ++checks;
        });
        updater.startUpdater();
        updater.startUpdater(); // once per process
        // The feed asks for two hours between checks: the second start decides
        // at once to stay quiet.
        EXPECT_EQ(updater.isChecking(), start == 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !updater.isChecking(); }, 10000));
    }
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(server.connections, 1);

    qputenv("XCTestConfigurationFilePath", "1");
    DirectUpdater quiet;
    quiet.startUpdater();
    EXPECT_EQ(quiet.controller(), nullptr);
    qunsetenv("XCTestConfigurationFilePath");
}

TEST(ShellUpdaterTest, VersionsCompareAsSparkleDoes) {
    const std::vector<std::pair<const char*, const char*>> older{
        {"1.0b1", "1.0"}, {"1.0", "1.0.1"}, {"1.9", "1.10"},
        {"1.0a", "1.0b"}, {"1.0", "1.0.0"}, {"1", "99999999999999999999999"},
        {"", "0"},
    };
    for (const auto& [a, b] : older) {
        EXPECT_LT(compareVersions(a, b), 0) << a << " < " << b;
        EXPECT_GT(compareVersions(b, a), 0) << b << " > " << a;
    }
    EXPECT_EQ(compareVersions("2.1.3", "2.1.3"), 0);
    EXPECT_EQ(compareVersions("1-2", "1.2"), 0); // every separator is alike

    EXPECT_FALSE(Appcast::parse("<html><body/></html>"));
    EXPECT_FALSE(Appcast::parse(""));
    auto feed = Appcast::parse(appcast("3.0"));
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->checkIntervalSeconds, 7200);
    ASSERT_EQ(feed->items.size(), 1u);
}

} // namespace

int main(int argc, char** argv) {
    return runQtTests(argc, argv, /*ownSettings=*/true);
}
