#include "QtTestMain.h"
#include "ViewStoreFixture.h"
#include "app/views/MessageBanner.h"
#include "app/views/PinListModel.h"
#include "app/views/PinListView.h"
#include "app/views/PinRow.h"
#include "app/views/PinRowListView.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <filesystem>

using namespace skyloom;
using namespace skyloom::app;
using skyloom::test::ViewStoreFixture;

namespace {

class PinListTest : public ViewStoreFixture {
protected:
    std::vector<std::string> modelPaths(const PinListModel& model) {
        std::vector<std::string> paths;
        for (int row = 0; row < model.rowCount(); ++row)
            paths.push_back(model.pin(row)->path());
        return paths;
    }
    std::vector<std::string> storePaths() {
        std::vector<std::string> paths;
        for (const auto& pin : store.fetchPins())
            paths.push_back(pin->path());
        return paths;
    }
    bool sendKey(QWidget* widget, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
        return press.isAccepted();
    }
    void drop(PinListView& view, const QList<QUrl>& urls, bool& accepted) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.dropArea(), &enter);
        EXPECT_TRUE(view.isDropTargeted());
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.dropArea(), &event);
        accepted = event.isAccepted();
        EXPECT_FALSE(view.isDropTargeted());
    }
};

TEST_F(PinListTest, ModelFollowsEveryChangeRowByRow) {
    pinFolders({"a", "b"});
    PinListModel model(store);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    pinFolders({"c"});
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 2);

    auto pins = store.fetchPins();
    pins[1]->setIsMissing(true);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), 1);
    EXPECT_EQ(model.data(model.index(1), PinListModel::SecondLineRole).toString(),
              "찾을 수 없음 — 목록에서 지울 수 있어요");

    // A change of order moves the row both ways.
    pins[0]->setOrder(10);
    EXPECT_EQ(modelPaths(model), storePaths());
    pins[0]->setOrder(-1);
    EXPECT_EQ(modelPaths(model), storePaths());
    EXPECT_EQ(moved.count(), 2);

    EXPECT_FALSE(store.remove(pins[1]));
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(modelPaths(model), storePaths());
    EXPECT_EQ(reset.count(), 0);
}

TEST_F(PinListTest, EmptyStateGivesWayToRowsAndHint) {
    PinListView view(store, PinListView::Style::window, {});
    view.show();
    EXPECT_TRUE(view.emptyState()->isVisible());
    EXPECT_FALSE(view.rowsView()->isVisible());
    EXPECT_FALSE(view.hint()->isVisible());

    pinFolders({"Work"});
    EXPECT_FALSE(view.emptyState()->isVisible());
    EXPECT_TRUE(view.rowsView()->isVisible());
    EXPECT_TRUE(view.hint()->isVisible());

    // A flagged row takes the room of its longer status line at once.
    QApplication::processEvents();
    auto first = view.model().index(0);
    const int normal = view.rowsView()->visualRect(first).height();
    store.fetchPins()[0]->setIsLocked(true);
    QApplication::processEvents();
    EXPECT_GT(view.rowsView()->visualRect(first).height(), normal);
}

TEST_F(PinListTest, BannersStackErrorFirstAndDismissIndependently) {
    PinListView view(store, PinListView::Style::menuBar, {});
    view.show();
    store.setNoticeMessage("notice");
    store.setErrorMessage("error");
    ASSERT_TRUE(view.errorBanner()->isVisible());
    ASSERT_TRUE(view.noticeBanner()->isVisible());
    EXPECT_LT(view.errorBanner()->y(), view.noticeBanner()->y());
    EXPECT_EQ(view.errorBanner()->dismissButton()->accessibleName(), "오류 닫기");
    EXPECT_EQ(view.noticeBanner()->dismissButton()->accessibleName(), "알림 닫기");

    view.errorBanner()->dismissButton()->click();
    EXPECT_FALSE(store.errorMessage());
    EXPECT_FALSE(view.errorBanner()->isVisible());
    EXPECT_EQ(view.noticeBanner()->message(), "notice");
    view.noticeBanner()->dismissButton()->click();
    EXPECT_FALSE(store.noticeMessage());
    EXPECT_FALSE(view.noticeBanner()->isVisible());
}

