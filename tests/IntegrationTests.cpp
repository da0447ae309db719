#include "core/integration/FileManagerEntries.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <sys/stat.h>

using namespace skyloom;
using namespace skyloom::test;
namespace fs = std::filesystem;

namespace {

// A folder name that breaks any entry through which it reaches a shell.
const std::string hostile = "a b 'q' \"d\" $(touch pwned) `touch pwned2` %F\nline";

const std::string userActions =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action>\n"
    "\t<name>Open Terminal &amp; Here</name>\n\t<unique-id>1590000000000000-1</unique-id>\n"
    "\t<command>exo-open --working-directory %f</command>\n\t<directories/>\n</action>\n"
    "<!-- the user's note -->\n</actions>\n";

class IntegrationTest : public ::testing::Test {
protected:
    TempDir temp;
    FileManagerEntries::Locations locations{
        temp.makeFolder("data"), temp.makeFolder("config"), {temp.makeFolder("xdg")}};
    FileManagerEntries entries{locations};
    // A stand-in for the command line, in a folder whose name needs quoting
    // too; it records its working folder and arguments, NUL-separated.
    std::string recorded = temp.path() + "/argv";
    std::string program =
        temp.makeFile("bin $x 'q' \"%%\"/skyloom",
                      "#!/bin/sh\n{ printf '%s\\0' \"$PWD\" \"$@\"; } > '" + recorded + "'\n");
    std::string work = temp.makeFolder("work");
    std::string folder = temp.makeFolder("work/" + hostile);

    void SetUp() override { ::chmod(program.c_str(), 0755); }

    std::vector<std::string> recordedArguments() {
        std::vector<std::string> arguments;
        std::istringstream in(readFile(recorded));
        for (std::string argument; std::getline(in, argument, '\0');)
            arguments.push_back(argument);
        fs::remove(recorded);
        return arguments;
    }
};

// Runs an entry's command line with `files` for %F the way the file managers
// do: by /bin/sh with each name single-quoted (Thunar), or split by the
// Desktop Entry quoting rules, which within double quotes are the shell's.
ProcessResult runEntry(const std::string& command, const std::vector<std::string>& files,
                       const std::string& work) {
    std::string line;
    for (std::size_t i = 0; i < command.size(); ++i) {
        if (command[i] != '%' || i + 1 == command.size()) {
            line += command[i];
        } else if (command[++i] == 'F') {
            for (const auto& file : files) {
                line += " '";
                for (char c : file)
                    line += c == '\'' ? std::string("'\\''") : std::string(1, c);
                line += "'";
            }
        } else {
            line += command[i];
        }
    }
    return runProcess("/bin/sh", {"-c", line}, {}, work);
}

// The Exec key of one action of a desktop file, its string escapes undone.
std::string desktopExec(const std::string& file, const std::string& action) {
    std::istringstream in(readFile(file));
    std::string line, exec;
    bool inAction = false;
    while (std::getline(in, line)) {
        if (line.starts_with("["))
            inAction = line == "[Desktop Action " + action + "]";
        else if (inAction && line.starts_with("Exec="))
            exec = line.substr(5);
    }
    std::string value;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i] == '\\' && i + 1 < exec.size() ? exec[++i] : '\0';
        value += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c ? c : exec[i];
    }
    return value;
}

