#pragma once

#include "core/store/Desktop.h"

namespace skyloom::app {

// The desktop the pin store talks to, with Qt: the folder chooser, the file
// manager (reveal, open) and announcements for screen readers.
class QtDesktop : public skyloom::Desktop {
public:
    std::optional<std::vector<std::string>> chooseFolders(const FolderChoice& choice) override;
    // Shows the folder selected through org.freedesktop.FileManager1; opens
    // its parent folder when no file manager answers.
    void reveal(const std::string& path) override;
    void open(const std::string& path) override;
    // Makes the banner showing the text speak it (Qt 6.4 has no announcement).
    void announce(const std::string& text) override;
    void activate() override;
    std::optional<std::string> downloadsDirectory() const override;
};

} // namespace skyloom::app
