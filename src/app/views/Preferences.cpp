#include "app/views/Preferences.h"

#include <QSettings>

namespace skyloom::app {
namespace {

constexpr const char* hasSeenOnboardingKey = "hasSeenOnboarding";
constexpr const char* organization = "brindle-engineering";
constexpr const char* application = "Skyloom";

} // namespace

bool hasSeenOnboarding() {
    QSettings file(QSettings::IniFormat, QSettings::UserScope, organization, application);
    return file.value(hasSeenOnboardingKey, false).toBool();
}

void setHasSeenOnboarding(bool value) {
    QSettings file(QSettings::IniFormat, QSettings::UserScope, organization, application);
    file.setValue(hasSeenOnboardingKey, value);
    file.sync();
}

} // namespace skyloom::app
