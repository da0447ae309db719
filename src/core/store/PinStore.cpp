#include "core/store/PinStore.h"

#include "core/PinError.h"
#include "core/Translate.h"
#include "core/engine/Bookmark.h"
#include "core/platform/FolderIdentity.h"
#include "core/record/FolderPath.h"
#include "core/store/ModelContainer.h"
#include "core/store/StoreRecovery.h"

#include <map>
#include <set>
#include <utility>

namespace skyloom {

std::string failureLine(const std::string& displayName, const std::exception& error) {
    return failureLine(displayName, errorDescription(error));
}

std::string failureLine(const std::string& displayName, const std::string& reason) {
    return displayName + " \u2014 " + reason;
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

namespace {

PinStore*& sharedInstance() {
    static PinStore* instance = nullptr;
    return instance;
}

std::shared_ptr<Desktop>& installedDesktop() {
    static std::shared_ptr<Desktop> desktop;
    return desktop;
}

} // namespace

PinStore::PinStore(ModelContext& context, PinService service, std::shared_ptr<Desktop> desktop)
    : context_(context), service_(std::move(service)), desktop_(std::move(desktop)) {
    // A newly observed earlier date is saved the moment the engine records
    // it, before the engine writes the pin date over it; a failed save
    // throws out of the engine so that nothing is written.
    changeToken_ = context_.changes().add([this](const ModelChange& change) {
        if (savesBeforeDateWrite_ && change.kind == ModelChange::Kind::updated &&
            change.field == PinnedFolder::Field::originalAddedDate)
            save();
    });
}

PinStore::~PinStore() {
    context_.changes().remove(changeToken_);
    if (sharedInstance() == this)
        sharedInstance() = nullptr;
}

PinStore& PinStore::shared() {
    static PinStore store(sharedModelContainer().mainContext(), PinService::makeDefault(),
                          installedDesktop() ? installedDesktop()
                                             : std::make_shared<HeadlessDesktop>());
    sharedInstance() = &store;
    return store;
}

void PinStore::installDesktop(std::shared_ptr<Desktop> desktop) {
    if (PinStore* store = sharedInstance())
        store->setDesktop(desktop);
    installedDesktop() = std::move(desktop);
}

std::string PinStore::saveFailedText() {
    return translate(SKYLOOM_TRANSLATE_NOOP(
        "Skyloom", "고정 목록을 저장하지 못했어요. 저장 공간을 확인한 뒤 다시 시도하세요."));
}

std::string PinStore::readFailedText() {
    return translate(
        SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정 목록을 읽지 못했어요. 잠시 뒤 다시 시도하세요."));
}

std::string PinStore::inMemoryRefusal() {
    return storeUnavailableMessage() + "\n" +
           translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "아무 폴더도 바꾸지 않았어요."));
}

std::string PinStore::awayText() {
    return translate(SKYLOOM_TRANSLATE_NOOP(
        "Skyloom",
        "지금 찾을 수 없어 원래 날짜로 되돌리지 못했어요. 다시 연결되면 자동으로 되돌려요."));
}

std::string PinStore::removedAwayText() {
    return translate(SKYLOOM_TRANSLATE_NOOP(
        "Skyloom", "목록에서 지웠어요. 폴더를 찾을 수 없어 2100년 날짜가 남아 있어요. 다시 "
                   "연결된 뒤 한 번 고정 해제하면 원래 날짜로 돌아가요."));
}

std::string PinStore::unpinAllAwayText() {
    return translate(SKYLOOM_TRANSLATE_NOOP(
        "Skyloom",
        "지금 찾을 수 없는 폴더는 목록에 남았다가, 다시 연결되면 원래 날짜로 돌아가요."));
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

PinStore::Hold::Hold(PinStore& store) : store_(store) {
    ++store_.operations_;
}

PinStore::Hold::~Hold() {
    store_.finishOperation();
}

void PinStore::finishOperation() {
    if (--operations_ > 0)
        return;
    // What was asked for meanwhile, in the order asked; each call is an
    // operation of its own and may let in and defer more.
    while (operations_ == 0 && !deferred_.empty()) {
        auto next = std::move(deferred_.front());
        deferred_.pop_front();
        try {
            next();
        } catch (...) {
            // Each operation reports through the messages; nothing may
            // escape from the end of another.
        }
    }
    if (operations_ == 0)
        becameIdle_.notify();
}

bool PinStore::defers(std::function<void()> later) {
    if (letIn_ == 0)
        return false;
    deferred_.push_back(std::move(later));
    return true;
}

void PinStore::breathe() {
    ++letIn_;
    try {
        pacing_.breathe();
    } catch (...) {
        // Letting the window answer is never a reason to stop an operation.
    }
    --letIn_;
}

void PinStore::save() {
    std::exception_ptr failure;
    ++letIn_;
    try {
        pacing_.runAside([&] {
            try {
                context_.save();
            } catch (...) {
                failure = std::current_exception();
            }
        });
    } catch (...) {
        failure = std::current_exception();
    }
    --letIn_;
    if (failure)
        std::rethrow_exception(failure);
}

void PinStore::saveIgnoringErrors() {
    try {
        save();
    } catch (const std::exception&) {
        // Only paths and flags are pending here; the next save tries again.
    }
}

bool PinStore::trySave() {
    try {
        save();
        return true;
    } catch (const StoreError&) {
        return false;
    }
}

bool PinStore::refusesInMemory() {
    if (!context_.isStoredInMemoryOnly())
        return false;
    setErrorMessage(inMemoryRefusal());
    return true;
}

void PinStore::withEarlierDateSaved(PinnedFolder& pin, const std::function<void()>& body) {
    const auto earlier = pin.originalAddedDate();
    savesBeforeDateWrite_ = true;
    try {
        body();
    } catch (const StoreError&) {
        // The earlier date could not be saved, so no pin date was written
        // over it: the record goes back to what the file holds.
        savesBeforeDateWrite_ = false;
        pin.setOriginalAddedDate(earlier);
        throw;
    } catch (...) {
        savesBeforeDateWrite_ = false;
        throw;
    }
    savesBeforeDateWrite_ = false;
}

std::vector<PinnedFolderPtr> PinStore::fetchPins() {
    return readPins().value_or(std::vector<PinnedFolderPtr>{});
}

std::optional<std::vector<PinnedFolderPtr>> PinStore::readPins() {
    try {
        return context_.fetchAll();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void PinStore::refreshPaths() {
    if (defers([this] { refreshPaths(); }))
        return;
    Hold hold(*this);
    for (const auto& pin : fetchPins()) {
        pin->setIsMissing(!service_.resolveLocation(*pin));
        breathe();
    }
    saveIgnoringErrors();
}

PinnedFolderPtr PinStore::pinFor(const std::string& path) {
    return recordAt(FolderPath::normalized(path), true);
}

PinnedFolderPtr PinStore::recordAt(const std::string& normalizedPath, bool followsMove) {
    const auto identity = platform::folderIdentity(normalizedPath);
    if (identity) {
        auto found = context_.fetchByIdentity(*identity);
        if (!found.empty()) {
            const auto& pin = found.front();
            // The folder moved since its path was stored, maybe out of its
            // parent where no lookup finds it: the record follows it here.
            // The bookmark keeps the identity the record had, so every
            // write still checks the folder against the pinned one.
            if (followsMove && !FolderPath::equivalent(pin->path(), normalizedPath)) {
                if (auto kept = ModelContext::identityOf(*pin->bookmark()))
                    pin->setBookmark(Bookmark::encode(*kept, normalizedPath));
                pin->setPath(normalizedPath);
            }
            return pin;
        }
        if (context_.recordsWithoutIdentity() == 0)
            return nullptr;
    }
    // A folder that is there is another folder than any record with an
    // identity kept at its path; one that cannot be reached is known only
    // by the path its record keeps.
    for (const auto& pin : identity ? context_.fetchWithoutIdentity() : fetchPins()) {
        if (identity && pin->bookmark() && ModelContext::identityOf(*pin->bookmark()))
            continue;
        if (FolderPath::equivalent(pin->path(), normalizedPath))
            return pin;
    }
    return nullptr;
}

std::int64_t PinStore::nextOrder() const {
    const auto highest = context_.highestOrder();
    return highest ? *highest + 1 : 0;
}

PinStore::Message PinStore::reapplyOne(const PinnedFolderPtr& pin) {
    try {
        if (pin->isUnpinPending()) {
            if (!service_.completePendingUnpin(*pin, currentDate())) {
                pin->setIsMissing(true);
                return failureLine(pin->displayName(), awayText());
            }
            context_.remove(pin);
            return std::nullopt;
        }
        withEarlierDateSaved(*pin, [&] { service_.refreshStatus(*pin); });
    } catch (const StoreError&) {
        throw;
    } catch (const std::exception& error) {
        // Checked again next time.
        return failureLine(pin->displayName(), error);
    }
    if (pin->isMissing())
        return failureLine(pin->displayName(), PinError::notFound());
    if (pin->needsAccess())
        return failureLine(pin->displayName(), PinError::notOwner());
    if (pin->isLocked())
        return failureLine(pin->displayName(), PinError::locked());
    return std::nullopt;
}

void PinStore::reapplyAll(bool reportsEveryPin) {
    if (defers([this, reportsEveryPin] { reapplyAll(reportsEveryPin); }))
        return;
    Hold hold(*this);
    // In memory there is nothing to re-apply: no record can be made there.
    if (context_.isStoredInMemoryOnly())
        return;
    std::vector<std::string> failures;
    for (const auto& pin : fetchPins()) {
        breathe();
        if (!context_.contains(pin))
            continue; // removed meanwhile
        try {
            if (auto failure = reapplyOne(pin))
                failures.push_back(*failure);
        } catch (const StoreError&) {
            // The store takes no saves now: write no more pin dates.
            failures.push_back(failureLine(pin->displayName(), saveFailedText()));
            setErrorMessage(joinedLines(failures));
            return;
        }
    }
    if (!trySave()) {
        setErrorMessage(saveFailedText());
        return;
    }
    if (reportsEveryPin)
        setErrorMessage(joinedLines(failures));
}

void PinStore::reapply(const std::vector<PinnedFolderPtr>& pins) {
    if (defers([this, pins] { reapply(pins); }))
        return;
    Hold hold(*this);
    if (context_.isStoredInMemoryOnly())
        return;
    for (const auto& pin : pins) {
        breathe();
        if (!context_.contains(pin))
            continue; // removed meanwhile
        try {
            reapplyOne(pin);
        } catch (const StoreError&) {
            setErrorMessage(failureLine(pin->displayName(), saveFailedText()));
            return;
        }
    }
    if (!trySave())
        setErrorMessage(saveFailedText());
}

void PinStore::add(const std::vector<std::string>& urls) {
    if (urls.empty() || defers([this, urls] { add(urls); }))
        return;
    Hold hold(*this);
    setNoticeMessage(std::nullopt);
    if (refusesInMemory())
        return;

    // Failure lines by the caller's order of the folders.
    std::map<std::size_t, std::string> failures;
    struct Made {
        PinnedFolderPtr pin;
        std::size_t index;
        std::string name;
    };
    std::vector<Made> made;
    std::set<std::string> handled;
    for (std::size_t index = 0; index < urls.size(); ++index) {
        breathe();
        const std::string& url = urls[index];
        // Failures name the folder as the caller gave it, not where it resolved.
        auto callerName = [&] { return FolderPath::displayName(FolderPath::standardized(url)); };
        // Pinning again a folder whose unpin waits for it to come back takes
        // that unpin back: the record stays, the pin is put back.
        PinnedFolderPtr pending;
        try {
            pending = recordAt(FolderPath::normalized(url), true);
        } catch (const StoreError&) {
            failures.emplace(index, failureLine(callerName(), readFailedText()));
            continue;
        }
        if (pending && pending->isUnpinPending()) {
            pending->setIsUnpinPending(false);
            try {
                if (auto failure = reapplyOne(pending))
                    failures.emplace(index, *failure);
            } catch (const StoreError&) {
                failures.emplace(index, failureLine(callerName(), saveFailedText()));
            }
            saveIgnoringErrors();
            continue;
        }
        std::string resolved;
        try {
            resolved = service_.validatePinnable(
                url, [this](const std::string& path) { return recordAt(path, false) != nullptr; });
        } catch (const StoreError&) {
            failures.emplace(index, failureLine(callerName(), readFailedText()));
            continue;
        } catch (const std::exception& error) {
            failures.emplace(index, failureLine(callerName(), error));
            continue;
        }
        if (!handled.insert(FolderPath::comparisonKey(resolved)).second)
            continue;

        PinnedFolderPtr pin;
        try {
            pin = service_.makeValidatedPin(resolved, nextOrder(), currentDate());
        } catch (const StoreError&) {
            failures.emplace(index, failureLine(callerName(), readFailedText()));
            continue;
        } catch (const std::exception& error) {
            failures.emplace(index, failureLine(callerName(), error));
            continue;
        }
        context_.insert(pin);
        made.push_back({pin, index, callerName()});
    }

    // Every record that keeps an earlier date is committed at once, before
    // any pin date is written; otherwise the folders stay as they are.
    if (!made.empty() && !trySave()) {
        for (const auto& entry : made) {
            context_.remove(entry.pin);
            failures.emplace(entry.index, failureLine(entry.name, saveFailedText()));
        }
        made.clear();
        // The commit may have gone in with only its folding into the store
        // file failed: then this takes the records out of the file again.
        saveIgnoringErrors();
    }
    bool undone = false;
    for (const auto& entry : made) {
        breathe();
        try {
            service_.applyPinDate(*entry.pin);
        } catch (const std::exception& error) {
            context_.remove(entry.pin);
            undone = true;
            failures.emplace(entry.index, failureLine(entry.name, error));
        }
    }
    if (undone)
        saveIgnoringErrors();
    std::vector<std::string> lines;
    for (auto& [index, line] : failures)
        lines.push_back(std::move(line));
    setErrorMessage(joinedLines(lines));
}

void PinStore::unpin(const std::vector<std::string>& urls) {
    if (defers([this, urls] { unpin(urls); }))
        return;
    Hold hold(*this);
    if (!urls.empty() && context_.isStoredInMemoryOnly()) {
        setNoticeMessage(std::nullopt);
        setErrorMessage(inMemoryRefusal());
        return;
    }
    std::vector<std::string> failures, resetNames, restoredNames, untouchedNames;
    std::vector<Undone> undone;
    std::set<PinnedFolder*> seen;
    for (const auto& url : urls) {
        breathe();
        std::string resolved = FolderPath::normalized(url);
        PinnedFolderPtr match;
        try {
            match = recordAt(resolved, true);
        } catch (const StoreError&) {
            failures.push_back(failureLine(FolderPath::displayName(resolved), readFailedText()));
            continue;
        }
        if (match) {
            if (seen.insert(match.get()).second)
                undone.push_back(undoPin(match, false));
            continue;
        }
        const std::string name = FolderPath::displayName(resolved);
        try {
            switch (service_.restoreOrphan(resolved, currentDate())) {
            case PinService::Restored::fallback:
                resetNames.push_back(name);
                break;
            case PinService::Restored::earlierDate:
                restoredNames.push_back(name);
                break;
            case PinService::Restored::nothing:
                untouchedNames.push_back(name);
                break;
            }
        } catch (const std::exception& error) {
            failures.push_back(failureLine(name, error));
        }
    }

    auto unpinFailures = commitUnpins(undone);
    failures.insert(failures.begin(), unpinFailures.begin(), unpinFailures.end());

    std::vector<std::string> notices;
    if (!restoredNames.empty())
        notices.push_back(
            translate(SKYLOOM_TRANSLATE_NOOP(
                "Skyloom", "목록에 없던 폴더를 폴더에 남아 있던 원래 날짜로 되돌렸어요: ")) +
            joinedNames(restoredNames));
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
    // Only the window asks while an operation lets events in; its line then
    // arrives as the error message, as removeFromList gives it.
    if (defers([this, pin] { removeFromList(pin); }))
        return std::nullopt;
    Hold hold(*this);
    if (context_.isStoredInMemoryOnly())
        return inMemoryRefusal();
    std::vector<Undone> undone{undoPin(pin, pin->isMissing())};
    return joinedLines(commitUnpins(undone));
}

void PinStore::removeFromList(const PinnedFolderPtr& pin) {
    if (defers([this, pin] { removeFromList(pin); }))
        return;
    Hold hold(*this);
    // Asked before an operation that removed the record ended: nothing left.
    if (!context_.contains(pin))
        return;
    setErrorMessage(remove(pin));
}

PinStore::Undone PinStore::undoPin(const PinnedFolderPtr& pin, bool dropsWhenAway) {
    bool found = false;
    try {
        found = service_.withPinAccess(*pin, [&](const PinLocation& location) {
            service_.restoreAddedDate(location.path, *pin, currentDate());
        });
    } catch (const std::exception& error) {
        return Undone{pin, Undone::Outcome::failed, failureLine(pin->displayName(), error)};
    }
    if (found)
        return Undone{pin, Undone::Outcome::restored, std::nullopt};
    if (dropsWhenAway)
        return Undone{pin, Undone::Outcome::dropped,
                      failureLine(pin->displayName(), removedAwayText())};
    // The record is the folder's only way back where it keeps no mark:
    // it stays, and the unpin completes when the folder is found again.
    pin->setIsMissing(true);
    pin->setIsUnpinPending(true);
    return Undone{pin, Undone::Outcome::pending, failureLine(pin->displayName(), awayText())};
}

std::vector<std::string> PinStore::commitUnpins(std::vector<Undone>& undone) {
    using Outcome = Undone::Outcome;
    auto drops = [](const Undone& entry) {
        return entry.outcome == Outcome::restored || entry.outcome == Outcome::dropped;
    };
    for (const auto& entry : undone) {
        if (drops(entry))
            context_.remove(entry.pin);
        breathe();
    }
    // One save for the whole batch, after every date went back.
    if (!trySave()) {
        for (auto& entry : undone) {
            if (entry.outcome == Outcome::failed)
                continue;
            // The record stays in the file, so it stays in the list too; with
            // its folder restored, removing it again only deletes the record.
            if (drops(entry))
                context_.insert(entry.pin);
            entry.line = failureLine(entry.pin->displayName(), saveFailedText());
        }
    }
    std::vector<std::string> lines;
    for (const auto& entry : undone)
        if (entry.line)
            lines.push_back(*entry.line);
    return lines;
}

void PinStore::unpinAll() {
    if (defers([this] { unpinAll(); }))
        return;
    Hold hold(*this);
    if (refusesInMemory())
        return;
    std::vector<Undone> undone;
    for (const auto& pin : fetchPins()) {
        breathe();
        undone.push_back(undoPin(pin, false));
    }
    setErrorMessage(joinedLines(commitUnpins(undone)));
}

void PinStore::chooseFoldersToPin() {
    // The chooser opens once the running operation is done, not over it.
    if (defers([this] { chooseFoldersToPin(); }))
        return;
    if (refusesInMemory())
        return;
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
    if (defers([this, pin] { regrantAccess(pin); }))
        return;
    if (refusesInMemory())
        return;
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
    // The app serves other requests while the chooser runs; one of them may
    // have removed this record meanwhile, and then there is nothing to grant.
    if (!context_.contains(pin))
        return;
    Hold hold(*this);
    try {
        withEarlierDateSaved(*pin, [&] { service_.regrantAccess(*pin, chosen->front()); });
    } catch (const StoreError&) {
        setErrorMessage(failureLine(pin->displayName(), saveFailedText()));
        return;
    } catch (const std::exception& error) {
        setErrorMessage(failureLine(pin->displayName(), error));
        return;
    }
    if (!trySave()) {
        setErrorMessage(failureLine(pin->displayName(), saveFailedText()));
        return;
    }
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

PinStore::Status PinStore::currentStatus(const PinnedFolder& pin) const {
    // Resolved on a copy, so the record is not changed and nothing is saved.
    PinnedFolder probe(pin.path(), pin.bookmark(), pin.originalAddedDate(), pin.order(),
                       pin.pinnedAt());
    auto location = service_.resolveLocation(probe);
    if (!location)
        return Status{probe.path(), true, false, false};
    return Status{location->path, false, pin.needsAccess(), pin.isLocked()};
}

} // namespace skyloom
