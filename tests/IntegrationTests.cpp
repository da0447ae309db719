#include "core/integration/EntrySelection.h"
#include "core/integration/FileManagerEntries.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace skyloom;
using namespace skyloom::test;
namespace fs = std::filesystem;

namespace {

// A folder name that breaks any entry through which it reaches a shell, or
// that a file manager mangles: '%', a line feed, quotes, $() and backquotes.
const std::string hostile = "50% off 'q' \"d\" $(touch pwned) `touch pwned2` %F\nline";

const std::string userActions =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action>\n"
    "\t<name>Open Terminal &amp; Here</name>\n\t<unique-id>1590000000000000-1</unique-id>\n"
    "\t<command>exo-open --working-directory %f</command>\n\t<directories/>\n</action>\n"
    "<!-- the user's note -->\n</actions>\n";

// Debian's python3 with GLib's own bindings: URIs made and Nemo's command
// line split exactly as the file managers do it.
const std::string glibPython = "/usr/bin/python3";
const std::string glibHelper = R"PY(
import subprocess, sys
from gi.repository import GLib
if sys.argv[1] == 'uri':
    for path in sys.argv[2:]:
        print(GLib.filename_to_uri(path, None))
else:
    # Nemo: Exec read from the key file, each URI in double quotes in place
    # of %U (Quote=double), split by g_shell_parse_argv, spawned.
    action, cwd, uris = sys.argv[2], sys.argv[3], sys.argv[4:]
    keys = GLib.KeyFile()
    keys.load_from_file(action, GLib.KeyFileFlags.NONE)
    line = keys.get_string('Nemo Action', 'Exec')
    at = line.index('%U')
    line = line[:at] + ' '.join('"' + uri + '"' for uri in uris) + line[at + 2:]
    ok, argv = GLib.shell_parse_argv(line)
    sys.exit(subprocess.run(argv, cwd=cwd).returncode)
)PY";

bool pinned(const std::string& path) {
    return accessTime(path).seconds >= 4102444800; // 2100-01-01
}

// Runs an entry's command line with `files` for %F the way Thunar does (each
// path g_shell_quote'd, "%%" for '%', the line run by /bin/sh -c); a Desktop
// Entry's Exec splits the same way within its quotes (Dolphin).
ProcessResult runEntry(const std::string& command, const std::vector<std::string>& files,
                       const std::string& work,
                       const std::map<std::string, std::string>& environment = {}) {
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
    return runProcess("/bin/sh", {"-c", line}, environment, work);
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

// The command of one of our Thunar actions, its XML escapes undone.
std::string thunarCommand(const std::string& uca, const std::string& verb) {
    auto begin = uca.find("<command>", uca.find("<unique-id>skyloom-" + verb + "</unique-id>")) + 9;
    std::string text = uca.substr(begin, uca.find("</command>", begin) - begin);
    for (auto [entity, c] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}})
        for (std::size_t at = 0; (at = text.find(entity, at)) != std::string::npos; ++at)
            text.replace(at, std::strlen(entity), c);
    return text;
}

class IntegrationTest : public ::testing::Test {
protected:
    TempDir temp;
    FileManagerEntries::Locations locations{
        temp.makeFolder("data"), temp.makeFolder("config"), {temp.makeFolder("xdg")}};
    FileManagerEntries entries{locations};
};

// The real command line, copied where no app lies beside it (so an entry can
// never start one here), in a folder whose name needs quoting.
class EntryRunTest : public IntegrationTest {
protected:
    std::string program = temp.path() + "/bin $x 'q' \"d\"/skyloom";
    std::string home = temp.makeFolder("home");
    std::map<std::string, std::string> environment{
        {"HOME", home},
        {"XDG_DATA_HOME", locations.dataHome},
        {"XDG_CONFIG_HOME", locations.configHome},
        {"XDG_RUNTIME_DIR", temp.makeFolder("runtime", 0700)},
        {"LC_ALL", "C.UTF-8"}};

    void SetUp() override {
        fs::create_directories(fs::path(program).parent_path());
        fs::copy_file(SKYLOOM_CLI, program);
        for (const auto& outcome : entries.write(program))
            ASSERT_FALSE(outcome.error) << outcome.fileManager << ": " << *outcome.error;
    }

