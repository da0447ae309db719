#pragma once

#include "core/ObserverList.h"
#include "core/engine/PinService.h"
#include "core/store/Desktop.h"
#include "core/store/ModelContext.h"

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace skyloom {

// The one controller through which every entry point changes the pin list.
// Outcomes reach the user only through the two observable messages.
class PinStore {
public:
    using Message = std::optional<std::string>;

    PinStore(ModelContext& context, PinService service, std::shared_ptr<Desktop> desktop);
    ~PinStore();
    PinStore(const PinStore&) = delete;
    PinStore& operator=(const PinStore&) = delete;

    // The process's store on the shared model container, created on first use
    // with the desktop installed by installDesktop(), else a headless one.
    static PinStore& shared();
    // The app calls this before anything can be announced (before the first
    // shared()); once the store exists it takes the desktop at once.
    static void installDesktop(std::shared_ptr<Desktop> desktop);

    // Whether the records live only in memory (the store file could not be
    // opened): answers from them are not the user's list.
    bool isStoredInMemoryOnly() const { return context_.isStoredInMemoryOnly(); }

    const Message& errorMessage() const { return errorMessage_; }
    const Message& noticeMessage() const { return noticeMessage_; }
    void setErrorMessage(Message message);
    void setNoticeMessage(Message message);
    ObserverList<const Message&>& errorMessageChanged() { return errorMessageChanged_; }
    ObserverList<const Message&>& noticeMessageChanged() { return noticeMessageChanged_; }

    // Opens or raises the pin-list window; does nothing until the app sets it.
    std::function<void()> openManager = [] {};

    void setDesktop(std::shared_ptr<Desktop> desktop) { desktop_ = std::move(desktop); }

    // How a long operation shares its thread. `breathe` is called between
    // folders, `runAside` runs a step that may block on the disk (a commit)
    // and returns once it is done. The app lets its window answer in both;
    // by default everything runs in place.
    struct Pacing {
        std::function<void()> breathe = [] {};
        std::function<void(const std::function<void()>&)> runAside =
            [](const std::function<void()>& step) { step(); };
    };
    void setPacing(Pacing pacing) { pacing_ = std::move(pacing); }

    // True while an operation (or a held sequence of them) runs. A change
    // asked for by an event let in meanwhile (a click in the window while a
    // command runs) waits and runs right after it, in the order asked.
    bool isBusy() const { return operations_ > 0; }
    // Called each time the store stops being busy.
    ObserverList<>& becameIdle() { return becameIdle_; }

    // Keeps the store busy for a sequence of operations, such as a command
    // and the reading of its messages, so nothing runs in between.
    class Hold {
    public:
        explicit Hold(PinStore& store);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        PinStore& store_;
    };

    // Records inserted, removed and changed, for views and the folder watch.
    ObserverList<const ModelChange&>& changes() { return context_.changes(); }

    void add(const std::vector<std::string>& urls);
    void unpin(const std::vector<std::string>& urls);
    // The failure line, or absent when the pin was undone and removed. A
    // folder that cannot be reached keeps its record (marked missing, its
    // unpin completed once it is back), unless the record was already shown
    // missing: then removing it is the user's explicit choice, the record
    // goes and the line says the folder keeps its pin date.
    Message remove(const PinnedFolderPtr& pin);
    // remove() for the window: its failure line becomes the error message.
    void removeFromList(const PinnedFolderPtr& pin);
    void unpinAll();
    // Re-applies every pin and completes unpins left pending. With
    // `reportsEveryPin` (the reapply command) errorMessage is set to one
    // line per pin that could not be re-applied, or cleared; otherwise only
    // a failed save is shown.
    void reapplyAll(bool reportsEveryPin = false);
    // The same for some pins (the folder watch): each newly seen earlier
    // date is saved before the pin date goes back over it; a failed save
    // leaves that folder as it is and shows in errorMessage.
    void reapply(const std::vector<PinnedFolderPtr>& pins);
    // Brings stored paths and the missing flags up to date: for the list,
    // the window and launch. The verbs find records by the folder's
    // identity and need no refresh.
    void refreshPaths();
    // The record of the folder at `path`, without refreshing the others:
    // found by the folder's identity (a record whose folder moved here takes
    // this path); by its stored path only when the folder cannot be reached
    // (then the record kept for that path, shown missing) or for records
    // whose bookmark gives no identity. Null when none; throws StoreError
    // when the store cannot be read.
    PinnedFolderPtr pinFor(const std::string& path);
    // Every record in order; empty when the store cannot be read.
    std::vector<PinnedFolderPtr> fetchPins();
    // The same, absent when the store cannot be read (for answers that must
    // not pass an unread list off as an empty one).
    std::optional<std::vector<PinnedFolderPtr>> readPins();
    void chooseFoldersToPin();
    void regrantAccess(const PinnedFolderPtr& pin);
    void showMessagesIfNeeded();
    void reveal(const PinnedFolder& pin);
    void open(const PinnedFolder& pin);

    // A folder's state as it is now, for a list that must not write: where
    // the folder is and whether it is missing are looked up afresh; the
    // access and locked flags are those of the last check, since only
    // writing a date can tell them. Neither the record nor the store changes.
    struct Status {
        std::string path;
        bool isMissing = false;
        bool needsAccess = false;
        bool isLocked = false;
    };
    Status currentStatus(const PinnedFolder& pin) const;

    // The reason a folder was left as it was: the list could not be saved.
    static std::string saveFailedText();
    // The same when the list could not be read.
    static std::string readFailedText();
    // What every change answers while the store lives only in memory: an
    // earlier date kept there would be lost when the process ends.
    static std::string inMemoryRefusal();
    // Why an unpin could not finish now: the folder is away.
    static std::string awayText();
    // What removing the record of a folder that is away leaves behind.
    static std::string removedAwayText();
    // A sentence for the unpin-all confirmation: what happens to folders
    // that are away.
    static std::string unpinAllAwayText();

private:
    // True when the call comes from an event let in during an operation:
    // `later` then runs once the store is no longer busy.
    bool defers(std::function<void()> later);
    void finishOperation();
    void breathe();
    void save();
    void setMessage(Message& field, Message value, ObserverList<const Message&>& observers);
    void saveIgnoringErrors();
    bool trySave();
    bool refusesInMemory();
    PinnedFolderPtr recordAt(const std::string& normalizedPath, bool followsMove);
    std::int64_t nextOrder() const;
    void withEarlierDateSaved(PinnedFolder& pin, const std::function<void()>& body);
    // An unpin in two steps: the folder's date goes back (or the record is
    // marked to wait for it), then one save removes the records of a batch.
    struct Undone {
        PinnedFolderPtr pin;
        enum class Outcome { restored, dropped, pending, failed } outcome;
        Message line;
    };
    Undone undoPin(const PinnedFolderPtr& pin, bool dropsWhenAway);
    std::vector<std::string> commitUnpins(std::vector<Undone>& undone);
    // Re-applies one pin, or completes its pending unpin. The failure line
    // when it could not; throws StoreError when a save failed.
    Message reapplyOne(const PinnedFolderPtr& pin);

    ModelContext& context_;
    PinService service_;
    std::shared_ptr<Desktop> desktop_;
    Message errorMessage_;
    Message noticeMessage_;
    ObserverList<const Message&> errorMessageChanged_;
    ObserverList<const Message&> noticeMessageChanged_;
    ObserverList<const ModelChange&>::Token changeToken_ = 0;
    bool savesBeforeDateWrite_ = false;
    Pacing pacing_;
    int operations_ = 0;
    int letIn_ = 0; // inside a pacing call, where others' events run
    std::deque<std::function<void()>> deferred_;
    ObserverList<> becameIdle_;
};

// One line of an error message: the folder's name, " — ", the error's text.
std::string failureLine(const std::string& displayName, const std::exception& error);
std::string failureLine(const std::string& displayName, const std::string& reason);

// Lines joined with "\n"; absent when there are none.
std::optional<std::string> joinedLines(const std::vector<std::string>& lines);

} // namespace skyloom
