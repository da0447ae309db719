#include "core/integration/FileManagerEntries.h"

#include "core/Translate.h"
#include "core/integration/EntryFiles.h"
#include "core/integration/EntrySelection.h"
#include "core/integration/ThunarActions.h"
#include "core/platform/ApplicationSupport.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <system_error>

namespace skyloom {
namespace {

namespace fs = std::filesystem;

// Every file we write carries this comment line, so that removing takes
// exactly ours and never a user's file of the same name.
constexpr std::string_view marker = "# skyloom-file-manager-entry\n";

struct Entry {
    const char* verb;
    const char* id;
    std::string title;
    // The name of the script in a Scripts submenu, which the file managers
    // sort by name: the pin entry has to come first in Korean and English.
    std::string scriptName;
};

std::vector<Entry> entries() {
    return {
        {"pin", "skyloomPin",
         translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom으로 맨 위에 고정")),
         translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom으로 맨 위에 고정"))},
        {"unpin", "skyloomUnpin", translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom 고정 해제")),
         translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom의 고정 해제"))},
    };
}

std::string entryAssignment(const char* fileManager) {
    return std::string(EntrySelection::entryVariable) + "=" + fileManager;
}

std::string writeFailure(const std::string& path) {
    return translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "파일 관리자 메뉴를 쓰지 못했어요: %1"),
                     path);
}

std::string notOurs(const std::string& path) {
    return translate(
        SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom이 만들지 않은 파일이 있어 그대로 두었어요: %1"),
        path);
}

std::string notRegular(const std::string& path) {
    return translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "일반 파일이 아니라 그대로 두었어요: %1"),
                     path);
}

bool occupied(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

std::string absoluteOr(const char* variable, std::string fallback) {
    const char* value = std::getenv(variable);
    return value && value[0] == '/' ? std::string(value) : fallback;
}

bool isOurs(const fs::path& path) {
    auto file = EntryFiles::readRegular(path.string());
    if (file.status != EntryFiles::ReadStatus::read)
        return false;
    std::string_view head = std::string_view(file.text).substr(0, 256);
    return head.starts_with(marker) || head.find("\n" + std::string(marker)) != std::string::npos;
}

// A shell word that is `text` exactly (POSIX sh and GLib's parser agree).
std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// A string value of a key file as GLib reads it.
std::string keyFileString(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    if (!out.empty() && out[0] == ' ')
        out = "\\s" + out.substr(1);
    return out;
}

// `text` as one argument of a desktop entry's Exec key: quoted, '%' doubled,
// then escaped as a string value.
std::string desktopExecArgument(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
        if (c == '%')
            quoted += '%';
    }
    quoted += '"';
    return keyFileString(quoted);
}

std::string desktopString(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

std::string dolphinServiceMenu(const std::string& program) {
    std::string text = std::string(marker) + "[Desktop Entry]\n"
                                             "Type=Service\n"
                                             "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
                                             "MimeType=inode/directory;\n"
                                             "X-KDE-Protocols=file\n"
                                             "Actions=skyloomPin;skyloomUnpin;\n";
    for (const auto& entry : entries()) {
        text += std::string("\n[Desktop Action ") + entry.id + "]\n";
        text += "Name=" + desktopString(entry.title) + "\n";
        text += "Icon=pin\n";
        text += "Exec=env " + entryAssignment("dolphin") + " " + desktopExecArgument(program) +
                " " + entry.verb + " -- %F\n";
    }
    return text;
}

// Nautilus and Caja hand a script bare names (mangled where they hold a '%',
// and nothing usable for items without a local path); the exact selection is
// in their own variables, which the command line reads once it knows which
// file manager ran it. "$@" hands names on untouched for a script run by hand.
std::string script(const std::string& program, const char* verb, const char* fileManager) {
    // Nautilus hands no names at all for items away from this computer (the
    // Trash); an empty one lets the command line read the selection and say
    // why it pins nothing, instead of asking for a path.
    return "#!/bin/sh\n" + std::string(marker) + entryAssignment(fileManager) + "\nexport " +
           EntrySelection::entryVariable + "\n[ \"$#\" -gt 0 ] || set -- \"\"\nexec " +
           shellQuoted(program) + " " + verb + " -- \"$@\"\n";
}

// Nemo splits Exec by the shell's quoting rules (no shell runs) after putting
// the selection in place of %U, each URI in double quotes. A URI holds no
// character that is special there, so every name arrives intact, and items
// with no local path arrive as URIs the command line can refuse by name.
std::string nemoAction(const std::string& program, const Entry& entry) {
    return std::string(marker) + "[Nemo Action]\n" + "Name=" + keyFileString(entry.title) + "\n" +
           "Icon-Name=pin\n" + "Exec=" +
           keyFileString("env " + entryAssignment("nemo") + " " + shellQuoted(program) + " " +
                         entry.verb + " -- %U") +
           "\n" + "Selection=notnone\n" + "Extensions=dir;\n" + "Quote=double\n";
}

// Thunar puts each selected path, shell-quoted, in place of %F and hands
// the command to /bin/sh -c; a literal '%' is written "%%".
std::string thunarActions(const std::string& program) {
    std::string quotedProgram;
    for (char c : shellQuoted(program)) {
        quotedProgram += c;
        if (c == '%')
            quotedProgram += '%';
    }
    std::string text;
    for (const auto& entry : entries()) {
        text += "<action>\n"
                "\t<icon>pin</icon>\n"
                "\t<name>" +
                ThunarActions::escaped(entry.title) +
                "</name>\n"
                "\t<submenu></submenu>\n"
                "\t<unique-id>" +
                std::string(ThunarActions::ourIdPrefix) + entry.verb +
                "</unique-id>\n"
                "\t<command>" +
                ThunarActions::escaped(entryAssignment("thunar") + " " + quotedProgram + " " +
                                       entry.verb + " -- %F") +
                "</command>\n"
                "\t<description></description>\n"
                "\t<range></range>\n"
                "\t<patterns>*</patterns>\n"
                "\t<directories/>\n"
                "</action>\n";
    }
    return text;
}

// The user's uca.xml, through a symbolic link to where it really lives (kept
// with their other settings, say), so that replacing it keeps the link.
std::string thunarFile(const std::string& configHome) {
    std::string path = configHome + "/Thunar/uca.xml";
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(path, error))) {
        auto target = fs::weakly_canonical(path, error);
        if (!error)
            return target.string();
    }
    return path;
}

