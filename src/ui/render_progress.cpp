#include "ui/render_progress.h"

#include <QCoreApplication>

#include "ui/error_box.h"

RenderProgress::RenderProgress(QWidget* parent, const QString& caption)
    : dialog_(caption, "Abbrechen", 0, 1000, parent) {
    dialog_.setWindowTitle(kAppTitle);
    dialog_.setWindowModality(Qt::ApplicationModal);
    dialog_.setMinimumDuration(500);
    dialog_.setValue(0);
}

bool RenderProgress::operator()(double done) {
    dialog_.setValue(static_cast<int>(done * 1000));
    QCoreApplication::processEvents();
    return !dialog_.wasCanceled();
}

void WriteExport(QWidget* parent, const ExportFormat& format,
                 const std::function<void(const ExportProgress&)>& write) {
    if (!format.NeedsSynthesizer) return write({});
    RenderProgress progress(parent, QString::fromUtf8(format.RenderCaption));
    write(std::ref(progress));
}
