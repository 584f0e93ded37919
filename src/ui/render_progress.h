#pragma once
// The progress of a WAV render: a modal dialog with "Abbrechen", shown only
// when the render takes longer than half a second.
#include <QProgressDialog>

class QWidget;

class RenderProgress {
public:
    explicit RenderProgress(QWidget* parent);
    // Takes the share done (0..1); false once the user has cancelled.
    bool operator()(double done);

private:
    QProgressDialog dialog_;
};