std::string thunarDamaged(const std::string& path) {
    return translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Thunar 사용자 동작 파일이 손상되어 "
                                                       "그대로 두었어요. 고친 뒤 다시 "
                                                       "시도하세요: %1"),
                     path);
}

} // namespace

FileManagerEntries::Locations FileManagerEntries::Locations::forCurrentUser() {
    Locations locations;
    std::string home = platform::homeDirectory();
    locations.dataHome = absoluteOr("XDG_DATA_HOME", home + "/.local/share");
    locations.configHome = absoluteOr("XDG_CONFIG_HOME", home + "/.config");
    std::string dirs = absoluteOr("XDG_CONFIG_DIRS", "/etc/xdg");
    std::istringstream list(dirs);
    for (std::string dir; std::getline(list, dir, ':');) {
        if (!dir.empty() && dir[0] == '/')
            locations.configDirs.push_back(dir);
    }
    return locations;
}

FileManagerEntries::FileManagerEntries(Locations locations) : locations_(std::move(locations)) {}

std::string FileManagerEntries::installedProgram() {
    std::error_code error;
    auto self = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return "skyloom";
    return (self.parent_path() / "skyloom").string();
}

std::vector<FileManagerEntries::Outcome>
FileManagerEntries::write(const std::string& program) const {
    return {
        writeDolphin(program),
        writeScripts("Nautilus", locations_.dataHome + "/nautilus/scripts", program),
        writeNemo(program),
        writeScripts("Caja", locations_.configHome + "/caja/scripts", program),
        writeThunar(program),
    };
}

std::vector<FileManagerEntries::Outcome> FileManagerEntries::remove() const {
    Outcome nemo = removeFiles("Nemo", locations_.dataHome + "/nemo/actions");
    Outcome oldNemo = removeFiles("Nemo", locations_.dataHome + "/nemo/scripts");
    nemo.files.insert(nemo.files.end(), oldNemo.files.begin(), oldNemo.files.end());
    if (!nemo.error)
        nemo.error = oldNemo.error;
    return {
        removeFiles("Dolphin", locations_.dataHome + "/kio/servicemenus"),
        removeFiles("Nautilus", locations_.dataHome + "/nautilus/scripts"),
        nemo,
        removeFiles("Caja", locations_.configHome + "/caja/scripts"),
        removeThunar(),
    };
}

FileManagerEntries::Outcome
FileManagerEntries::writeFiles(const char* fileManager, const std::string& folder,
                               const std::vector<std::pair<std::string, std::string>>& files,
                               mode_t mode) const {
    Outcome outcome = removeFiles(fileManager, folder);
    outcome.files.clear();
    if (outcome.error)
        return outcome;
    if (!EntryFiles::makeFolders(folder)) {
        outcome.error = writeFailure(folder);
        return outcome;
    }
    for (const auto& [name, content] : files) {
        std::string path = folder + "/" + name;
        if (occupied(path)) {
            outcome.error = notOurs(path);
            continue;
        }
        try {
            EntryFiles::replace(path, content, mode);
            outcome.files.push_back(path);
        } catch (const std::system_error&) {
            outcome.error = writeFailure(path);
        }
    }
    return outcome;
}

