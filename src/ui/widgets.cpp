#include "ui/widgets.h"

#include <QAbstractItemModel>
#include <QGuiApplication>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
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

void PlaceBelow(QWidget* window, const QWidget* above) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    constexpr int kGap = 8;
    int left = above->frameGeometry().left();
    int top = above->frameGeometry().bottom() + 1 + kGap;
    left = std::min(left, area.right() + 1 - size.width());
    top = std::min(top, area.bottom() + 1 - size.height());
    window->move(std::max(left, area.left()), std::max(top, area.top()));
}

namespace {
// Longer runs do not fit a line anyway; up to here the square stays small.
constexpr qsizetype kUnbrokenRunMax = 64;

bool HasLongRun(const QString& text) {
    qsizetype run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > kUnbrokenRunMax) return true;
    }
    return false;
}
}  // namespace

void FillTextBox(QPlainTextEdit* box, const QString& text) {
    // Emptied first, so that the old text is never laid out again in the new mode.
    box->clear();
    box->setWordWrapMode(HasLongRun(text) ? QTextOption::WrapAnywhere
                                          : QTextOption::WrapAtWordBoundaryOrAnywhere);
    box->setPlainText(text);
}

void SelectMember(QPlainTextEdit* box, size_t index) {
    // A run asks for one member after the other: the next search starts where
    // the last one ended, as long as nobody changed the text in between.
    constexpr const char* kLast = "sonavixSelectedMember";
    const QTextDocument* document = box->document();
    const QString text = document->toPlainText();
    const auto isDigit = [&text](qsizetype i) { return text[i] >= u'0' && text[i] <= u'9'; };
    qsizetype pos = 0;
    size_t at = 0;
    const QList<QVariant> last = box->property(kLast).toList();
    if (last.size() == 3 && last[0].toInt() == document->revision() &&
        last[1].toULongLong() + 1 == index) {
        pos = last[2].toLongLong();
        at = index;
    }
    const qsizetype n = text.size();
    for (;; ++at) {
        while (pos < n && !isDigit(pos)) ++pos;
        if (pos >= n) return;
        qsizetype end = pos;
        while (end < n && isDigit(end)) ++end;
        if (at == index) {
            QTextCursor cursor(box->document());
            cursor.setPosition(static_cast<int>(pos));
            cursor.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
            box->setTextCursor(cursor);
            box->ensureCursorVisible();
            box->setProperty(kLast,
                             QList<QVariant>{document->revision(), static_cast<qulonglong>(index),
                                             static_cast<qlonglong>(end)});
            return;
        }
        pos = end;
    }
}

void WrapLongRunsAnywhere(QPlainTextEdit* box) {
    // The document reports a change before its layout sees it, so the mode is
    // switched in time for a long paste.
    QObject::connect(
        box->document(), &QTextDocument::contentsChange, box, [box](int position, int, int added) {
            if (added <= kUnbrokenRunMax || box->wordWrapMode() == QTextOption::WrapAnywhere)
                return;
            for (QTextBlock block = box->document()->findBlock(position);
                 block.isValid() && block.position() <= position + added; block = block.next())
                if (HasLongRun(block.text())) {
                    box->setWordWrapMode(QTextOption::WrapAnywhere);
                    return;
                }
        });
}

// A text box lays out each line as a whole, which for one line of many
// megabytes takes minutes. A long list therefore gets a line break in place of
// the blank after every 16th member; the members and their order stay, and
// playback reads line breaks as separators like blanks.
namespace {
constexpr size_t kLongListBytes = size_t{64} * 1024;
constexpr int kMembersPerLine = 16;
}  // namespace

QString ListForDisplay(const std::string& list) {
    if (list.size() <= kLongListBytes) return QString::fromStdString(list);
    std::string text = list;
    int members = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == ',' && text[i + 1] == ' ' && ++members % kMembersPerLine == 0)
            text[i + 1] = '\n';
    return QString::fromStdString(text);
}

void WatchModel(QAbstractItemModel* model, QObject* context, const std::function<void()>& changed) {
    QObject::connect(model, &QAbstractItemModel::dataChanged, context, changed);
    QObject::connect(model, &QAbstractItemModel::modelReset, context, changed);
    QObject::connect(model, &QAbstractItemModel::rowsInserted, context, changed);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, context, changed);
}