    std::vector<std::string> urisOf(const std::vector<std::string>& paths) {
        std::vector<std::string> arguments{"-c", glibHelper, "uri"};
        arguments.insert(arguments.end(), paths.begin(), paths.end());
        auto result = runProcess(glibPython, arguments, {});
        std::vector<std::string> uris;
        std::istringstream in(result.standardOutput);
        for (std::string uri; std::getline(in, uri);)
            uris.push_back(uri);
        return uris;
    }

    // A Nautilus or Caja script, run as they run it: in the file manager's
    // own working folder, names only as arguments (mangled where they hold a
    // '%'), the selection in its variables.
    ProcessResult runScript(const std::string& script, const std::string& prefix,
                            const std::vector<std::string>& uris,
                            const std::vector<std::string>& paths,
                            const std::vector<std::string>& names) {
        auto variables = environment;
        std::string uriList, pathList;
        for (const auto& uri : uris)
            uriList += uri + "\n";
        for (const auto& path : paths)
            pathList += path + "\n";
        variables[prefix + "_SCRIPT_SELECTED_URIS"] = uriList;
        variables[prefix + "_SCRIPT_SELECTED_FILE_PATHS"] = pathList;
        variables[prefix + "_SCRIPT_CURRENT_URI"] = "trash:///";
        return runProcess(script, names, variables, home);
    }

    ProcessResult runNemo(const std::string& verb, const std::vector<std::string>& uris) {
        std::vector<std::string> arguments{
            "-c", glibHelper, "nemo",
            locations.dataHome + "/nemo/actions/skyloom-" + verb + ".nemo_action", home};
        arguments.insert(arguments.end(), uris.begin(), uris.end());
        return runProcess(glibPython, arguments, environment);
    }
};

TEST_F(EntryRunTest, EveryEntryPinsExactlyTheSelectedFolderAndNothingElse) {
    if (::access(glibPython.c_str(), X_OK) != 0 ||
        runProcess(glibPython, {"-c", "from gi.repository import GLib"}, {}).exitStatus != 0)
        GTEST_SKIP() << "needs Debian's python3-gi to run the entries as GLib does";
    // The selected folder lies elsewhere; a folder of the same name in the
    // file manager's working folder is the one a name-only entry would hit.
    std::string selected = temp.makeFolder("shown/" + hostile);
    std::string decoy = temp.makeFolder("home/" + hostile);
    std::string trashed = temp.makeFolder("home/trashme");
    auto uri = urisOf({selected});
    ASSERT_EQ(uri.size(), 1u);
    EXPECT_NE(uri[0].find("50%25"), std::string::npos) << uri[0];

    auto check = [&](const std::string& how, const ProcessResult& pin, auto&& unpin) {
        EXPECT_EQ(pin.exitStatus, 0) << how << ": " << pin.standardError;
        EXPECT_TRUE(pinned(selected)) << how;
        EXPECT_FALSE(pinned(decoy)) << how;
        ProcessResult result = unpin();
        EXPECT_EQ(result.exitStatus, 0) << how << ": " << result.standardError;
        EXPECT_FALSE(pinned(selected)) << how;
    };
    auto menu = locations.dataHome + "/kio/servicemenus/skyloom.desktop";
    check("Dolphin", runEntry(desktopExec(menu, "skyloomPin"), {selected}, home, environment), [&] {
        return runEntry(desktopExec(menu, "skyloomUnpin"), {selected}, home, environment);
    });
    for (const auto& [prefix, folder] :
         {std::pair{std::string("NAUTILUS"), locations.dataHome + "/nautilus/scripts"},
          std::pair{std::string("CAJA"), locations.configHome + "/caja/scripts"}}) {
        check(prefix,
              runScript(folder + "/Skyloom으로 맨 위에 고정", prefix, uri, {selected}, {"50off"}),
              [&] {
                  return runScript(folder + "/Skyloom의 고정 해제", prefix, uri, {selected},
                                   {"50off"});
              });
        // From the Trash: a URI with no local path, and a bare name (Caja) or
        // none at all (Nautilus).
        auto fromTrash = runScript(
            folder + "/Skyloom으로 맨 위에 고정", prefix, {"trash:///trashme"}, {},
            prefix == "CAJA" ? std::vector<std::string>{"trashme"} : std::vector<std::string>{});
        EXPECT_EQ(fromTrash.exitStatus, 1) << prefix;
        EXPECT_NE(fromTrash.standardError.find("trash:///trashme"), std::string::npos);
        EXPECT_FALSE(pinned(trashed)) << prefix;
    }
    check("Nemo", runNemo("pin", uri), [&] { return runNemo("unpin", uri); });
    EXPECT_EQ(runNemo("pin", {"trash:///trashme"}).exitStatus, 1);
    EXPECT_FALSE(pinned(trashed));
    auto uca = readFile(locations.configHome + "/Thunar/uca.xml");
    check("Thunar", runEntry(thunarCommand(uca, "pin"), {selected}, home, environment),
          [&] { return runEntry(thunarCommand(uca, "unpin"), {selected}, home, environment); });
    EXPECT_FALSE(fs::exists(home + "/pwned") || fs::exists(home + "/pwned2"));
    EXPECT_FALSE(fs::exists(temp.path() + "/shown/pwned"));

    // A script run on a file says it pins folders only.
    std::string file = temp.makeFile("shown/notes.txt");
    auto onFile = runScript(locations.dataHome + "/nautilus/scripts/Skyloom으로 맨 위에 고정",
                            "NAUTILUS", urisOf({file}), {file}, {"notes.txt"});
    EXPECT_EQ(onFile.exitStatus, 1);
    EXPECT_NE(onFile.standardError.find("notes.txt"), std::string::npos);
}