FileManagerEntries::Outcome FileManagerEntries::writeDolphin(const std::string& program) const {
    // Dolphin runs service menus from the user's folder only when they are
    // executable.
    return writeFiles("Dolphin", locations_.dataHome + "/kio/servicemenus",
                      {{"skyloom.desktop", dolphinServiceMenu(program)}}, 0755);
}

FileManagerEntries::Outcome FileManagerEntries::writeScripts(const char* fileManager,
                                                             const std::string& folder,
                                                             const std::string& program) const {
    std::string name = fileManager;
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : entries())
        files.emplace_back(entry.scriptName, script(program, entry.verb, name.c_str()));
    return writeFiles(fileManager, folder, files, 0755);
}

FileManagerEntries::Outcome FileManagerEntries::writeNemo(const std::string& program) const {
    // Scripts of earlier versions showed on files too, in a submenu.
    Outcome old = removeFiles("Nemo", locations_.dataHome + "/nemo/scripts");
    if (old.error)
        return {"Nemo", {}, old.error};
    // Nemo takes the first '%' of Exec for its placeholder and stops when it
    // is not one, so a program path with '%' in it would never get the
    // selection.
    if (program.find('%') != std::string::npos)
        return {"Nemo", {}, writeFailure(locations_.dataHome + "/nemo/actions")};
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : entries())
        files.emplace_back(std::string("skyloom-") + entry.verb + ".nemo_action",
                           nemoAction(program, entry));
    return writeFiles("Nemo", locations_.dataHome + "/nemo/actions", files, 0644);
}

FileManagerEntries::Outcome FileManagerEntries::writeThunar(const std::string& program) const {
    Outcome outcome{"Thunar", {}, {}};
    std::string path = thunarFile(locations_.configHome);
    auto file = EntryFiles::readRegular(path);
    std::optional<std::string> text;
    mode_t mode = 0644;
    switch (file.status) {
    case EntryFiles::ReadStatus::read: {
        text = std::move(file.text);
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0)
            mode = info.st_mode & 07777;
        break;
    }
    case EntryFiles::ReadStatus::notRegular:
        outcome.error = notRegular(path);
        return outcome;
    case EntryFiles::ReadStatus::failed:
        // There, but unreadable: never replaced by one without the user's actions.
        outcome.error = writeFailure(path);
        return outcome;
    case EntryFiles::ReadStatus::absent:
        // Thunar shows the first system file until the user has one of their
        // own; ours must keep every action it holds.
        for (const auto& dir : locations_.configDirs) {
            auto system = EntryFiles::readRegular(dir + "/Thunar/uca.xml");
            if (system.status == EntryFiles::ReadStatus::read &&
                ThunarActions::parse(system.text)) {
                text = std::move(system.text);
                break;
            }
        }
        if (!text)
            text = ThunarActions::emptyDocument();
        break;
    }
    auto actions = ThunarActions::parse(*text);
    if (!actions) {
        outcome.error = thunarDamaged(path);
        return outcome;
    }
    if (!EntryFiles::makeFolders(fs::path(path).parent_path().string())) {
        outcome.error = writeFailure(path);
        return outcome;
    }
    try {
        EntryFiles::replace(path, actions->withOurs(thunarActions(program)), mode);
        outcome.files.push_back(path);
    } catch (const std::system_error&) {
        outcome.error = writeFailure(path);
    }
    return outcome;
}

FileManagerEntries::Outcome FileManagerEntries::removeFiles(const char* fileManager,
                                                            const std::string& folder) const {
    Outcome outcome{fileManager, {}, {}};
    std::error_code error;
    for (const auto& item : fs::directory_iterator(folder, error)) {
        if (!isOurs(item.path()))
            continue;
        std::error_code removeError;
        if (fs::remove(item.path(), removeError))
            outcome.files.push_back(item.path().string());
        else
            outcome.error = writeFailure(item.path().string());
    }
    return outcome;
}

FileManagerEntries::Outcome FileManagerEntries::removeThunar() const {
    Outcome outcome{"Thunar", {}, {}};
    std::string path = thunarFile(locations_.configHome);
    auto file = EntryFiles::readRegular(path);
    switch (file.status) {
    case EntryFiles::ReadStatus::absent:
        return outcome;
    case EntryFiles::ReadStatus::notRegular:
        outcome.error = notRegular(path);
        return outcome;
    case EntryFiles::ReadStatus::failed:
        outcome.error = writeFailure(path);
        return outcome;
    case EntryFiles::ReadStatus::read:
        break;
    }
    auto actions = ThunarActions::parse(file.text);
    if (!actions) {
        outcome.error = thunarDamaged(path);
        return outcome;
    }
    if (!actions->hasOurs())
        return outcome;
    struct stat info {};
    mode_t mode = ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0644;
    try {
        EntryFiles::replace(path, actions->withoutOurs(), mode);
        outcome.files.push_back(path);
    } catch (const std::system_error&) {
        outcome.error = writeFailure(path);
    }
    return outcome;
}

} // namespace skyloom
