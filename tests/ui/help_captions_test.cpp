// The help pages against the windows: every caption a page quotes as a menu
// item, button, label, column or window title, marked in its source as
//   <b class="ui">Als MusicXML speichern...</b>  or  „<span class="ui">Tonleiter:</span>“
// is one that some window shows, read from the live widgets; and every item
// of the main window's menus and every button of the voices window is named
// by such a mark on some page.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <string>

#include "support/program.h"
#include "support/window_fixture.h"
#include "ui/fill_dialog.h"
#include "ui/picture_window.h"
#include "ui/scale_steps_dialog.h"
#include "ui/voices_window.h"

namespace {
namespace fs = std::filesystem;

// A menu caption as the user reads it: "&Öffnen..." is "Öffnen...", "&&" one "&".
QString WithoutMnemonic(QString text) {
    text.replace("&&", QChar(1));
    text.remove('&');
    return text.replace(QChar(1), '&');
}

QString HtmlText(std::string text) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", " "}, {"&amp;", "&"}};
    for (const auto& [entity, plain] : entities)
        for (size_t at; (at = text.find(entity)) != std::string::npos;)
            text.replace(at, std::string(entity).size(), plain);
    return QString::fromStdString(text);
}

// Each marked caption with the pages that quote it.
std::map<QString, std::string> MarkedCaptions() {
    static const std::regex kMark(R"re(class="ui">([^<]*)<)re");
    std::map<QString, std::string> marked;
    for (const auto& entry : fs::directory_iterator(SONAVIX_HELP_PAGES)) {
        if (entry.path().extension() != ".htm") continue;
        const std::string text = ReadWholeFile(entry.path());
        for (std::sregex_iterator m(text.begin(), text.end(), kMark), end; m != end; ++m)
            marked[HtmlText((*m)[1].str())] += " " + entry.path().filename().string();
    }
    return marked;
}

// Every caption a window shows, hidden controls included (a page may name the
// tempo frame's label, which shows only once its box is ticked).
void CollectCaptions(const QWidget* window, QSet<QString>& captions) {
    captions << window->windowTitle();
    for (const QAction* item : window->findChildren<QAction*>())
        captions << WithoutMnemonic(item->text());
    for (const QMenu* menu : window->findChildren<QMenu*>())
        captions << WithoutMnemonic(menu->title());
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>())
        captions << WithoutMnemonic(button->text());
    for (const QLabel* label : window->findChildren<QLabel*>()) captions << label->text();
    for (const QGroupBox* box : window->findChildren<QGroupBox*>()) captions << box->title();
    for (const QComboBox* list : window->findChildren<QComboBox*>())
        for (int i = 0; i < list->count(); ++i) captions << list->itemText(i);
    for (const QAbstractItemView* view : window->findChildren<QAbstractItemView*>()) {
        const QAbstractItemModel* model = view->model();
        for (int c = 0; model && c < model->columnCount(); ++c)
            captions << model->headerData(c, Qt::Horizontal).toString();
    }
    for (const QWidget* w : window->findChildren<QWidget*>())
        if (w->isWindow()) captions << w->windowTitle();
}

// The captions of what opens modally or as a popup while ask runs.
void CollectWhileOpen(const std::function<void()>& ask, QSet<QString>& captions) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* open = QApplication::activePopupWidget();
        if (!open) open = QApplication::activeModalWidget();
        if (!open) return;
        seen = true;
        CollectCaptions(open, captions);
        open->close();
    });
    ask();
    EXPECT_TRUE(seen);
}

class HelpCaptionsTest : public WindowTest {
protected:
    QSet<QString> EveryWindowsCaptions() {
        QSet<QString> captions;
        window->miStimmen->trigger();
        window->miAnsicht->trigger();
        for (const QWidget* w :
             {static_cast<QWidget*>(window.get()), static_cast<QWidget*>(window->frmKlavier.get()),
              static_cast<QWidget*>(window->frmStimmen),
              static_cast<QWidget*>(window->Picture.get())})
            CollectCaptions(w, captions);
        for (const FillDialog::Map map : {FillDialog::Map::Notes, FillDialog::Map::Tempi}) {
            const FillDialog dialog(map, 12, {}, window.get());
            CollectCaptions(&dialog, captions);
        }
        CollectWhileOpen([&] { AskScaleStepsText(window.get(), ""); }, captions);
        CollectWhileOpen([&] { AskMeterDialog(window.get(), {}); }, captions);
        // A right click on a table opens its menu.
        CollectWhileOpen([&] { emit window->vleNoten->customContextMenuRequested({}); }, captions);
        captions.remove(QString());
        return captions;
    }
};

TEST_F(HelpCaptionsTest, EveryMarkedCaptionIsOneAWindowShows) {
    const std::map<QString, std::string> marked = MarkedCaptions();
    // The pages mark dozens; a handful would mean the pattern no longer finds them.
    ASSERT_GE(marked.size(), 60u);
    const QSet<QString> captions = EveryWindowsCaptions();
    for (const auto& [caption, pages] : marked)
        EXPECT_TRUE(captions.contains(caption))
            << "\"" << caption.toStdString() << "\" quoted on" << pages;
}

TEST_F(HelpCaptionsTest, EveryMenuItemAndEveryVoicesButtonIsNamedOnAPage) {
    const std::map<QString, std::string> marked = MarkedCaptions();
    QStringList items;
    // A submenu is named by its title; what it lists (files, devices) is the user's.
    for (const QAction* menu : window->menuBar()->actions()) {
        items << menu->text();
        for (const QAction* item : menu->menu()->actions())
            if (!item->isSeparator()) items << item->text();
    }
    window->miStimmen->trigger();
    for (const QPushButton* button : window->frmStimmen->findChildren<QPushButton*>())
        items << button->text();
    ASSERT_GE(items.size(), 30);
    for (const QString& item : items)
        EXPECT_TRUE(marked.count(WithoutMnemonic(item)))
            << "\"" << WithoutMnemonic(item).toStdString() << "\" is named on no page";
}

}  // namespace
