#include "app/shell/DirectUpdater.h"

#include "app/shell/Appcast.h"
#include "core/Translate.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QSettings>

namespace skyloom::app {
namespace {

constexpr auto lastCheckKey = "updates/lastCheck";
constexpr auto intervalKey = "updates/checkInterval";

QString localized(const char* key) {
    return QString::fromStdString(translate(key));
}

QString localized(const char* key, const QString& argument) {
    return QString::fromStdString(translate(key, argument.toStdString()));
}

QSettings settings() {
    return QSettings(QStringLiteral("brindle-engineering"), QStringLiteral("Skyloom"));
}

DirectUpdater::Outcome failure(QString reason) {
    DirectUpdater::Outcome outcome;
    outcome.reason = std::move(reason);
    return outcome;
}

} // namespace

DirectUpdater::Feed DirectUpdater::builtInFeed() {
    return {QUrl(QStringLiteral(SKYLOOM_UPDATE_FEED_URL)), false};
}

DirectUpdater::DirectUpdater(QObject* parent) : DirectUpdater(builtInFeed(), parent) {}

DirectUpdater::DirectUpdater(Feed feed, QObject* parent)
    : QObject(parent), feed_(std::move(feed)), currentVersion_(QStringLiteral(SKYLOOM_VERSION)) {}

DirectUpdater::~DirectUpdater() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        delete reply_;
    }
}

void DirectUpdater::createController() {
    if (!controller_)
        controller_ = std::make_unique<QNetworkAccessManager>();
}

void DirectUpdater::startUpdater() {
    if (qEnvironmentVariableIsSet("XCTestConfigurationFilePath") || started_)
        return;
    started_ = true;
    createController();
    auto store = settings();
    const qint64 last = store.value(lastCheckKey, 0).toLongLong();
    const qint64 interval = store.value(intervalKey, defaultCheckIntervalSeconds).toLongLong();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    // A last check in the future means the clock was wrong then: check now.
    if (last <= 0 || now - last >= interval || last > now)
        check(false);
}

void DirectUpdater::checkForUpdates() {
    createController();
    check(true);
}

void DirectUpdater::check(bool userStarted) {
    if (reply_) {
        // A check is running already; the user hears its result.
        userStarted_ = userStarted_ || userStarted;
        return;
    }
    userStarted_ = userStarted;
    const QString scheme = feed_.url.scheme();
    if (!feed_.url.isValid() ||
        !(scheme == u"https" || (feed_.allowPlainHttp && scheme == u"http"))) {
        finish(failure(localized(SKYLOOM_TRANSLATE_NOOP(
            "Skyloom", "업데이트 주소가 안전한 https 주소가 아니라 확인하지 않았어요."))));
        return;
    }
    QNetworkRequest request(feed_.url);
    request.setTransferTimeout(transferTimeout_);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Skyloom/%1").arg(currentVersion_));
    received_.clear();
    tooLarge_ = false;
    reply_ = controller_->get(request);
    auto refuseTooLarge = [this] {
        tooLarge_ = true;
        reply_->abort();
    };
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this, refuseTooLarge] {
        bool known = false;
        qint64 length = reply_->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && length > maxFeedSize)
            refuseTooLarge();
    });
    connect(reply_, &QNetworkReply::readyRead, this, [this, refuseTooLarge] {
        if (tooLarge_)
            return;
        received_ += reply_->read(maxFeedSize + 1 - received_.size());
        if (received_.size() > maxFeedSize)
            refuseTooLarge();
    });
    connect(reply_, &QNetworkReply::finished, this, &DirectUpdater::replyFinished);
    emit checkingChanged(true);
}

void DirectUpdater::replyFinished() {
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    reply->deleteLater();
    emit checkingChanged(false);
    if (!tooLarge_ && reply->bytesAvailable() > 0)
        received_ += reply->read(maxFeedSize + 1 - received_.size());
    if (received_.size() > maxFeedSize)
        tooLarge_ = true;

    if (tooLarge_)
        return finish(failure(localized(
            SKYLOOM_TRANSLATE_NOOP("Skyloom", "업데이트 정보가 너무 커서 받지 않았어요."))));
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    switch (reply->error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        return finish(failure(
            localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "업데이트 서버가 제때 답하지 않았어요."))));
    default:
        if (status >= 400)
            return finish(failure(localized(
                SKYLOOM_TRANSLATE_NOOP("Skyloom", "업데이트 서버가 오류로 답했어요 (HTTP %1)."),
                QString::number(status))));
        return finish(failure(
            localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "업데이트 서버에 연결하지 못했어요."))));
    }

    auto appcast = Appcast::parse(received_);
    received_.clear();
    if (!appcast)
        return finish(failure(
            localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "업데이트 정보를 읽을 수 없어요."))));

    auto store = settings();
    store.setValue(lastCheckKey, QDateTime::currentSecsSinceEpoch());
    store.setValue(intervalKey,
                   appcast->checkIntervalSeconds.value_or(defaultCheckIntervalSeconds));

    Outcome outcome;
    auto newest = appcast->newest();
    if (newest && compareVersions(newest->version, currentVersion_) > 0) {
        outcome.kind = Outcome::Kind::newer;
        outcome.version = newest->displayVersion;
        outcome.releaseNotes = newest->releaseNotes;
    } else {
        outcome.kind = Outcome::Kind::current;
        outcome.version = currentVersion_;
    }
    finish(outcome);
}

void DirectUpdater::finish(Outcome outcome) {
    const bool userStarted = userStarted_;
    userStarted_ = false;
    if (presenter_)
        presenter_(outcome, userStarted);
    else
        show(outcome, userStarted);
    emit checkFinished(outcome);
}

QString DirectUpdater::text(const Outcome& outcome) {
    switch (outcome.kind) {
    case Outcome::Kind::newer:
        return localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "새 버전(%1)이 나왔어요."),
                         outcome.version);
    case Outcome::Kind::current:
        return localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "최신 버전을 쓰고 있어요."));
    case Outcome::Kind::failed:
        break;
    }
    return localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "업데이트를 확인하지 못했어요."));
}

QString DirectUpdater::detail(const Outcome& outcome, const QString& currentVersion) {
    if (outcome.kind == Outcome::Kind::failed)
        return outcome.reason;
    return localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "지금 쓰는 버전: %1"), currentVersion);
}

void DirectUpdater::show(const Outcome& outcome, bool userStarted) const {
    // The check at start stays quiet unless there is something new.
    if (!userStarted && outcome.kind != Outcome::Kind::newer)
        return;
    auto* box = new QMessageBox(outcome.kind == Outcome::Kind::failed ? QMessageBox::Warning
                                                                      : QMessageBox::Information,
                                localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom 업데이트")),
                                text(outcome), QMessageBox::Ok);
    box->setInformativeText(detail(outcome, currentVersion_));
    // The version comes from the feed: shown as it is written, never as markup.
    box->setTextFormat(Qt::PlainText);
    for (QLabel* label : box->findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Not modal: requests from the command line go on while it is open.
    box->setWindowModality(Qt::NonModal);
    if (outcome.kind == Outcome::Kind::newer && outcome.releaseNotes.isValid() &&
        outcome.releaseNotes.scheme() == u"https") {
        QPushButton* notes =
            box->addButton(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "릴리스 노트 보기")),
                           QMessageBox::ActionRole);
        const QUrl link = outcome.releaseNotes;
        connect(notes, &QPushButton::clicked, box, [link] { QDesktopServices::openUrl(link); });
    }
    box->show();
    box->raise();
    box->activateWindow();
}

} // namespace skyloom::app
