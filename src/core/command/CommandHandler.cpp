#include "core/command/CommandHandler.h"

#include "core/Translate.h"
#include "core/integration/FileManagerEntries.h"
#include "core/record/FolderPath.h"
#include "core/record/PinStatusText.h"
#include "core/store/PinStore.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>

namespace skyloom {
namespace {

std::string withNewline(const std::string& text) {
    return text + "\n";
}

std::string unknownWord(const std::string& word, const char* verb) {
    if (word.starts_with('-'))
        return translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "알 수 없는 옵션이에요: %1"), word);
    if (verb)
        return translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "'%1' 명령은 폴더 경로를 받지 않아요."),
                         verb);
    return translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "알 수 없는 명령이에요: %1"), word);
}

std::string versionWithOthers() {
    return translate(SKYLOOM_TRANSLATE_NOOP(
        "Skyloom", "--version과 --login-item은 다른 명령이나 서로와 함께 쓸 수 없어요."));
}

} // namespace

CommandHandler::CommandHandler(PinStore& store, bool inApp) : store_(store), inApp_(inApp) {}

std::string CommandHandler::usage() {
    return translate(SKYLOOM_TRANSLATE_NOOP(
        "Skyloom", "사용법:\n"
                   "  skyloom                      앱을 시작해요\n"
                   "  skyloom --login-item         로그인할 때처럼 앱을 시작해요\n"
                   "  skyloom pin PATH...          폴더를 맨 위에 고정해요\n"
                   "  skyloom unpin PATH...        고정을 풀고 원래 날짜로 "
                   "되돌려요\n"
                   "  skyloom list [--json]        고정된 폴더를 순서대로 "
                   "보여 줘요\n"
                   "  skyloom remove PATH...       목록에서 지우고 원래 날짜로 "
                   "되돌려요\n"
                   "  skyloom unpin-all            모든 고정을 풀어요\n"
                   "  skyloom reapply              풀린 고정을 다시 적용해요\n"
                   "  skyloom integrate [--remove] 파일 관리자 메뉴를 추가하거나 "
                   "지워요\n"
                   "  skyloom --help | --version\n"));
}

bool CommandHandler::needsStore(ParsedCommand::Verb verb) {
    using Verb = ParsedCommand::Verb;
    switch (verb) {
    case Verb::pin:
    case Verb::unpin:
    case Verb::list:
    case Verb::remove:
    case Verb::unpinAll:
    case Verb::reapply:
        return true;
    default:
        return false;
    }
}

