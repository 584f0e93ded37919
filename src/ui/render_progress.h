#pragma once
// The progress of a render through the synthesizer: a modal dialog with the
// format's caption ("Die WAV-Datei wird berechnet...") and "Abbrechen", shown
// only when the render takes longer than half a second.
#include <QProgressDialog>
#include <functional>

#include "melodyfile/export_formats.h"

class QWidget;

class RenderProgress {
public:
    RenderProgress(QWidget* parent, const QString& caption);
    // Takes the share done (0..1); false once the user has cancelled.
    bool operator()(double done);

private:
    QProgressDialog dialog_;
};

// Runs write with the progress dialog where the format renders through the
// synthesizer, and without one (nothing to wait for) elsewhere.
void WriteExport(QWidget* parent, const ExportFormat& format,
                 const std::function<void(const ExportProgress&)>& write);