TEST_F(IntegrationTest, EveryEntryHandsHostileNamesOnAsArguments) {
    auto outcomes = entries.write(program);
    ASSERT_EQ(outcomes.size(), 5u);
    for (const auto& outcome : outcomes) {
        EXPECT_FALSE(outcome.error) << outcome.fileManager << ": " << *outcome.error;
        EXPECT_FALSE(outcome.files.empty()) << outcome.fileManager;
    }
    const std::vector<std::string> pinned{work, "pin", "--", folder};

    // Dolphin: an executable service menu for folders.
    auto menu = locations.dataHome + "/kio/servicemenus/skyloom.desktop";
    struct stat info {};
    ASSERT_EQ(::stat(menu.c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IXUSR);
    EXPECT_EQ(runEntry(desktopExec(menu, "skyloomPin"), {folder}, work).exitStatus, 0);
    EXPECT_EQ(recordedArguments(), pinned);
    runEntry(desktopExec(menu, "skyloomUnpin"), {folder, work}, work);
    EXPECT_EQ(recordedArguments(), (std::vector<std::string>{work, "unpin", "--", folder, work}));

    // Nautilus, Nemo and Caja: scripts named by their titles, run in the
    // folder shown with the selected names as arguments.
    for (const auto& scripts :
         {locations.dataHome + "/nautilus/scripts", locations.dataHome + "/nemo/scripts",
          locations.configHome + "/caja/scripts"}) {
        auto result = runProcess(scripts + "/Skyloom으로 맨 위에 고정", {hostile}, {}, work);
        EXPECT_EQ(result.exitStatus, 0) << scripts << result.standardError;
        EXPECT_EQ(recordedArguments(), (std::vector<std::string>{work, "pin", "--", hostile}));
    }

    // Thunar: each path shell-quoted in place of %F, the command run by
    // /bin/sh -c.
    auto uca = readFile(locations.configHome + "/Thunar/uca.xml");
    auto begin = uca.find("<command>", uca.find("<unique-id>skyloom-pin</unique-id>"));
    auto end = uca.find("</command>", begin);
    EXPECT_EQ(runEntry(uca.substr(begin + 9, end - begin - 9), {folder}, work).exitStatus, 0);
    EXPECT_EQ(recordedArguments(), pinned);
    EXPECT_FALSE(fs::exists(work + "/pwned") || fs::exists(work + "/pwned2"));

    // Writing again replaces ours and adds nothing.
    entries.write(program);
    EXPECT_EQ(readFile(locations.configHome + "/Thunar/uca.xml"), uca);
}

TEST_F(IntegrationTest, TheUsersOwnFilesStayAsTheyWere) {
    // Kept with the user's other settings, and linked to.
    auto uca = temp.path() + "/dotfiles/uca.xml";
    writeFile(uca, userActions);
    auto link = locations.configHome + "/Thunar/uca.xml";
    fs::create_directories(fs::path(link).parent_path());
    fs::create_symlink(uca, link);
    auto ownScript = locations.dataHome + "/nautilus/scripts/My script";
    writeFile(ownScript, "#!/bin/sh\necho mine\n");
    // A file of the user's where ours would go is kept, and reported.
    auto sameName = locations.configHome + "/caja/scripts/Skyloom 고정 해제";
    writeFile(sameName, "#!/bin/sh\necho also mine\n");

    auto written = entries.write(program);
    EXPECT_NE(readFile(uca).find("skyloom-unpin"), std::string::npos);
    EXPECT_EQ(readFile(uca).find(userActions.substr(0, userActions.size() - 11)), 0u);
    EXPECT_TRUE(written[3].error);
    EXPECT_EQ(written[3].files.size(), 1u);
    EXPECT_EQ(readFile(sameName), "#!/bin/sh\necho also mine\n");

    for (const auto& outcome : entries.remove())
        EXPECT_FALSE(outcome.error) << outcome.fileManager;
    EXPECT_EQ(readFile(uca), userActions);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(ownScript), "#!/bin/sh\necho mine\n");
    EXPECT_EQ(readFile(sameName), "#!/bin/sh\necho also mine\n");
    EXPECT_FALSE(fs::exists(locations.dataHome + "/kio/servicemenus/skyloom.desktop"));
    for (const auto& outcome : entries.remove())
        EXPECT_TRUE(outcome.files.empty());
}

TEST_F(IntegrationTest, ThunarFilesAreSeededFromTheSystemAndLeftAloneWhenDamaged) {
    // Without a file of the user's, Thunar shows the system's actions; they
    // stay once ours are added.
    writeFile(locations.configDirs[0] + "/Thunar/uca.xml", userActions);
    entries.write(program);
    auto uca = locations.configHome + "/Thunar/uca.xml";
    EXPECT_NE(readFile(uca).find("Open Terminal &amp; Here"), std::string::npos);
    EXPECT_NE(readFile(uca).find("skyloom-pin"), std::string::npos);

    for (const std::string& damaged :
         {userActions.substr(0, userActions.size() - 5), std::string("<actions><action></actions>"),
          std::string("not xml at all"), userActions + "<actions></actions>\n"}) {
        writeFile(uca, damaged);
        for (const auto& outcomes : {entries.write(program), entries.remove()}) {
            EXPECT_TRUE(outcomes[4].error) << damaged;
            EXPECT_NE(outcomes[4].error->find(uca), std::string::npos);
            EXPECT_FALSE(outcomes[0].error);
        }
        EXPECT_EQ(readFile(uca), damaged);
    }
}

TEST_F(IntegrationTest, TheCommandLineWritesAndRemovesTheEntries) {
    std::map<std::string, std::string> environment{{"XDG_DATA_HOME", locations.dataHome},
                                                   {"XDG_CONFIG_HOME", locations.configHome},
                                                   {"XDG_CONFIG_DIRS", locations.configDirs[0]},
                                                   {"LC_ALL", "ko_KR.UTF-8"}};
    auto result = runProcess(SKYLOOM_CLI, {"integrate"}, environment);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    // The entries run the command line installed beside the one that wrote them.
    auto script = readFile(locations.dataHome + "/nautilus/scripts/Skyloom으로 맨 위에 고정");
    EXPECT_NE(script.find("exec '" + fs::canonical(SKYLOOM_CLI).string() + "' pin -- \"$@\"\n"),
              std::string::npos);
    EXPECT_EQ(runProcess(SKYLOOM_CLI, {"integrate", "--remove"}, environment).exitStatus, 0);
    EXPECT_FALSE(fs::exists(locations.dataHome + "/kio/servicemenus/skyloom.desktop"));
}

} // namespace
