#pragma once

#include "core/ObserverList.h"
#include "core/engine/PinService.h"
#include "core/store/Desktop.h"
#include "core/store/ModelContext.h"

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

    // The process's store on the shared model container, created on first use.
    static PinStore& shared();

    ModelContext& context() { return context_; }
    const PinService& service() const { return service_; }

    const Message& errorMessage() const { return errorMessage_; }
    const Message& noticeMessage() const { return noticeMessage_; }
    void setErrorMessage(Message message);
    void setNoticeMessage(Message message);
    ObserverList<const Message&>& errorMessageChanged() { return errorMessageChanged_; }
    ObserverList<const Message&>& noticeMessageChanged() { return noticeMessageChanged_; }

    // Opens or raises the pin-list window; does nothing until the app sets it.
    std::function<void()> openManager = [] {};

    void setDesktop(std::shared_ptr<Desktop> desktop) { desktop_ = std::move(desktop); }

    void add(const std::vector<std::string>& urls);
    void unpin(const std::vector<std::string>& urls);
    // The failure line, or absent when the pin was undone and removed.
    Message remove(const PinnedFolderPtr& pin);
    void unpinAll();
    void reapplyAll();
    void refreshPaths();
    std::vector<PinnedFolderPtr> fetchPins();
    void chooseFoldersToPin();
    void regrantAccess(const PinnedFolderPtr& pin);
    void showMessagesIfNeeded();
    void reveal(const PinnedFolder& pin);
    void open(const PinnedFolder& pin);

private:
    void setMessage(Message& field, Message value, ObserverList<const Message&>& observers);
    void saveIgnoringErrors();

    ModelContext& context_;
    PinService service_;
    std::shared_ptr<Desktop> desktop_;
    Message errorMessage_;
    Message noticeMessage_;
    ObserverList<const Message&> errorMessageChanged_;
    ObserverList<const Message&> noticeMessageChanged_;
};

// One line of an error message: the folder's name, " — ", the error's text.
std::string failureLine(const std::string& displayName, const std::exception& error);

// Lines joined with "\n"; absent when there are none.
std::optional<std::string> joinedLines(const std::vector<std::string>& lines);

} // namespace skyloom
