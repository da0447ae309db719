#pragma once

#include "core/record/PinStatusText.h"
#include "core/record/PinnedFolder.h"

#include <QIcon>
#include <QRect>
#include <QString>

#include <string>
#include <vector>

class QPainter;
class QStyleOptionViewItem;
class QWidget;

namespace skyloom {
class PinStore;
}

namespace skyloom::app {

// One pinned folder as the list shows it: icon, display name, the status or
// path line, and up to three buttons. Everything is derived from the live
// record each time it is drawn, so a change of the record's flags shows on
// the next paint.
class PinRow {
public:
    using Status = PinStatus;
    enum class Button { regrant, reveal, unpin };

    // The first flag that holds wins: missing, needs access, locked.
    static Status status(const PinnedFolder& pin) { return pinStatus(pin); }
    // The status text of a flagged row, or the abbreviated path of a normal one.
    static QString secondLine(const PinnedFolder& pin);

    // The path with the user's home directory shown as "~", in NFC. Only a
    // path below the home directory is shortened, never the home itself.
    static QString abbreviatedPath(const std::string& path);
    static QString abbreviatedPath(const std::string& path, const std::string& home);
    // The home directory from the user database, else Qt's home path.
    static std::string homeDirectory();

    // The folder's icon, a generic folder when nothing is at the path, a
    // question-mark folder when the pin is missing.
    static QIcon icon(const PinnedFolder& pin);

    // The buttons the row offers, left to right.
    static std::vector<Button> buttons(const PinnedFolder& pin);
    // The button's title: its tooltip and the name a screen reader speaks.
    static QString buttonTitle(Button button, const PinnedFolder& pin);
    static QString buttonIdentifier(Button button);
    // "다시 허용": the folder chooser on the Mac; elsewhere a fresh check of
    // the folder, with a notice of the outcome.
    static void regrantOrCheck(const PinnedFolderPtr& pin, PinStore& store);
    // Runs the button's action on the store.
    static void trigger(Button button, const PinnedFolderPtr& pin, PinStore& store);

    struct Geometry {
        QRect icon;
        QRect name;
        QRect secondLine;
        std::vector<std::pair<Button, QRect>> buttons;
    };
    // Where the parts of a row drawn in `rect` lie.
    static Geometry geometry(const PinnedFolder& pin, const QRect& rect, const QWidget* widget);
    static int height(bool flagged, const QWidget* widget);
    static void paint(QPainter* painter, const QStyleOptionViewItem& option,
                      const PinnedFolder& pin, int pressedButton = -1);
};

} // namespace skyloom::app
