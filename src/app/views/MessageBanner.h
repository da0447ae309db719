#pragma once

#include <QFrame>

class QLabel;
class QToolButton;

namespace skyloom::app {

// A dismissable banner over one of the store's two messages: the symbol in
// the banner's colour, the text as it is, and a close button.
class MessageBanner : public QFrame {
    Q_OBJECT
public:
    enum class Kind { error, notice };

    MessageBanner(Kind kind, QWidget* parent = nullptr);

    // Shows the text, or hides the banner when it is empty.
    void setMessage(const QString& text);
    QString message() const;
    QToolButton* dismissButton() const { return dismiss_; }

    // Tells assistive technologies about the text this banner shows, unless
    // it said it already when it appeared; true when it shows the text.
    bool announce(const QString& text);

signals:
    void dismissed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateColors();

    Kind kind_;
    QLabel* symbol_;
    QLabel* text_;
    QToolButton* dismiss_;
    bool said_ = false;
};

} // namespace skyloom::app
