#pragma once

#include "app/views/AppActions.h"
#include "core/store/PinStore.h"

#include <QWidget>

class QPushButton;

namespace skyloom::app {

// The welcome shown on first run: where the app lives, how to sort the file
// manager, that unpinning restores the date; then pick folders or leave.
// Each button and the window going away record that it was seen.
class OnboardingView : public QWidget {
    Q_OBJECT
public:
    OnboardingView(PinStore& store, AppActions actions, QWidget* parent = nullptr);
    ~OnboardingView() override;

    // 460 wide, as high as its wrapped texts need at that width.
    QSize sizeHint() const override;

    QPushButton* laterButton() const { return later_; }
    QPushButton* chooseButton() const { return choose_; }

signals:
    // The window hosting the view closes on it.
    void finished();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void later();
    void choose();

    PinStore& store_;
    AppActions actions_;
    QPushButton* later_;
    QPushButton* choose_;
};

} // namespace skyloom::app
