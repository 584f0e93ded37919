#pragma once
// Routing of help requests: F1 on a control and the help menu become classic
// help commands that reach the application's help event (the hook).
#include <QObject>
#include <QPoint>
#include <QString>
#include <memory>
#include <vector>

class QAction;
class QWidget;

// The help context number of a control; 0 means none of its own.
void SetHelpContext(QWidget* widget, int context);
// A menu item's: F1 while the item is highlighted opens it.
void SetHelpContext(QAction* item, int context);
// The nearest control, from this one outwards, that has a help context.
QWidget* ControlWithHelp(QWidget* widget);
// Its context number, or 0.
int HelpContextOf(const QWidget* widget);

// A viewer registered with the help manager.
class HelpViewerBase {
public:
    virtual ~HelpViewerBase() = default;
    virtual QString GetViewerName() const = 0;
    virtual bool UnderstandsContext(int context) const = 0;
    virtual void ShowHelp(int context) = 0;
};

// Claims every context and turns it into help commands for the help event.
// (Keyword and contents requests have no source here: no index, no contents command.)
class THTMLHelpViewer : public HelpViewerBase {
public:
    QString GetViewerName() const override { return "D6OnHelpFix"; }
    bool UnderstandsContext(int) const override { return true; }
    // Command 13 with the top-left screen position of the focused control's
    // nearest parent with help, then command 1 with the context.
    void ShowHelp(int context) override;
};

// Picks the viewer named "D6OnHelpFix" when several claim a request.
class THelpSelector {
public:
    int SelectViewer(const std::vector<HelpViewerBase*>& viewers) const;
};

// The classic help path: it answers no to every question, so requests go to the viewers.
class TWinHelpTester {
public:
    bool CanShowALink(const QString&, const QString&) const { return false; }
    bool CanShowTopic(const QString&, const QString&) const { return false; }
    bool CanShowContext(int, const QString&) const { return false; }
};

// The help manager: offers requests to the registered viewers and catches F1.
class HelpManager : public QObject {
public:
    static HelpManager& Instance();
    void RegisterViewer(HelpViewerBase* viewer);
    void UnregisterViewer(HelpViewerBase* viewer);
    // Application.HelpContext: the menu item and F1 end here.
    void HelpContext(int context);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    HelpViewerBase* Pick(bool (*claims)(HelpViewerBase*, const void*), const void* arg);
    std::vector<HelpViewerBase*> viewers_;
    THelpSelector selector_;
    TWinHelpTester winHelpTester_;
};

// Registers the viewer and catches F1 for the whole application; undone when the result is
// destroyed.
class HelpRouting {
public:
    HelpRouting();
    ~HelpRouting();

private:
    THTMLHelpViewer viewer_;
};

// The data word of command 13: x in the low 16 bits, y in the high 16 bits.
int32_t PackPopupPosition(QPoint p);
