#include "help/hh.h"

#include <QMessageBox>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <filesystem>

#include "common/text.h"
#include "help/help_viewer.h"
#include "help/hh_funcs.h"

namespace {

std::function<void(const QString&)>& MessageSink() {
    static std::function<void(const QString&)> sink;
    return sink;
}

std::string Format(const char* pattern, auto... values) {
    const int n = std::snprintf(nullptr, 0, pattern, values...);
    std::string out(n > 0 ? n : 0, '\0');
    std::snprintf(out.data(), out.size() + 1, pattern, values...);
    return out;
}

// Starts the external viewer of host type 1 or 2 where a system has it;
// false when it is not there.
bool StartHelpProgram(const char* name, const QStringList& arguments) {
    for (const char* dir : {"/usr/bin", "/usr/local/bin"}) {
        const std::string path = std::string(dir) + "/" + name;
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            QProcess::startDetached(QString::fromStdString(path), arguments);
            return true;
        }
    }
    return false;
}

void ShowWarning(const QString& text) {
    if (MessageSink())
        MessageSink()(text);
    else
        QMessageBox::warning(nullptr, "Sonavix", text);
}

}  // namespace

HelpEvent& ApplicationOnHelp() {
    static HelpEvent handler;
    return handler;
}

std::string HelpCommandName(uint16_t command) {
    const char* name = "??";
    switch (command) {
        case 1:
            name = "HELP_CONTEXT";
            break;
        case 2:
            name = "HELP_QUIT";
            break;
        case 3:
            name = "HELP_INDEX or HELP_CONTENTS";
            break;
        case 4:
            name = "HELP_HELPONHELP";
            break;
        case 5:
            name = "HELP_SETINDEX or HELP_SETCONTENTS";
            break;
        case 8:
            name = "HELP_CONTEXTPOPUP";
            break;
        case 9:
            name = "HELP_FORCEFILE";
            break;
        case 10:
            name = "HELP_CONTEXTMENU";
            break;
        case 11:
            name = "HELP_FINDER";
            break;
        case 12:
            name = "HELP_WM_HELP";
            break;
        case 13:
            name = "HELP_SETPOPUP_POS";
            break;
        case 257:
            name = "HELP_KEY";
            break;
        case 258:
            name = "HELP_COMMAND";
            break;
        case 261:
            name = "HELP_PARTIALKEY";
            break;
        case 513:
            name = "HELP_MULTIKEY";
            break;
        case 515:
            name = "HELP_SETWINPOS";
            break;
    }
    return std::string(name) + " (" + std::to_string(command) + ")";
}

QWidget* HtmlHelp(QWidget*, const std::string& path, unsigned command, uintptr_t data) {
    switch (command) {
        case HH_HELP_CONTEXT:
            return HelpViewerWindow::ShowContext(path, static_cast<uint32_t>(data));
        case HH_CLOSE_ALL:
            HelpViewerWindow::CloseAll();
            return nullptr;
    }
    return nullptr;
}

int ShowContext(const std::string& path, int32_t context, int hostType) {
    HHLog(Format("ShowContext(\"%s\", %d)", path.c_str(), context));
    const QString file = QString::fromStdString(path);
    int result = HH_OK;
    if (!HHState().hhInstalled) {
        result = HH_NOT_INSTALLED;
    } else if (hostType == 0) {
        HelpFileFault fault = HelpFileFault::kNone;
        if (QWidget* window =
                HelpViewerWindow::ShowContext(path, static_cast<uint32_t>(context), &fault)) {
            window->raise();
            window->activateWindow();
        } else {
            // The result stays 0 as the viewer's own call leaves it; the user
            // still learns why nothing opened.
            ShowWarning(QString::fromStdString(
                HelpFileFaultText(fault, path, static_cast<uint32_t>(context))));
        }
    } else if (hostType == 1) {
        if (!StartHelpProgram("KeyHH.EXE", {"-win", "-#mapid", QString::number(context), file}))
            result = HH_NO_KEYHH;
    } else if (hostType == 2) {
        if (!StartHelpProgram("HH.EXE", {"-mapid", QString::number(context), file}))
            result = HH_NO_HH;
    }
    HHLog(Format("  returned - %d", result));
    return result;
}

