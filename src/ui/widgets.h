#pragma once
// Small helpers for placing controls at their pixel positions.
#include <QLabel>
#include <QPlainTextEdit>
#include <QWidget>
#include <functional>
#include <string>

class QAbstractItemModel;

// Places a control at left, top, width, height of its parent's client area.
template <typename W>
W* Place(W* widget, int left, int top, int width, int height) {
    widget->setGeometry(left, top, width, height);
    return widget;
}

// Widens a captioned control whose text the font draws wider than its box.
void FitWidth(QWidget* widget);

// A label placed by its top-left corner, sized to its caption.
QLabel* PlaceLabel(QWidget* parent, const QString& caption, int left, int top);

// SetHelpContext and HelpContextOf: the help number that F1 on a control opens.
#include "help/d6onhelpfix.h"

// Moves a top-level window to the centre of its screen's free area.
void CentreOnScreen(QWidget* window);

// Moves a top-level window below another (the keyboard window, which stays on
// top), so that it covers none of the window's controls, and wholly onto the
// screen; where the screen is too small, its title bar stays on it.
void PlaceBelow(QWidget* window, const QWidget* above);

// Makes a label look and act like a link: blue, underlined, hand cursor.
void StyleAsLink(QLabel* label);

// Fills a text box that the program writes to, so that the window stays
// responsive with any text up to the box's capacity. Word wrapping lays out a
// long run without a blank (a member of a million digits) in time that grows
// with the square of its length; a text holding such a run wraps anywhere.
void FillTextBox(QPlainTextEdit* box, const QString& text);
// Lets a box that the user may paste into switch to wrapping anywhere when a
// long run arrives, before it is laid out.
void WrapLongRunsAnywhere(QPlainTextEdit* box);

// Selects the member with this index (counted from 0) as a run reads the box:
// the index-th run of digits, whatever stands between them, and scrolls it into
// view. Past the last member nothing changes.
void SelectMember(QPlainTextEdit* box, size_t index);

// An explicit list as its box shows it: a long one broken into lines.
QString ListForDisplay(const std::string& list);

// Calls changed in context whenever the model's rows or values change.
void WatchModel(QAbstractItemModel* model, QObject* context, const std::function<void()>& changed);