TEST_F(PinListTest, DropsGoToTheStoreUnfilteredAndAreAccepted) {
    PinListView view(store, PinListView::Style::window, {});
    view.show();
    auto file = temp.makeFile("notes.txt");
    bool accepted = false;
    drop(view, {QUrl::fromLocalFile(QString::fromStdString(file))}, accepted);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(view.errorBanner()->message(), "notes.txt — 폴더만 고정할 수 있어요.");

    auto second = temp.makeFolder("second");
    auto first = temp.makeFolder("first");
    drop(view,
         {QUrl::fromLocalFile(QString::fromStdString(second)),
          QUrl::fromLocalFile(QString::fromStdString(first))},
         accepted);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(storePaths(), (std::vector<std::string>{second, first}));
    EXPECT_FALSE(view.errorBanner()->isVisible());

    // A network address is refused by name, not looked for as a path; the
    // new pin beside it is selected once the batch is in.
    drop(view,
         {QUrl("smb://server/share/Docs"),
          QUrl::fromLocalFile(QString::fromStdString(temp.makeFolder("<h1>Docs")))},
         accepted);
    EXPECT_EQ(store.fetchPins().size(), 3u);
    EXPECT_EQ(store.errorMessage().value_or(""),
              "smb://server/share/Docs \u2014 이 컴퓨터의 폴더만 고정할 수 있어요. 네트워크 "
              "주소는 고정할 수 없어요.");
    QCoreApplication::processEvents();
    EXPECT_EQ(view.rowsView()->currentIndex().row(), 2);
    // A name that looks like markup is shown as it is, tooltips included.
    const QString tip = view.model().data(view.model().index(2), Qt::ToolTipRole).toString();
    EXPECT_TRUE(QTextDocumentFragment::fromHtml(tip).toPlainText().endsWith("/<h1>Docs"))
        << tip.toStdString();
}

TEST_F(PinListTest, DeleteRemovesTheSelectionAndClearsAnEarlierError) {
    auto paths = pinFolders({"a", "b"});
    PinListView view(store, PinListView::Style::window, {});
    auto* rows = view.rowsView();
    store.setErrorMessage("earlier");

    sendKey(rows, Qt::Key_Delete);
    EXPECT_EQ(store.errorMessage(), "earlier");
    EXPECT_EQ(store.fetchPins().size(), 2u);

    rows->setCurrentIndex(view.model().index(1));
    sendKey(rows, Qt::Key_Delete);
    EXPECT_FALSE(store.errorMessage());
    EXPECT_EQ(storePaths(), (std::vector<std::string>{paths[0]}));

    // A folder that is gone keeps its record, shown missing, until it is
    // removed once more ("목록에서 지우기").
    std::filesystem::remove(paths[0]);
    rows->setCurrentIndex(view.model().index(0));
    sendKey(rows, Qt::Key_Delete);
    EXPECT_EQ(store.fetchPins().size(), 1u);
    sendKey(rows, Qt::Key_Delete);
    EXPECT_TRUE(store.fetchPins().empty());
}

TEST_F(PinListTest, ReturnOpensOnlyAnAvailableSelection) {
    auto paths = pinFolders({"here", "gone"});
    store.fetchPins()[1]->setIsMissing(true);
    PinListView view(store, PinListView::Style::window, {});
    auto* rows = view.rowsView();

    EXPECT_FALSE(sendKey(rows, Qt::Key_Return));
    rows->setCurrentIndex(view.model().index(1));
    EXPECT_FALSE(sendKey(rows, Qt::Key_Return));
    EXPECT_TRUE(desktop->opened.empty());

    rows->setCurrentIndex(view.model().index(0));
    EXPECT_TRUE(sendKey(rows, Qt::Key_Return));
    EXPECT_EQ(desktop->opened, (std::vector<std::string>{paths[0]}));
}

TEST_F(PinListTest, ContextMenuOfMissingAndAvailableFolders) {
    pinFolders({"here", "gone"});
    store.fetchPins()[1]->setIsMissing(true);
    PinListView view(store, PinListView::Style::window, {});
    auto describe = [](QMenu& menu) {
        QStringList items;
        for (auto* action : menu.actions())
            items << (action->isSeparator()
                          ? "-"
                          : action->text() + (action->isEnabled() ? "" : "(off)"));
        return items.join("|");
    };
    auto missing = view.rowsView()->contextMenuFor(1);
    EXPECT_EQ(describe(*missing), "열기(off)|파일 관리자에서 보기(off)|-|목록에서 지우기");
    auto available = view.rowsView()->contextMenuFor(0);
    EXPECT_EQ(describe(*available), "열기|파일 관리자에서 보기|-|고정 해제");
    EXPECT_EQ(view.rowsView()->contextMenuFor(2), nullptr);

    available->actions()[1]->trigger();
    EXPECT_EQ(desktop->revealed.size(), 1u);
    missing->actions()[3]->trigger();
    EXPECT_EQ(store.fetchPins().size(), 1u);
}

TEST_F(PinListTest, RowStatusPrecedenceAndButtons) {
    PinnedFolder pin("/nowhere/x", std::nullopt, std::nullopt, 0, 0);
    using B = PinRow::Button;
    pin.setNeedsAccess(true);
    pin.setIsLocked(true);
    EXPECT_EQ(PinRow::secondLine(pin), "접근 권한이 필요해요");
    EXPECT_EQ(PinRow::buttons(pin), (std::vector<B>{B::regrant, B::reveal, B::unpin}));
    pin.setIsMissing(true);
    EXPECT_EQ(PinRow::secondLine(pin), "찾을 수 없음 — 목록에서 지울 수 있어요");
    EXPECT_EQ(PinRow::buttons(pin), (std::vector<B>{B::regrant, B::unpin}));
    EXPECT_EQ(PinRow::buttonTitle(B::unpin, pin), "목록에서 지우기");
    pin.setIsMissing(false);
    pin.setNeedsAccess(false);
    EXPECT_TRUE(PinRow::secondLine(pin).startsWith("잠긴 폴더라 고정이 풀렸을 수 있어요"));
    EXPECT_EQ(PinRow::buttonTitle(B::unpin, pin), "고정 해제");
}

