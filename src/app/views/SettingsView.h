#pragma once

#include "app/views/AppActions.h"
#include "app/views/LaunchAtLogin.h"
#include "core/ObserverList.h"
#include "core/store/ModelContext.h"
#include "core/store/PinStore.h"

#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;
class QMessageBox;
class QPushButton;

namespace skyloom::app {

// The settings: the store's current message, launch at login, undoing every
// pin, the file-manager entries, how pinning works, and the version, links
// and update check.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    SettingsView(PinStore& store, AppActions actions, QWidget* parent = nullptr);
    // With the autostart entry of a given program folder (tests).
    SettingsView(PinStore& store, AppActions actions, LaunchAtLogin launchAtLogin,
                 QWidget* parent = nullptr);
    ~SettingsView() override;

    // 440 wide, as high as its wrapped texts need at that width.
    QSize sizeHint() const override;

    // "1.2 (7)"; "1.0" and "1" stand in for what is missing.
    static QString versionString(const QString& shortVersion, const QString& buildVersion);
    static QString versionString();
    // The Korean pages when the first preferred language is Korean.
    static QUrl privacyPolicyURL(const QStringList& preferredLanguages);
    static QUrl supportURL(const QStringList& preferredLanguages);

    QCheckBox* launchAtLoginToggle() const { return toggle_; }
    QLabel* launchError() const { return launchError_; }
    QLabel* message() const { return message_; }
    QPushButton* unpinAllButton() const { return unpinAll_; }
    // The confirmation shown by the unpin-all button; null before the first press.
    QMessageBox* unpinAllConfirmation() const { return confirmation_; }

private:
    QWidget* section(const QString& title, QWidget* content, const QString& footer);
    QWidget* buildLaunchSection();
    QWidget* buildManageSection();
    QWidget* buildFileManagerSection();
    QWidget* buildHowItWorksSection();
    QWidget* buildAboutSection();
    bool isUpdateCheckRunning() const;
    void showUpdateCheckState();
    void updateMessage();
    void updateUnpinAll();
    void launchAtLoginChanged(bool value);
    void setLaunchError(const std::optional<QString>& error);
    void confirmUnpinAll();

    PinStore& store_;
    AppActions actions_;
    LaunchAtLogin login_;
    bool launchAtLogin_ = false;
    bool isRevertingToggle_ = false;

    QWidget* messageSection_ = nullptr;
    QLabel* messageSymbol_ = nullptr;
    QLabel* message_ = nullptr;
    QCheckBox* toggle_ = nullptr;
    QWidget* launchErrorRow_ = nullptr;
    QLabel* launchError_ = nullptr;
    QPushButton* unpinAll_ = nullptr;
    QMessageBox* confirmation_ = nullptr;
    QLabel* integrationError_ = nullptr;
    QPushButton* updateButton_ = nullptr;

    ObserverList<const PinStore::Message&>::Token errorToken_;
    ObserverList<const PinStore::Message&>::Token noticeToken_;
    ObserverList<const ModelChange&>::Token changesToken_;
};

} // namespace skyloom::app
