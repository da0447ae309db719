#pragma once

#include <optional>
#include <string>
#include <vector>

namespace skyloom {

// What the pin store asks of the desktop. The app implements it with Qt; the
// command line and the tests without.
class Desktop {
public:
    struct FolderChoice {
        std::string prompt;  // the confirm button
        std::string message; // shown above the folders
        std::optional<std::string> startDirectory;
        bool allowsMultipleSelection = true;
    };

    virtual ~Desktop() = default;

    // Runs a modal folder chooser. Absent when the user cancelled.
    virtual std::optional<std::vector<std::string>> chooseFolders(const FolderChoice& choice) = 0;
    // Shows the file manager with the folder selected.
    virtual void reveal(const std::string& path) = 0;
    // Opens the folder in the file manager.
    virtual void open(const std::string& path) = 0;
    // Tells assistive technologies about a new message.
    virtual void announce(const std::string& text) = 0;
    // Brings the application to the front before a modal chooser.
    virtual void activate() {}
    // The user's Downloads folder, where the chooser starts.
    virtual std::optional<std::string> downloadsDirectory() const { return std::nullopt; }
};

// A desktop without windows: choosers are cancelled, nothing is shown.
class HeadlessDesktop final : public Desktop {
public:
    std::optional<std::vector<std::string>> chooseFolders(const FolderChoice&) override {
        return std::nullopt;
    }
    void reveal(const std::string&) override {}
    void open(const std::string&) override {}
    void announce(const std::string&) override {}
};

} // namespace skyloom