TEST(PinRowPath, AbbreviatesOnlyBelowTheHomeDirectory) {
    EXPECT_EQ(PinRow::abbreviatedPath("/home/mina/Documents/Work", "/home/mina"),
              "~/Documents/Work");
    EXPECT_EQ(PinRow::abbreviatedPath("/home/mina", "/home/mina"), "/home/mina");
    EXPECT_EQ(PinRow::abbreviatedPath("/home/mina/", "/home/mina"), "/home/mina/");
    EXPECT_EQ(PinRow::abbreviatedPath("/home/minaX/Work", "/home/mina"), "/home/minaX/Work");
    EXPECT_EQ(PinRow::abbreviatedPath("/srv/data", "/home/mina"), "/srv/data");
    // Decomposed Hangul is shown composed.
    EXPECT_EQ(PinRow::abbreviatedPath("/home/mina/\u1112\u1161\u11AB", "/home/mina"), "~/\uD55C");
}

TEST_F(PinListTest, ScreenReadersReachRowsButtonsAndFooter) {
    auto paths = pinFolders({"Projects"});
    PinListView menuBar(store, PinListView::Style::menuBar, {});
    PinListView window(store, PinListView::Style::window, {});
    auto names = [](PinListView& view) {
        QStringList found;
        for (auto* button : view.findChildren<QAbstractButton*>())
            if (button->isVisibleTo(&view) || !button->isHidden())
                found << (button->accessibleName().isEmpty() ? button->text()
                                                             : button->accessibleName());
        found.sort();
        return found.join("|");
    };
    EXPECT_EQ(names(menuBar), "Skyloom 종료|관리 창 열기|설정|알림 닫기|오류 닫기|폴더 고정…");
    EXPECT_EQ(names(window), "설정|알림 닫기|오류 닫기|폴더 고정…");
    EXPECT_NE(menuBar.findChild<QWidget*>("pins.add"), nullptr);
    EXPECT_NE(menuBar.findChild<QWidget*>("pins.settings"), nullptr);

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(window.rowsView());
    ASSERT_EQ(list->childCount(), 1);
    QAccessibleInterface* row = list->child(0);
    EXPECT_EQ(row->role(), QAccessible::ListItem);
    EXPECT_EQ(row->text(QAccessible::Name), "Projects");
    EXPECT_EQ(row->text(QAccessible::Description), PinRow::abbreviatedPath(paths[0]));
    ASSERT_EQ(row->childCount(), 2);
    EXPECT_EQ(row->child(0)->text(QAccessible::Name), "파일 관리자에서 보기");
    EXPECT_EQ(row->child(1)->text(QAccessible::Name), "고정 해제");
    EXPECT_EQ(list->indexOfChild(row), 0);

    // A flag change is heard at once: the access button appears.
    store.fetchPins()[0]->setNeedsAccess(true);
    EXPECT_EQ(row->child(0)->text(QAccessible::Name), "다시 확인");

    // Pressing the unpin button as a screen reader does removes the pin.
    row->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCoreApplication::processEvents();
    EXPECT_TRUE(store.fetchPins().empty());
    EXPECT_EQ(list->childCount(), 0);
}

// Every row action from the keyboard alone: Tab to the rows, Shift+F10 or
// the Menu key for the menu, Return and Escape.
TEST_F(PinListTest, KeyboardReachesEveryRowAction) {
    auto paths = pinFolders({"First", "Second"});
    PinListView view(store, PinListView::Style::window, {});
    view.show();
    QApplication::setActiveWindow(&view);
    auto* rows = view.rowsView();

    // The first Tab lands on the first row, with its focus ring.
    rows->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(rows->currentIndex().isValid());
    EXPECT_EQ(rows->currentIndex().row(), 0);

    store.fetchPins()[0]->setNeedsAccess(true);
    QStringList titles;
    QObject::connect(rows, &PinRowListView::menuShown, rows, [&](QMenu* menu) {
        titles.clear();
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                titles << action->text() + (action->isEnabled() ? "" : " (off)");
        QTimer::singleShot(0, menu, &QMenu::close);
    });
    QTest::keyClick(rows, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(titles.join("|"), "열기|파일 관리자에서 보기|다시 확인|고정 해제");
    titles.clear();
    QTest::keyClick(rows, Qt::Key_Down);
    QTest::keyClick(rows, Qt::Key_Menu);
    EXPECT_EQ(titles.join("|"), "열기|파일 관리자에서 보기|고정 해제");

    // "다시 확인" looks again and says how it went: root may change any
    // folder, so the pin is back.
    PinRow::regrantOrCheck(store.fetchPins()[0], store);
    EXPECT_FALSE(store.fetchPins()[0]->needsAccess());
    EXPECT_EQ(store.noticeMessage().value_or(""), "'First' 폴더를 다시 고정했어요.");
    EXPECT_TRUE(desktop->choosers.empty());
}

} // namespace

int main(int argc, char** argv) {
    return runQtTests(argc, argv);
}
