#include "QtTestMain.h"
#include "app/views/LaunchAtLogin.h"
#include "support/TempDir.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace skyloom::app;
using namespace skyloom::test;

namespace {

TEST(LaunchAtLoginTest, TheAutostartEntryIsTheUsersAloneAndWaitsForThePanel) {
    TempDir temp;
    const std::string config = temp.path() + "/new/config";
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    const std::string entry = LaunchAtLogin::entryPath().toStdString();

    mode_t before = ::umask(0);
    auto error = LaunchAtLogin("/usr/bin").registerEntry();
    ::umask(before);
    ASSERT_FALSE(error) << error->toStdString();
    for (const std::string& path : {temp.path() + "/new", config, config + "/autostart", entry})
        EXPECT_EQ(modeOf(path) & 022, 0u) << path;
    const std::string text = readFile(entry);
    for (const char* line :
         {"\nExec=\"/usr/bin/skyloom\" --login-item\n", "\nIcon=engineering.brindle.Skyloom\n",
          "\nX-KDE-autostart-after=panel\n", "\nX-LXQt-Need-Tray=true\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(LaunchAtLogin("/usr/bin").status(), LaunchAtLogin::Status::enabled);

    // A FIFO in its place is neither waited on nor replaced.
    ASSERT_TRUE(LaunchAtLogin("/usr/bin").unregisterEntry() == std::nullopt);
    ASSERT_EQ(::mkfifo(entry.c_str(), 0600), 0);
    EXPECT_EQ(LaunchAtLogin("/usr/bin").status(), LaunchAtLogin::Status::notRegistered);
    EXPECT_TRUE(LaunchAtLogin("/usr/bin").registerEntry());
    EXPECT_TRUE(S_ISFIFO(modeOf(entry)));
}

} // namespace

int main(int argc, char** argv) {
    return runQtTests(argc, argv);
}
