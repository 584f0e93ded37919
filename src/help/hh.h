#pragma once
// The help hook: it takes over the application's help event and opens the
// topic of a context number in the help file.
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class QWidget;

// The application's help event: command, data, pass-on flag out -> handled.
using HelpEvent = std::function<bool(uint16_t command, int32_t data, bool& callHelp)>;
HelpEvent& ApplicationOnHelp();

// Classic help commands that reach the help event.
enum : uint16_t {
    HELP_CONTEXT = 1,
    HELP_CONTENTS = 3,
    HELP_CONTEXTPOPUP = 8,
    HELP_SETPOPUP_POS = 13,
    HELP_KEY = 257,
};

// "HELP_CONTEXT (1)", "?? (99)": the command's name for the log.
std::string HelpCommandName(uint16_t command);

// Result codes of HHHelpContext and ShowContext.
enum : int { HH_OK = 0, HH_NOT_INSTALLED = 1, HH_NO_KEYHH = 2, HH_NO_HH = 3 };

// The help viewer's programming interface: command 15 opens a context
// number's topic and returns its window; 18 closes every help window.
enum : unsigned { HH_HELP_CONTEXT = 15, HH_CLOSE_ALL = 18 };
QWidget* HtmlHelp(QWidget* owner, const std::string& path, unsigned command, uintptr_t data);

int HHHelpContext(const std::string& helpFile, int32_t context, const std::string& windowDef,
                  int hostType);
int ShowContext(const std::string& path, int32_t context, int hostType);
// Shows the result's message (none for 0) in a warning box and logs it.
void HHShowError(int code);
// Closes all help windows, when the viewer is loaded.
void HHCloseAll();

// Tests replace the warning and message boxes by a recorder; nullptr restores them.
void SetHelpMessageSink(std::function<void(const QString&)> sink);
// A plain message box (the start-up check's message).
void ShowPlainMessage(const QString& text);

class THookHelpSystem {
public:
    THookHelpSystem(const std::string& helpFile, const std::string& windowDefinition,
                    uint8_t hostType);
    ~THookHelpSystem();
    THookHelpSystem(const THookHelpSystem&) = delete;
    THookHelpSystem& operator=(const THookHelpSystem&) = delete;

    bool HelpHook(uint16_t Command, int32_t Data, bool& CallHelp);

    std::string HelpFile, WindowDefinition;
    uint8_t HostType;
    // Optional callbacks for context and popup requests; this program sets neither.
    std::function<int(int32_t)> OnContextRequest;
    std::function<int(int32_t, int, int)> OnPopupRequest;
    int PopupX = 0, PopupY = 0;

private:
    HelpEvent savedOnHelp_;
};
