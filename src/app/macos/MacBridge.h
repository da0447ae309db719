#pragma once

#include <functional>
#include <string>
#include <vector>

namespace skyloom::app::macos {

using FolderHandler = std::function<void(const std::vector<std::string>& paths)>;

// Makes the app the provider of the two Finder Services entries declared in
// Info.plist ("pinFolders", "unpinFolders") and refreshes the Services list.
void provideServices(FolderHandler pin, FolderHandler unpin);

// Calls `handler` each time Finder becomes the active application.
void observeFinderActivation(std::function<void()> handler);

// False when the launch's open-application event says "login item", or when
// there is no such event.
bool wasLaunchedByUser();

// The main-app login item.
bool isLoginItemEnabled();
// Registers or unregisters it; an error text, empty on success.
std::string setLoginItemEnabled(bool enabled);

// Brings the agent app to the front.
void activate();

} // namespace skyloom::app::macos