TEST(EntrySelectionTest, TakesTheFileManagersOwnSelection) {
    std::map<std::string, std::string> variables;
    auto read = [&](const std::vector<std::string>& arguments) {
        return EntrySelection::read(arguments, [&](const char* name) -> const char* {
            auto found = variables.find(name);
            return found == variables.end() ? nullptr : found->second.c_str();
        });
    };
    // Outside an entry, and a script run by hand: the arguments as they are.
    EXPECT_EQ(read({"a", "file:///b"}).paths, (std::vector<std::string>{"a", "file:///b"}));
    variables["SKYLOOM_ENTRY"] = "caja";
    EXPECT_EQ(read({"a"}).paths, std::vector<std::string>{"a"});

    // URIs decide; the paths variable helps only where it lines up exactly
    // (a share mounted through FUSE), never for the Trash.
    variables["CAJA_SCRIPT_SELECTED_URIS"] =
        "file:///x/50%25%0Aoff\nfile://localhost/y\nsftp://host/s\n";
    variables["CAJA_SCRIPT_SELECTED_FILE_PATHS"] = "/x/50%\noff\n/y\n/run/user/1/gvfs/s\n";
    auto selection = read({"ignored"});
    EXPECT_EQ(selection.paths, (std::vector<std::string>{"/x/50%\noff", "/y"}));
    EXPECT_NE(selection.failures.find("sftp://host/s"), std::string::npos);
    variables["CAJA_SCRIPT_SELECTED_URIS"] = "file:///y\nsftp://host/s\ntrash:///t\n";
    variables["CAJA_SCRIPT_SELECTED_FILE_PATHS"] = "/y\n/run/user/1/gvfs/s\n/t\n";
    selection = read({});
    EXPECT_EQ(selection.paths, (std::vector<std::string>{"/y", "/run/user/1/gvfs/s"}));
    EXPECT_NE(selection.failures.find("trash:///t"), std::string::npos);

    // Nemo and Dolphin hand URIs or full paths as arguments.
    variables["SKYLOOM_ENTRY"] = "nemo";
    selection = read({"file:///a%20b", "/plain/path", "file://otherhost/c", "file:///bad%2",
                      "file:///nul%00", "ftp://h/d", "sftp://h/two%0Alines"});
    EXPECT_EQ(selection.paths, (std::vector<std::string>{"/a b", "/plain/path"}));
    for (const char* refused : {"otherhost", "bad%2", "nul", "ftp://h/d", "two%0Alines"})
        EXPECT_NE(selection.failures.find(refused), std::string::npos) << refused;
    EXPECT_EQ(std::count(selection.failures.begin(), selection.failures.end(), '\n'), 5);
}