int HHHelpContext(const std::string& helpFile, int32_t context, const std::string& windowDef,
                  int hostType) {
    HHLog(Format("HHHelpContext(\"%s\", %d, \"%s\", %d)", helpFile.c_str(), context,
                 windowDef.c_str(), hostType));
    std::string path = helpFile;
    for (size_t at; (at = path.find("%20")) != std::string::npos;) path.replace(at, 3, " ");
    return ShowContext(Trimmed(path, " ", " "), context, hostType);
}

void HHShowError(int code) {
    if (code == HH_OK) return;
    const char* text = "Unknown error returned by HHHelpContext";
    switch (code) {
        case HH_NOT_INSTALLED:
            text = "MS Html Help is not installed on this PC.";
            break;
        case HH_NO_KEYHH:
            text = "System file KeyHH.EXE was not found in the Windows folder.";
            break;
        case HH_NO_HH:
            text = "System file HH.EXE was not found in the Windows folder.";
            break;
    }
    ShowWarning(QString::fromUtf8(text));
    HHLog(Format("HHShowError(%d), \"%s\"", code, text));
}

void HHCloseAll() {
    if (HHState().hhLoaded) HtmlHelp(nullptr, "", HH_CLOSE_ALL, 0);
}

void SetHelpMessageSink(std::function<void(const QString&)> sink) {
    MessageSink() = std::move(sink);
}

void ShowPlainMessage(const QString& text) {
    if (MessageSink()) {
        MessageSink()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, "Sonavix", text, QMessageBox::Ok);
    box.exec();
}

THookHelpSystem::THookHelpSystem(const std::string& helpFile, const std::string& windowDefinition,
                                 uint8_t hostType)
    : HelpFile(helpFile), WindowDefinition(windowDefinition), HostType(hostType) {
    HHLog(Format("THookHelpSystem.Create(\"%s\",\"%s\", %d)", helpFile.c_str(),
                 windowDefinition.c_str(), hostType));
    savedOnHelp_ = ApplicationOnHelp();
    ApplicationOnHelp() = [this](uint16_t command, int32_t data, bool& callHelp) {
        return HelpHook(command, data, callHelp);
    };
}

THookHelpSystem::~THookHelpSystem() {
    if (HostType == 0) {
        HHCloseAll();
        QThread::yieldCurrentThread();
    }
    ApplicationOnHelp() = savedOnHelp_;
    HHLog("THookHelpSystem.Destroy");
}

bool THookHelpSystem::HelpHook(uint16_t Command, int32_t Data, bool& CallHelp) {
    HHLog(Format("THookHelpSystem.HelpHook(%s, %d)", HelpCommandName(Command).c_str(), Data));
    CallHelp = false;
    switch (Command) {
        case HELP_CONTEXT:
        case HELP_CONTEXTPOPUP: {
            // Command 8 shows the topic as command 1 does unless a popup callback is set.
            int result;
            if (Command == HELP_CONTEXTPOPUP && OnPopupRequest)
                result = OnPopupRequest(Data, PopupX, PopupY);
            else if (OnContextRequest)
                result = OnContextRequest(Data);
            else
                result = HHHelpContext(HelpFile, Data, WindowDefinition, HostType);
            HHShowError(result);
            break;
        }
        case HELP_SETPOPUP_POS:
            PopupX = static_cast<int16_t>(Data & 0xFFFF);
            PopupY = static_cast<int16_t>((static_cast<uint32_t>(Data) >> 16) & 0xFFFF);
            break;
        default:
            CallHelp = true;
    }
    return true;
}
