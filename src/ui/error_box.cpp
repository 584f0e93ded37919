#include "ui/error_box.h"

#include <QMessageBox>
#include <exception>

#include "common/convert.h"
#include "common/errors.h"

namespace {
std::function<void(const QString&)>& Sink() {
    static std::function<void(const QString&)> sink;
    return sink;
}
}  // namespace

void SetErrorBoxSink(std::function<void(const QString&)> sink) { Sink() = std::move(sink); }

void ShowErrorBox(QWidget* parent, const QString& message) {
    const QString text = QString::fromStdString(ErrorBoxText(message.toStdString()));
    if (Sink()) {
        Sink()(text);
        return;
    }
    QMessageBox::critical(parent, kAppTitle, text);
}

void ShowNotice(QWidget* parent, const QString& message) {
    const QString text = QString::fromStdString(ErrorBoxText(message.toStdString()));
    if (Sink()) {
        Sink()(text);
        return;
    }
    QMessageBox::information(parent, kAppTitle, text);
}

bool Guarded(QWidget* parent, const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const EAborted&) {
        // The user gave the action up and knows it: no message.
    } catch (const std::bad_alloc&) {
        ShowErrorBox(parent, "Zu wenig Arbeitsspeicher");
    } catch (const std::exception& e) {
        ShowErrorBox(parent, QString::fromUtf8(e.what()));
    }
    return false;
}
