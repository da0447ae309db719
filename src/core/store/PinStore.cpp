#include "core/store/PinStore.h"

#include "core/Translate.h"
#include "core/engine/FolderPath.h"
#include "core/engine/PinError.h"
#include "core/store/ModelContainer.h"
#include "core/store/StoreRecovery.h"

#include <set>
#include <utility>

namespace skyloom {

std::string failureLine(const std::string& displayName, const std::exception& error) {
    return displayName + " \u2014 " + errorDescription(error);
}

std::optional<std::string> joinedLines(const std::vector<std::string>& lines) {
    if (lines.empty())
        return std::nullopt;
    std::string text = lines.front();
    for (std::size_t i = 1; i < lines.size(); ++i)
        text += "\n" + lines[i];
    return text;
}

namespace {

std::string joinedNames(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

} // namespace

PinStore::PinStore(ModelContext& context, PinService service, std::shared_ptr<Desktop> desktop)
    : context_(context), service_(std::move(service)), desktop_(std::move(desktop)) {}

PinStore& PinStore::shared() {
    static PinStore store(sharedModelContainer().mainContext(), PinService::makeDefault(),
                          std::make_shared<HeadlessDesktop>());
    return store;
}

void PinStore::setMessage(Message& field, Message value, ObserverList<const Message&>& observers) {
    if (field == value)
        return;
    field = std::move(value);
    observers.notify(field);
    if (field)
        desktop_->announce(*field);
}

void PinStore::setErrorMessage(Message message) {
    setMessage(errorMessage_, std::move(message), errorMessageChanged_);
}

void PinStore::setNoticeMessage(Message message) {
    setMessage(noticeMessage_, std::move(message), noticeMessageChanged_);
}

void PinStore::saveIgnoringErrors() {
    try {
        context_.save();
    } catch (const std::exception&) {
        // Save failures are never reported; the next save tries again.
    }
}

std::vector<PinnedFolderPtr> PinStore::fetchPins() {
    try {
        return context_.fetchAll();
    } catch (const std::exception&) {
        return {};
    }
}

void PinStore::refreshPaths() {
    for (const auto& pin : fetchPins())
        service_.resolveLocation(*pin);
    saveIgnoringErrors();
}

void PinStore::reapplyAll() {
    for (const auto& pin : fetchPins()) {
        try {
            service_.refreshStatus(*pin);
        } catch (const std::exception&) {
            // A pin that cannot be checked now is checked again next time.
        }
    }
    saveIgnoringErrors();
}

void PinStore::add(const std::vector<std::string>& urls) {
    if (urls.empty())
        return;
    setNoticeMessage(std::nullopt);
    refreshPaths();

    std::vector<std::string> failures;
    std::set<std::string> handled;
    for (const auto& url : urls) {
        // Failures name the folder as the caller gave it, not where it resolved.
        auto callerName = [&] { return FolderPath::displayName(FolderPath::standardized(url)); };
        auto pins = fetchPins();
        std::string resolved;
        try {
            resolved = service_.validate(url, pins);
        } catch (const std::exception& error) {
            failures.push_back(failureLine(callerName(), error));
            continue;
        }
        if (!handled.insert(FolderPath::comparisonKey(resolved)).second)
            continue;

        PinnedFolderPtr pin;
        try {
            pin = service_.makePin(resolved, pins, currentDate());
        } catch (const std::exception& error) {
            failures.push_back(failureLine(callerName(), error));
            continue;
        }
        context_.insert(pin);
        saveIgnoringErrors();
        try {
            service_.applyPinDate(*pin);
        } catch (const std::exception& error) {
            context_.remove(pin);
            saveIgnoringErrors();
            failures.push_back(failureLine(callerName(), error));
        }
    }
    setErrorMessage(joinedLines(failures));
}

void PinStore::unpin(const std::vector<std::string>& urls) {
    refreshPaths();
    auto pins = fetchPins();
    std::vector<std::string> failures, resetNames, untouchedNames;
    for (const auto& url : urls) {
        std::string resolved = FolderPath::normalized(url);
        if (auto match = PinService::matchingPin(pins, resolved)) {
            if (auto failure = remove(match))
                failures.push_back(*failure);
            continue;
        }
        const std::string name = FolderPath::displayName(resolved);
        try {
            if (service_.restoreOrphan(resolved, currentDate()))
                resetNames.push_back(name);
            else
                untouchedNames.push_back(name);
        } catch (const std::exception& error) {
            failures.push_back(failureLine(name, error));
        }
    }

    std::vector<std::string> notices;
    if (!resetNames.empty())
        notices.push_back(
            translate(SKYLOOM_TRANSLATE_NOOP(
                "Skyloom", "목록에 없던 폴더의 '추가된 날짜'를 지금으로 되돌렸어요: ")) +
            joinedNames(resetNames));
    if (!untouchedNames.empty())
        notices.push_back(translate(SKYLOOM_TRANSLATE_NOOP(
                              "Skyloom", "Skyloom으로 고정한 폴더가 아니라 바꾸지 않았어요: ")) +
                          joinedNames(untouchedNames));
    setNoticeMessage(joinedLines(notices));
    setErrorMessage(joinedLines(failures));
}

PinStore::Message PinStore::remove(const PinnedFolderPtr& pin) {
    const Date now = currentDate();
    try {
        service_.withPinAccess(
            *pin, [&](const std::string& url) { service_.restoreAddedDate(url, *pin, now); });
    } catch (const std::exception& error) {
        return failureLine(pin->displayName(), error);
    }
    context_.remove(pin);
    saveIgnoringErrors();
    return std::nullopt;
}

void PinStore::unpinAll() {
    std::vector<std::string> failures;
    for (const auto& pin : fetchPins()) {
        const Date now = currentDate();
        if (auto location = service_.resolveLocation(*pin)) {
            try {
                const Date current = service_.dates().readAddedDate(location->path);
                if (current >= pinnedThreshold)
                    service_.dates().writeAddedDate(pin->originalAddedDate().value_or(now),
                                                    location->path);
            } catch (const std::exception& error) {
                failures.push_back(failureLine(FolderPath::displayName(pin->path()), error));
                continue;
            }
        }
        context_.remove(pin);
        saveIgnoringErrors();
    }
    setErrorMessage(joinedLines(failures));
}

void PinStore::chooseFoldersToPin() {
    Desktop::FolderChoice choice;
    choice.prompt = translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "맨 위에 고정"));
    choice.message =
        translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Finder에서 맨 위에 둘 폴더를 고르세요."));
    choice.startDirectory = desktop_->downloadsDirectory();
    choice.allowsMultipleSelection = true;
    desktop_->activate();
    if (auto chosen = desktop_->chooseFolders(choice))
        add(*chosen);
}

void PinStore::regrantAccess(const PinnedFolderPtr& pin) {
    Desktop::FolderChoice choice;
    choice.prompt = translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "허용"));
    choice.message = translate(
        SKYLOOM_TRANSLATE_NOOP("Skyloom", "'%1' 폴더를 다시 고정하려면 이 폴더를 허용해 주세요."),
        pin->displayName());
    choice.startDirectory = pin->path();
    choice.allowsMultipleSelection = false;
    desktop_->activate();
    auto chosen = desktop_->chooseFolders(choice);
    if (!chosen || chosen->empty())
        return;
    try {
        service_.regrantAccess(*pin, chosen->front());
    } catch (const std::exception& error) {
        setErrorMessage(failureLine(pin->displayName(), error));
        return;
    }
    saveIgnoringErrors();
    setErrorMessage(std::nullopt);
}

void PinStore::showMessagesIfNeeded() {
    if (errorMessage_ || noticeMessage_)
        openManager();
}

void PinStore::reveal(const PinnedFolder& pin) {
    desktop_->reveal(pin.path());
}

void PinStore::open(const PinnedFolder& pin) {
    desktop_->open(pin.path());
}

} // namespace skyloom