ParsedCommand CommandHandler::parse(const std::vector<std::string>& arguments) {
    using Verb = ParsedCommand::Verb;
    ParsedCommand command;
    CLI::App app("skyloom", "skyloom");
    app.set_help_flag();
    // Unknown words are reported in our own words below, not CLI11's.
    app.allow_extras();
    bool help = false, version = false, loginItem = false;
    app.add_flag("-h,--help", help);
    app.add_flag("--version", version);
    app.add_flag("--login-item", loginItem);
    app.require_subcommand(0, 1);

    struct Subcommand {
        const char* name;
        Verb verb;
        bool takesPaths;
    };
    const Subcommand subcommands[] = {
        {"pin", Verb::pin, true},
        {"unpin", Verb::unpin, true},
        {"list", Verb::list, false},
        {"remove", Verb::remove, true},
        {"unpin-all", Verb::unpinAll, false},
        {"reapply", Verb::reapply, false},
        {"integrate", Verb::integrate, false},
    };
    for (const auto& sub : subcommands) {
        CLI::App* subApp = app.add_subcommand(sub.name);
        subApp->set_help_flag();
        subApp->allow_extras();
        subApp->add_flag("-h,--help", help);
        if (sub.takesPaths)
            subApp->add_option("PATH", command.paths)->allow_extra_args();
        if (sub.verb == Verb::list)
            subApp->add_flag("--json", command.json);
        if (sub.verb == Verb::integrate)
            subApp->add_flag("--remove", command.remove);
    }

    // Everything after "--" is a path, even when it starts with "-"; CLI11
    // reads only the words before it.
    auto separator = std::find(arguments.begin(), arguments.end(), std::string("--"));
    const bool hasSeparator = separator != arguments.end();
    std::vector<std::string> reversed(std::make_reverse_iterator(separator), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError&) {
        command.verb = Verb::usageError;
        command.problem =
            translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "명령줄을 이해하지 못했어요."));
        return command;
    }
    const Subcommand* parsed = nullptr;
    for (const auto& sub : subcommands) {
        if (app.get_subcommand(sub.name)->parsed())
            parsed = &sub;
    }
    if (auto extras = app.remaining(true); !extras.empty()) {
        command.verb = Verb::usageError;
        command.problem = unknownWord(extras.front(), parsed ? parsed->name : nullptr);
        return command;
    }
    if (hasSeparator)
        command.paths.insert(command.paths.end(), separator + 1, arguments.end());
    if (help) {
        command.verb = Verb::help;
        return command;
    }
    if (parsed) {
        command.verb = parsed->verb;
        if (version || loginItem)
            command.problem = versionWithOthers();
        else if (parsed->takesPaths && command.paths.empty())
            command.problem = translate(
                SKYLOOM_TRANSLATE_NOOP("Skyloom", "'%1' 명령에는 폴더 경로가 하나 이상 필요해요."),
                parsed->name);
        else if (!parsed->takesPaths && hasSeparator)
            command.problem = unknownWord("", parsed->name);
        if (!command.problem.empty())
            command.verb = Verb::usageError;
        return command;
    }
    if (hasSeparator) {
        command.verb = Verb::usageError;
        command.problem = translate(SKYLOOM_TRANSLATE_NOOP(
            "Skyloom", "폴더 경로 앞에 pin이나 unpin 같은 명령을 적어 주세요."));
        return command;
    }
    if (version && loginItem) {
        command.verb = Verb::usageError;
        command.problem = versionWithOthers();
    } else if (version) {
        command.verb = Verb::version;
    } else if (loginItem) {
        command.verb = Verb::loginItem;
    }
    return command;
}

CommandResult CommandHandler::answerWithoutStore(const ParsedCommand& command) {
    using Verb = ParsedCommand::Verb;
    switch (command.verb) {
    case Verb::help:
        return {0, usage(), ""};
    case Verb::version:
        return {0, std::string("skyloom ") + SKYLOOM_VERSION + "\n", ""};
    case Verb::usageError:
        return {2, "", withNewline("skyloom: " + command.problem) + usage()};
    case Verb::integrate:
        return integrate(command.remove);
    default:
        return {0, "", ""};
    }
}

CommandResult CommandHandler::integrate(bool remove) {
    FileManagerEntries entries;
    auto outcomes =
        remove ? entries.remove() : entries.write(FileManagerEntries::installedProgram());
    CommandResult result;
    for (const auto& outcome : outcomes) {
        for (const auto& file : outcome.files)
            result.standardOutput += "  " + outcome.fileManager + " \u2014 " + file + "\n";
        if (outcome.error) {
            result.standardError += outcome.fileManager + " \u2014 " + *outcome.error + "\n";
            result.exitStatus = 1;
        }
    }
    if (!result.standardOutput.empty())
        result.standardOutput =
            withNewline(remove ? translate(SKYLOOM_TRANSLATE_NOOP("Skyloom",
                                                                  "파일 관리자 메뉴를 지웠어요:"))
                               : translate(SKYLOOM_TRANSLATE_NOOP(
                                     "Skyloom", "파일 관리자 메뉴를 추가했어요:"))) +
            result.standardOutput;
    else if (remove && result.exitStatus == 0)
        result.standardOutput = withNewline(
            translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "지울 파일 관리자 메뉴가 없어요.")));
    return result;
}

CommandResult CommandHandler::handle(const CommandRequest& request) {
    return run(parse(request.arguments));
}

CommandResult CommandHandler::messagesResult(bool withNotice) const {
    CommandResult result;
    if (withNotice && store_.noticeMessage())
        result.standardOutput = withNewline(*store_.noticeMessage());
    if (store_.errorMessage()) {
        result.standardError = withNewline(*store_.errorMessage());
        result.exitStatus = 1;
    }
    return result;
}

