#include "help/d6onhelpfix.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QWidget>
#include <algorithm>

#include "help/hh.h"
#include "help/hh_funcs.h"

namespace {
constexpr const char* kHelpContextProperty = "HelpContext";

// Hands a command to the application's help event. There is no classic help
// engine behind a command the hook passes on, so nothing more happens to it.
void SendHelpCommand(uint16_t command, int32_t data) {
    bool callHelp = true;
    if (ApplicationOnHelp()) ApplicationOnHelp()(command, data, callHelp);
}

// The highlighted item of the open menu, when it has a context of its own:
// an open menu keeps the focus where it was, so the item comes first.
int ContextOfHighlightedItem() {
    const auto* menu = qobject_cast<const QMenu*>(QApplication::activePopupWidget());
    const QAction* item = menu ? menu->activeAction() : nullptr;
    return item ? item->property(kHelpContextProperty).toInt() : 0;
}
}  // namespace

void SetHelpContext(QWidget* widget, int context) {
    widget->setProperty(kHelpContextProperty, context);
}

void SetHelpContext(QAction* item, int context) {
    item->setProperty(kHelpContextProperty, context);
}

QWidget* ControlWithHelp(QWidget* widget) {
    for (; widget; widget = widget->parentWidget())
        if (widget->property(kHelpContextProperty).toInt()) return widget;
    return nullptr;
}

int HelpContextOf(const QWidget* widget) {
    const QWidget* w = ControlWithHelp(const_cast<QWidget*>(widget));
    return w ? w->property(kHelpContextProperty).toInt() : 0;
}

int32_t PackPopupPosition(QPoint p) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(p.y())) << 16) |
                                static_cast<uint16_t>(p.x()));
}

void THTMLHelpViewer::ShowHelp(int context) {
    QPoint where;
    if (QWidget* control = ControlWithHelp(QApplication::focusWidget()))
        where = control->mapToGlobal(QPoint(0, 0));
    SendHelpCommand(HELP_SETPOPUP_POS, PackPopupPosition(where));
    SendHelpCommand(HELP_CONTEXT, context);
}

int THelpSelector::SelectViewer(const std::vector<HelpViewerBase*>& viewers) const {
    for (size_t i = 0; i < viewers.size(); ++i)
        if (viewers[i]->GetViewerName() == "D6OnHelpFix") return static_cast<int>(i);
    return viewers.empty() ? -1 : 0;
}

HelpManager& HelpManager::Instance() {
    static HelpManager manager;
    return manager;
}

void HelpManager::RegisterViewer(HelpViewerBase* viewer) { viewers_.push_back(viewer); }

void HelpManager::UnregisterViewer(HelpViewerBase* viewer) {
    viewers_.erase(std::remove(viewers_.begin(), viewers_.end(), viewer), viewers_.end());
}

HelpViewerBase* HelpManager::Pick(bool (*claims)(HelpViewerBase*, const void*), const void* arg) {
    std::vector<HelpViewerBase*> willing;
    for (HelpViewerBase* v : viewers_)
        if (claims(v, arg)) willing.push_back(v);
    if (willing.size() <= 1) return willing.empty() ? nullptr : willing.front();
    const int chosen = selector_.SelectViewer(willing);
    return chosen < 0 ? nullptr : willing[chosen];
}

void HelpManager::HelpContext(int context) {
    if (winHelpTester_.CanShowContext(context, "")) return;
    auto claims = [](HelpViewerBase* v, const void* c) {
        return v->UnderstandsContext(*static_cast<const int*>(c));
    };
    if (HelpViewerBase* v = Pick(claims, &context)) v->ShowHelp(context);
}

bool HelpManager::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        watched->isWidgetType()) {
        // F1 belongs to the focused control, whichever object saw the key first.
        int context = ContextOfHighlightedItem();
        if (!context) context = HelpContextOf(QApplication::focusWidget());
        if (context) HelpContext(context);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

HelpRouting::HelpRouting() {
    HelpManager::Instance().RegisterViewer(&viewer_);
    qApp->installEventFilter(&HelpManager::Instance());
}

HelpRouting::~HelpRouting() {
    if (qApp) qApp->removeEventFilter(&HelpManager::Instance());
    HelpManager::Instance().UnregisterViewer(&viewer_);
}
