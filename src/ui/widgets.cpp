#include "ui/widgets.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTextOption>
#include <algorithm>

QLabel* PlaceLabel(QWidget* parent, const QString& caption, int left, int top) {
    auto* label = new QLabel(caption, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

void StyleAsLink(QLabel* label) {
    QFont f = label->font();
    f.setUnderline(true);
    label->setFont(f);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(p);
    label->setCursor(Qt::PointingHandCursor);
}

void FitWidth(QWidget* widget) {
    const int needed = widget->sizeHint().width();
    if (needed > widget->width()) widget->resize(needed, widget->height());
}

void CentreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    QRect placed(QPoint(), window->frameGeometry().size());
    placed.moveCenter(area.center());
    // A window taller or wider than the screen keeps its title bar on it.
    window->move(std::max(placed.left(), area.left()), std::max(placed.top(), area.top()));
}

void FillTextBox(QPlainTextEdit* box, const QString& text) {
    // Longer runs do not fit a line anyway; up to here the square stays small.
    constexpr qsizetype kUnbrokenRunMax = 64;
    qsizetype run = 0, longest = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    // Emptied first, so that the old text is never laid out again in the new mode.
    box->clear();
    box->setWordWrapMode(longest > kUnbrokenRunMax ? QTextOption::WrapAnywhere
                                                   : QTextOption::WrapAtWordBoundaryOrAnywhere);
    box->setPlainText(text);
}