CommandResult CommandHandler::run(const ParsedCommand& command) {
    // Changes asked for from the window while the command runs wait until
    // its answer is read from the messages.
    PinStore::Hold hold(store_);
    CommandResult result = runVerb(command);
    // An answer from the stand-in list is not the user's list; it says so
    // and never passes for success.
    if (needsStore(command.verb) && store_.isStoredInMemoryOnly()) {
        result.standardError =
            withNewline(translate(SKYLOOM_TRANSLATE_NOOP(
                "Skyloom", "이 답은 임시 목록에서 나왔어요. 저장된 고정 목록을 열지 못했어요."))) +
            result.standardError;
        if (result.exitStatus == 0)
            result.exitStatus = 1;
    }
    return result;
}

CommandResult CommandHandler::runVerb(const ParsedCommand& command) {
    using Verb = ParsedCommand::Verb;
    switch (command.verb) {
    case Verb::pin:
        store_.add(command.paths);
        if (inApp_)
            store_.showMessagesIfNeeded();
        return messagesResult(true);
    case Verb::unpin:
        store_.unpin(command.paths);
        if (inApp_)
            store_.showMessagesIfNeeded();
        return messagesResult(true);
    case Verb::list:
        return list(command.json);
    case Verb::remove:
        return remove(command.paths);
    case Verb::unpinAll:
        store_.unpinAll();
        return messagesResult(false);
    case Verb::reapply:
        store_.reapplyAll(true);
        return messagesResult(false);
    case Verb::start:
    case Verb::loginItem:
        // A second start while the app runs brings its pin-list window forward.
        if (command.verb == Verb::start)
            store_.openManager();
        return {};
    default:
        return answerWithoutStore(command);
    }
}

CommandResult CommandHandler::list(bool json) {
    // Each folder as it is now (renamed ones under their new path, deleted
    // ones missing), without writing anything.
    CommandResult result;
    const auto read = store_.readPins();
    if (!read) {
        // Never an empty list for one that could not be read.
        result.standardError = withNewline(PinStore::readFailedText());
        result.exitStatus = 1;
        return result;
    }
    const auto& pins = *read;
    if (json) {
        auto array = nlohmann::json::array();
        for (const auto& pin : pins) {
            nlohmann::json original = nullptr;
            if (pin->originalAddedDate())
                original = *pin->originalAddedDate();
            const auto status = store_.currentStatus(*pin);
            array.push_back({
                {"path", status.path},
                {"displayName", FolderPath::displayName(status.path)},
                {"order", pin->order()},
                {"originalAddedDate", original},
                {"pinnedAt", pin->pinnedAt()},
                {"isMissing", status.isMissing},
                {"needsAccess", status.needsAccess},
                {"isLocked", status.isLocked},
            });
        }
        // Names that are not UTF-8 cannot be JSON text; their odd bytes
        // show as U+FFFD.
        result.standardOutput =
            withNewline(array.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        return result;
    }
    if (pins.empty()) {
        result.standardOutput =
            withNewline(translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정된 폴더가 없어요")));
        return result;
    }
    for (const auto& pin : pins) {
        const auto status = store_.currentStatus(*pin);
        std::string state =
            pinStatusText(pinStatus(status.isMissing, status.needsAccess, status.isLocked));
        result.standardOutput += status.path + (state.empty() ? "" : "\t" + state) + "\n";
    }
    return result;
}

CommandResult CommandHandler::remove(const std::vector<std::string>& paths) {
    std::vector<std::string> failures;
    for (const auto& path : paths) {
        const std::string name = FolderPath::displayName(FolderPath::standardized(path));
        PinnedFolderPtr match;
        try {
            match = store_.pinFor(path);
        } catch (const StoreError&) {
            failures.push_back(failureLine(name, PinStore::readFailedText()));
            continue;
        }
        if (!match) {
            failures.push_back(
                name + " \u2014 " +
                translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정 목록에 없는 폴더예요.")));
            continue;
        }
        if (auto failure = store_.remove(match))
            failures.push_back(*failure);
    }
    store_.setErrorMessage(joinedLines(failures));
    return messagesResult(false);
}

} // namespace skyloom
