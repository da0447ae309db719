#pragma once

#include <QPalette>

#include "core/engine/PinService.h"
#include "core/store/ModelContainer.h"
#include "core/store/PinStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace skyloom::test {

// The desktop seam: records what the store asked of it; the chooser answers
// with `choice`.
class RecordingDesktop final : public Desktop {
public:
    std::optional<std::vector<std::string>> choice;
    std::vector<FolderChoice> choosers;
    std::vector<std::string> revealed;
    std::vector<std::string> opened;
    std::vector<std::string> announced;

    std::optional<std::vector<std::string>> chooseFolders(const FolderChoice& request) override {
        choosers.push_back(request);
        return choice;
    }
    void reveal(const std::string& path) override { revealed.push_back(path); }
    void open(const std::string& path) override { opened.push_back(path); }
    void announce(const std::string& text) override { announced.push_back(text); }
};

// A real pin store on a store file and real folders in a temporary directory.
class ViewStoreFixture : public ::testing::Test {
protected:
    TempDir temp;
    std::unique_ptr<ModelContainer> container =
        ModelContainer::open(temp.makeFolder("store") + "/default.store");
    std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
    PinStore store{container->mainContext(), PinService::makeDefault(), desktop};

    // Pins new folders with these names, in order; returns their paths.
    std::vector<std::string> pinFolders(const std::vector<std::string>& names) {
        std::vector<std::string> paths;
        for (const auto& name : names)
            paths.push_back(temp.makeFolder(name));
        store.add(paths);
        EXPECT_FALSE(store.errorMessage()) << *store.errorMessage();
        return paths;
    }
};

// qt6ct's "darker" colour scheme with Fusion, as a palette.
inline QPalette darkerPalette() {
    QPalette p;
    for (const auto& [role, rgb] : std::initializer_list<std::pair<QPalette::ColorRole, QRgb>>{
             {QPalette::Window, 0x424242},
             {QPalette::WindowText, 0xd6d6d6},
             {QPalette::Base, 0x303030},
             {QPalette::AlternateBase, 0x4a4a4a},
             {QPalette::Text, 0xd6d6d6},
             {QPalette::Button, 0x4c4c4c},
             {QPalette::ButtonText, 0xd6d6d6},
             {QPalette::Highlight, 0x2a82da},
             {QPalette::HighlightedText, 0xffffff},
             {QPalette::PlaceholderText, 0x707070},
             {QPalette::Light, 0x5c5c5c},
             {QPalette::Dark, 0x2a2a2a},
             {QPalette::Mid, 0x383838}})
        p.setColor(role, QColor(rgb));
    return p;
}

} // namespace skyloom::test
