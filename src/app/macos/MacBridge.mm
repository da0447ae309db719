#include "app/macos/MacBridge.h"

#import <AppKit/AppKit.h>
#import <ServiceManagement/ServiceManagement.h>

using skyloom::app::macos::FolderHandler;

@interface SkyloomServices : NSObject
@property(nonatomic) FolderHandler pin;
@property(nonatomic) FolderHandler unpin;
@end

@implementation SkyloomServices
- (std::vector<std::string>)pathsFrom:(NSPasteboard*)pasteboard {
    NSArray* items =
        [pasteboard readObjectsForClasses:@[ [NSURL class] ]
                                  options:@{NSPasteboardURLReadingFileURLsOnlyKey : @YES}];
    std::vector<std::string> paths;
    for (id item in items) {
        // All or nothing: one odd item empties the list.
        if (![item isKindOfClass:[NSURL class]])
            return {};
        paths.emplace_back([[(NSURL*)item path] fileSystemRepresentation]);
    }
    return paths;
}
- (void)pinFolders:(NSPasteboard*)pasteboard userData:(NSString*)userData error:(NSString**)error {
    self.pin([self pathsFrom:pasteboard]);
}
- (void)unpinFolders:(NSPasteboard*)pasteboard
            userData:(NSString*)userData
               error:(NSString**)error {
    self.unpin([self pathsFrom:pasteboard]);
}
@end

namespace skyloom::app::macos {

void provideServices(FolderHandler pin, FolderHandler unpin) {
    static SkyloomServices* provider = [[SkyloomServices alloc] init];
    provider.pin = std::move(pin);
    provider.unpin = std::move(unpin);
    [NSApp setServicesProvider:provider];
    NSUpdateDynamicServices();
}

void observeFinderActivation(std::function<void()> handler) {
    [[[NSWorkspace sharedWorkspace] notificationCenter]
        addObserverForName:NSWorkspaceDidActivateApplicationNotification
                    object:nil
                     queue:[NSOperationQueue mainQueue]
                usingBlock:^(NSNotification* note) {
                  id app = note.userInfo[NSWorkspaceApplicationKey];
                  if ([app isKindOfClass:[NSRunningApplication class]] &&
                      [[(NSRunningApplication*)app bundleIdentifier]
                          isEqualToString:@"com.apple.finder"])
                      handler();
                }];
}

bool wasLaunchedByUser() {
    NSAppleEventDescriptor* event =
        [[NSAppleEventManager sharedAppleEventManager] currentAppleEvent];
    if (!event || event.eventID != 'oapp')
        return false;
    NSAppleEventDescriptor* property = [event paramDescriptorForKeyword:'prdt'];
    return !property || property.enumCodeValue != 'lgit';
}

bool isLoginItemEnabled() {
    return SMAppService.mainAppService.status == SMAppServiceStatusEnabled;
}

std::string setLoginItemEnabled(bool enabled) {
    NSError* error = nil;
    BOOL done = enabled ? [SMAppService.mainAppService registerAndReturnError:&error]
                        : [SMAppService.mainAppService unregisterAndReturnError:&error];
    return done ? std::string() : std::string(error.localizedDescription.UTF8String);
}

void activate() {
    [NSApp activateIgnoringOtherApps:YES];
}

} // namespace skyloom::app::macos
