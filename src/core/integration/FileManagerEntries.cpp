#include "core/integration/FileManagerEntries.h"

#include "core/Translate.h"
#include "core/UniqueFd.h"
#include "core/integration/ThunarActions.h"
#include "core/platform/ApplicationSupport.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
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
};

std::vector<Entry> entries() {
    return {
        {"pin", "skyloomPin",
         translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom으로 맨 위에 고정"))},
        {"unpin", "skyloomUnpin",
         translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom 고정 해제"))},
    };
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

bool occupied(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

std::string absoluteOr(const char* variable, std::string fallback) {
    const char* value = std::getenv(variable);
    return value && value[0] == '/' ? std::string(value) : fallback;
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return text.str();
}

bool isOurs(const fs::path& path) {
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(path, error)))
        return false;
    std::ifstream in(path, std::ios::binary);
    std::string head(256, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return head.starts_with(marker) || head.find("\n" + std::string(marker)) != std::string::npos;
}

// Writes beside the target and renames over it, so that a file manager
// never reads half a file and a failure leaves the old one.
void replaceFile(const std::string& path, const std::string& content, mode_t mode) {
    std::string temporary = path + ".skyloom-new";
    UniqueFd fd(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd)
        throw std::system_error(errno, std::generic_category());
    auto fail = [&] {
        int code = errno;
        ::unlink(temporary.c_str());
        throw std::system_error(code, std::generic_category());
    };
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd.get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail();
        done += static_cast<std::size_t>(n);
    }
    if (::fchmod(fd.get(), mode) != 0 || ::fsync(fd.get()) != 0)
        fail();
    fd.reset();
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        fail();
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
    std::string out;
    for (char c : quoted) {
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
    return out;
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
                                             "Actions=skyloomPin;skyloomUnpin;\n";
    for (const auto& entry : entries()) {
        text += std::string("\n[Desktop Action ") + entry.id + "]\n";
        text += "Name=" + desktopString(entry.title) + "\n";
        text += "Icon=pin\n";
        text += "Exec=" + desktopExecArgument(program) + " " + entry.verb + " -- %F\n";
    }
    return text;
}

// Nautilus, Nemo and Caja run a script with the selected items as its
// arguments (in the folder shown), so "$@" hands them on untouched.
std::string script(const std::string& program, const char* verb) {
    return "#!/bin/sh\n" + std::string(marker) + "exec " + shellQuoted(program) + " " + verb +
           " -- \"$@\"\n";
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
                ThunarActions::escaped(quotedProgram + " " + entry.verb + " -- %F") +
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
        writeScripts("Nemo", locations_.dataHome + "/nemo/scripts", program),
        writeScripts("Caja", locations_.configHome + "/caja/scripts", program),
        writeThunar(program),
    };
}

std::vector<FileManagerEntries::Outcome> FileManagerEntries::remove() const {
    return {
        removeFiles("Dolphin", locations_.dataHome + "/kio/servicemenus"),
        removeFiles("Nautilus", locations_.dataHome + "/nautilus/scripts"),
        removeFiles("Nemo", locations_.dataHome + "/nemo/scripts"),
        removeFiles("Caja", locations_.configHome + "/caja/scripts"),
        removeThunar(),
    };
}

FileManagerEntries::Outcome FileManagerEntries::writeDolphin(const std::string& program) const {
    Outcome outcome = removeFiles("Dolphin", locations_.dataHome + "/kio/servicemenus");
    outcome.files.clear();
    if (outcome.error)
        return outcome;
    std::string folder = locations_.dataHome + "/kio/servicemenus";
    std::string path = folder + "/skyloom.desktop";
    if (occupied(path)) {
        outcome.error = notOurs(path);
        return outcome;
    }
    try {
        fs::create_directories(folder);
        // Dolphin runs service menus from the user's folder only when they
        // are executable.
        replaceFile(path, dolphinServiceMenu(program), 0755);
        outcome.files.push_back(path);
    } catch (const std::exception&) {
        outcome.error = writeFailure(path);
    }
    return outcome;
}

FileManagerEntries::Outcome FileManagerEntries::writeScripts(const char* fileManager,
                                                             const std::string& folder,
                                                             const std::string& program) const {
    Outcome outcome = removeFiles(fileManager, folder);
    outcome.files.clear();
    if (outcome.error)
        return outcome;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        outcome.error = writeFailure(folder);
        return outcome;
    }
    for (const auto& entry : entries()) {
        // The script's name is its menu title.
        std::string path = folder + "/" + entry.title;
        if (occupied(path)) {
            outcome.error = notOurs(path);
            continue;
        }
        try {
            replaceFile(path, script(program, entry.verb), 0755);
            outcome.files.push_back(path);
        } catch (const std::system_error&) {
            outcome.error = writeFailure(path);
        }
    }
    return outcome;
}

FileManagerEntries::Outcome FileManagerEntries::writeThunar(const std::string& program) const {
    Outcome outcome{"Thunar", {}, {}};
    std::string path = thunarFile(locations_.configHome);
    std::optional<std::string> text = readFile(path);
    mode_t mode = 0644;
    if (!text && occupied(path)) {
        // There, but unreadable: never replaced by one without the user's actions.
        outcome.error = writeFailure(path);
        return outcome;
    }
    if (text) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0)
            mode = info.st_mode & 07777;
    } else {
        // Thunar shows the system's actions until the user has a file of
        // their own; ours must not hide them.
        for (const auto& dir : locations_.configDirs) {
            text = readFile(dir + "/Thunar/uca.xml");
            if (text && ThunarActions::parse(*text))
                break;
            text.reset();
        }
        if (!text)
            text = ThunarActions::emptyDocument();
    }
    auto actions = ThunarActions::parse(*text);
    if (!actions) {
        outcome.error = thunarDamaged(path);
        return outcome;
    }
    try {
        fs::create_directories(fs::path(path).parent_path());
        replaceFile(path, actions->withOurs(thunarActions(program)), mode);
        outcome.files.push_back(path);
    } catch (const std::exception&) {
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
    std::optional<std::string> text = readFile(path);
    if (!text) {
        if (occupied(path))
            outcome.error = writeFailure(path);
        return outcome;
    }
    auto actions = ThunarActions::parse(*text);
    if (!actions) {
        outcome.error = thunarDamaged(path);
        return outcome;
    }
    if (!actions->hasOurs())
        return outcome;
    struct stat info {};
    mode_t mode = ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0644;
    try {
        replaceFile(path, actions->withoutOurs(), mode);
        outcome.files.push_back(path);
    } catch (const std::system_error&) {
        outcome.error = writeFailure(path);
    }
    return outcome;
}

} // namespace skyloom
