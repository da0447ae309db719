#pragma once

#include "app/views/AppActions.h"
#include "core/ObserverList.h"
#include "core/store/PinStore.h"

#include <QHash>
#include <QPersistentModelIndex>
#include <QWidget>

#include <optional>
#include <string>

class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace skyloom::app {

class MessageBanner;
class PinListModel;
class PinRowListView;

// The list of pinned folders with everything done to it: the rows, the
// store's error and notice banners, dropping folders onto the list, and the
// footer with the add button, the settings button and, in the tray panel,
// the manager and quit buttons.
class PinListView : public QWidget {
    Q_OBJECT
public:
    enum class Style { menuBar, window };

    PinListView(PinStore& store, Style style, AppActions actions, QWidget* parent = nullptr);
    ~PinListView() override;

    Style style() const { return style_; }
    QSize sizeHint() const override;

    // Opens the window with this id, then brings the application forward.
    void openWindowAndActivate(const QString& id);

    PinListModel& model() const { return *model_; }
    PinRowListView* rowsView() const { return rows_; }
    QWidget* emptyState() const { return empty_; }
    QLabel* hint() const { return hint_; }
    QWidget* dropArea() const { return dropArea_; }
    MessageBanner* errorBanner() const { return error_; }
    MessageBanner* noticeBanner() const { return notice_; }
    bool isDropTargeted() const { return isDropTargeted_; }

    QPushButton* addButton() const { return add_; }
    // The hidden alert that tells screen readers when a row turns missing,
    // locked or in need of access.
    QLabel* rowAnnouncer() const { return announcer_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void noteStatus(int row, bool announce = true);
    void buildFooter(QWidget* footer);
    void updateEmptyState();
    void setDropTargeted(bool targeted);
    void dropped(const QList<QUrl>& urls);

    PinStore& store_;
    Style style_;
    AppActions actions_;
    PinListModel* model_;
    QWidget* dropArea_;
    QWidget* highlight_;
    QStackedWidget* stack_;
    PinRowListView* rows_;
    QWidget* empty_;
    QLabel* hint_;
    MessageBanner* error_;
    MessageBanner* notice_;
    QPushButton* add_ = nullptr;
    QLabel* announcer_ = nullptr;
    QHash<std::int64_t, int> statuses_;
    // The newest row of a batch still being inserted, selected once it is in.
    QPersistentModelIndex newestRow_;
    bool isDropTargeted_ = false;
    ObserverList<const PinStore::Message&>::Token errorToken_;
    ObserverList<const PinStore::Message&>::Token noticeToken_;
};

} // namespace skyloom::app