TEST_F(IntegrationTest, DolphinAndThunarHandHostileNamesOnAsArguments) {
    // A stand-in for the command line that records its arguments and
    // environment, in a folder whose name needs quoting everywhere.
    std::string recorded = temp.path() + "/argv";
    std::string program = temp.makeFile(
        "bin $x 'q' \"%%\"/skyloom",
        "#!/bin/sh\n{ printf '%s\\0' \"$SKYLOOM_ENTRY\" \"$@\"; } > '" + recorded + "'\n");
    ::chmod(program.c_str(), 0755);
    std::string work = temp.makeFolder("work");
    std::string folder = temp.makeFolder("work/" + hostile);
    auto recordedArguments = [&] {
        std::vector<std::string> arguments;
        std::istringstream in(readFile(recorded));
        for (std::string argument; std::getline(in, argument, '\0');)
            arguments.push_back(argument);
        fs::remove(recorded);
        return arguments;
    };
    auto outcomes = entries.write(program);
    ASSERT_EQ(outcomes.size(), 5u);
    // Nemo would never hand the selection to a program whose path has a '%'.
    EXPECT_TRUE(outcomes[2].error);
    for (std::size_t i : {0, 1, 3, 4})
        EXPECT_FALSE(outcomes[i].error) << outcomes[i].fileManager << *outcomes[i].error;

    auto menu = locations.dataHome + "/kio/servicemenus/skyloom.desktop";
    EXPECT_TRUE(modeOf(menu) & S_IXUSR);
    EXPECT_NE(readFile(menu).find("X-KDE-Protocols=file\n"), std::string::npos);
    EXPECT_EQ(runEntry(desktopExec(menu, "skyloomPin"), {folder}, work).exitStatus, 0);
    EXPECT_EQ(recordedArguments(), (std::vector<std::string>{"dolphin", "pin", "--", folder}));
    runEntry(desktopExec(menu, "skyloomUnpin"), {folder, work}, work);
    EXPECT_EQ(recordedArguments(),
              (std::vector<std::string>{"dolphin", "unpin", "--", folder, work}));

    auto uca = readFile(locations.configHome + "/Thunar/uca.xml");
    EXPECT_EQ(runEntry(thunarCommand(uca, "pin"), {folder}, work).exitStatus, 0);
    EXPECT_EQ(recordedArguments(), (std::vector<std::string>{"thunar", "pin", "--", folder}));
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
    auto sameName = locations.configHome + "/caja/scripts/Skyloom의 고정 해제";
    writeFile(sameName, "#!/bin/sh\necho also mine\n");
    // Nemo scripts of an earlier version give way to actions.
    auto oldNemo = locations.dataHome + "/nemo/scripts/Skyloom 고정 해제";
    writeFile(oldNemo, "#!/bin/sh\n# skyloom-file-manager-entry\nexec skyloom unpin -- \"$@\"\n");

    auto written = entries.write("/usr/bin/skyloom");
    EXPECT_NE(readFile(uca).find("skyloom-unpin"), std::string::npos);
    EXPECT_EQ(readFile(uca).find(userActions.substr(0, userActions.size() - 11)), 0u);
    EXPECT_TRUE(written[3].error);
    EXPECT_EQ(written[3].files.size(), 1u);
    EXPECT_EQ(readFile(sameName), "#!/bin/sh\necho also mine\n");
    EXPECT_FALSE(fs::exists(oldNemo));
    EXPECT_EQ(written[2].files.size(), 2u);

    writeFile(oldNemo, "#!/bin/sh\n# skyloom-file-manager-entry\nexec skyloom unpin -- \"$@\"\n");
    auto removed = entries.remove();
    for (const auto& outcome : removed)
        EXPECT_FALSE(outcome.error) << outcome.fileManager;
    EXPECT_EQ(removed[2].files.size(), 3u);
    EXPECT_EQ(readFile(uca), userActions);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(ownScript), "#!/bin/sh\necho mine\n");
    EXPECT_EQ(readFile(sameName), "#!/bin/sh\necho also mine\n");
    EXPECT_FALSE(fs::exists(locations.dataHome + "/kio/servicemenus/skyloom.desktop"));
    for (const auto& outcome : entries.remove())
        EXPECT_TRUE(outcome.files.empty());
}

