#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace skyloom::app {

// Checks the update feed (an appcast) for a newer version and tells the
// user; it installs nothing. One check at start when the feed's interval has
// passed since the last one, and one whenever the user asks; no other timers.
class DirectUpdater : public QObject {
    Q_OBJECT
public:
    struct Outcome {
        enum class Kind { newer, current, failed } kind = Kind::failed;
        QString version;   // the newer version, or this one
        QUrl releaseNotes; // for a newer version, when the feed names one
        QString reason;    // why the check failed
    };
    // Shows an outcome; `userStarted` is false for the check at start.
    using Presenter = std::function<void(const Outcome&, bool userStarted)>;

    // A feed larger than this is refused, so a broken or hostile server
    // cannot fill memory; one that stalls is given up after the timeout.
    static constexpr qint64 maxFeedSize = 1024 * 1024;
    static constexpr int transferTimeoutMilliseconds = 30'000;
    static constexpr int defaultCheckIntervalSeconds = 24 * 60 * 60;

    // Where the versions are announced. Only https is read, unless the feed
    // allows plain http (a test's local server).
    struct Feed {
        QUrl url;
        bool allowPlainHttp = false;
    };
    // The feed fixed when the app was built (SKYLOOM_UPDATE_FEED_URL).
    static Feed builtInFeed();

    explicit DirectUpdater(QObject* parent = nullptr);
    DirectUpdater(Feed feed, QObject* parent = nullptr);
    ~DirectUpdater() override;

    // At launch: once, and not when XCTestConfigurationFilePath is set.
    // Checks quietly when the feed's interval has passed since the last
    // check; speaks up only about a newer version.
    void startUpdater();
    // On the user's request: checks now and shows what it found. While a
    // check runs, another is not started; the user hears the running one.
    void checkForUpdates();

    // What fetches the feed; created on first use, kept for the process.
    QNetworkAccessManager* controller() const { return controller_.get(); }
    bool isChecking() const { return reply_ != nullptr; }

    QUrl feedUrl() const { return feed_.url; }
    void setCurrentVersion(const QString& version) { currentVersion_ = version; }
    void setPresenter(Presenter presenter) { presenter_ = std::move(presenter); }
    void setTransferTimeout(int milliseconds) { transferTimeout_ = milliseconds; }

    // What a result tells the user: the main text and the detail.
    static QString text(const Outcome& outcome);
    static QString detail(const Outcome& outcome, const QString& currentVersion);

signals:
    // True when a check starts, false when it has ended (before its outcome
    // is shown and checkFinished is sent).
    void checkingChanged(bool checking);
    void checkFinished(const skyloom::app::DirectUpdater::Outcome& outcome);

private:
    void createController();
    void check(bool userStarted);
    void finish(Outcome outcome);
    void replyFinished();
    void show(const Outcome& outcome, bool userStarted) const;

    std::unique_ptr<QNetworkAccessManager> controller_;
    QNetworkReply* reply_ = nullptr;
    QByteArray received_;
    bool tooLarge_ = false;
    bool userStarted_ = false;
    bool started_ = false;
    Feed feed_;
    QString currentVersion_;
    int transferTimeout_ = transferTimeoutMilliseconds;
    Presenter presenter_;
};

} // namespace skyloom::app
