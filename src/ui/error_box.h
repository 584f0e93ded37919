#pragma once
// The application's standard error box and the guard that keeps exceptions
// from crossing Qt's event dispatch.
#include <QString>
#include <functional>

class QWidget;

// Shows "Sonavix" / error icon / the message (with "." appended where due).
void ShowErrorBox(QWidget* parent, const QString& message);

// The same with the information icon, for what the user should know of an
// action that succeeded.
void ShowNotice(QWidget* parent, const QString& message);

// Runs a handler; any exception it throws ends the handler and is shown in the
// standard error box. Returns false when the handler failed.
bool Guarded(QWidget* parent, const std::function<void()>& handler);

// Tests replace the modal boxes by a recorder; pass nullptr to restore the box.
void SetErrorBoxSink(std::function<void(const QString&)> sink);

inline const char* const kAppTitle = "Sonavix";