TEST_F(IntegrationTest, ThunarStartsFromTheSystemsFileAndLeavesOddFilesAlone) {
    const std::string system = "/etc/xdg/Thunar/uca.xml";
    const std::string original = readFile(system);
    if (original.empty())
        GTEST_SKIP() << "needs Debian's thunar package for " << system;
    // Debian's file, with its DOCTYPE, behind a FIFO where a system file
    // would be: the FIFO is passed over, never waited on.
    fs::create_directories(locations.configDirs[0] + "/Thunar");
    ::mkfifo((locations.configDirs[0] + "/Thunar/uca.xml").c_str(), 0644);
    locations.configDirs.push_back("/etc/xdg");
    FileManagerEntries fromSystem(locations);
    EXPECT_FALSE(fromSystem.write("/usr/bin/skyloom")[4].error);
    auto uca = locations.configHome + "/Thunar/uca.xml";
    // Every byte of the system's file stays; ours go before its end.
    std::string written = readFile(uca);
    auto end = original.rfind("</actions>");
    ASSERT_GT(written.size(), original.size());
    EXPECT_EQ(written.substr(0, end), original.substr(0, end));
    EXPECT_EQ(written.substr(written.size() - (original.size() - end)), original.substr(end));
    EXPECT_NE(written.find("<name>Open Terminal Here</name>"), std::string::npos);
    for (const auto& outcome : fromSystem.remove())
        EXPECT_FALSE(outcome.error);
    EXPECT_EQ(readFile(uca), original);

    // A FIFO as the user's file: `skyloom integrate` reports it and returns.
    fs::remove(uca);
    ASSERT_EQ(::mkfifo(uca.c_str(), 0600), 0);
    auto result = runProcess("/usr/bin/timeout", {"20", SKYLOOM_CLI, "integrate"},
                             {{"XDG_DATA_HOME", locations.dataHome},
                              {"XDG_CONFIG_HOME", locations.configHome},
                              {"XDG_CONFIG_DIRS", "/etc/xdg"},
                              {"LC_ALL", "C.UTF-8"}});
    EXPECT_EQ(result.exitStatus, 1) << result.standardError;
    EXPECT_NE(result.standardError.find(uca), std::string::npos) << result.standardError;
    EXPECT_TRUE(S_ISFIFO(modeOf(uca)));
    EXPECT_TRUE(fs::exists(locations.dataHome + "/kio/servicemenus/skyloom.desktop"));

    for (const std::string& damaged :
         {userActions.substr(0, userActions.size() - 5), std::string("<actions><action></actions>"),
          std::string("not xml at all"), userActions + "<actions></actions>\n"}) {
        fs::remove(uca);
        writeFile(uca, damaged);
        for (const auto& outcomes : {entries.write("/usr/bin/skyloom"), entries.remove()}) {
            ASSERT_TRUE(outcomes[4].error) << damaged;
            EXPECT_NE(outcomes[4].error->find(uca), std::string::npos);
            EXPECT_FALSE(outcomes[0].error);
        }
        EXPECT_EQ(readFile(uca), damaged);
    }
}

// `skyloom integrate` under umask 000, over a folder an earlier version left
// world-writable: nothing it writes is writable by others, and the entries
// run the command line installed beside it, telling it which file manager runs it.
TEST_F(IntegrationTest, TheCommandLineWritesPrivateEntriesAndRemovesThem) {
    temp.makeFolder("config/caja/scripts", 0777);
    writeFile(locations.configHome + "/Thunar/uca.xml", userActions);
    ::chmod((locations.configHome + "/Thunar/uca.xml").c_str(), 0666);
    const std::string data = locations.dataHome + "/new/share";
    std::map<std::string, std::string> environment{{"XDG_DATA_HOME", data},
                                                   {"XDG_CONFIG_HOME", locations.configHome},
                                                   {"XDG_CONFIG_DIRS", locations.configDirs[0]},
                                                   {"LC_ALL", "ko_KR.UTF-8"}};
    mode_t before = ::umask(0);
    auto result = runProcess(SKYLOOM_CLI, {"integrate"}, environment);
    ::umask(before);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    int checked = 0;
    for (const auto& root : {locations.dataHome + "/new", locations.configHome}) {
        for (const auto& item : fs::recursive_directory_iterator(root)) {
            EXPECT_EQ(modeOf(item.path()) & 022, 0u) << item.path();
            ++checked;
        }
    }
    EXPECT_GE(checked, 16);
    auto script = readFile(data + "/nautilus/scripts/Skyloom으로 맨 위에 고정");
    EXPECT_NE(script.find("SKYLOOM_ENTRY=nautilus\nexport SKYLOOM_ENTRY\n"), std::string::npos);
    EXPECT_NE(script.find("\nexec '" + fs::canonical(SKYLOOM_CLI).string() + "' pin -- \"$@\"\n"),
              std::string::npos);
    // In the Scripts submenus, sorted by name, pin comes before unpin.
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(data + "/nautilus/scripts"))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Skyloom으로 맨 위에 고정", "Skyloom의 고정 해제"}));
    EXPECT_EQ(runProcess(SKYLOOM_CLI, {"integrate", "--remove"}, environment).exitStatus, 0);
    EXPECT_FALSE(fs::exists(data + "/kio/servicemenus/skyloom.desktop"));
    EXPECT_EQ(readFile(locations.configHome + "/Thunar/uca.xml"), userActions);
}

} // namespace
