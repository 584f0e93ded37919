#pragma once
// A sequence-source frame: three radio buttons choose formula, lookup or explicit list.
#include <QFrame>
#include <QRadioButton>

#include "setup/setup.h"
#include "sources/source_frame.h"
#include "ui/explizit.h"
#include "ui/formel.h"
#include "ui/oeis_frame.h"

class TfrmFolgen : public QFrame {
    Q_OBJECT
public:
    explicit TfrmFolgen(QWidget* parent = nullptr);

    QRadioButton* rbtFormel;
    QRadioButton* rbtOEIS;
    QRadioButton* rbtExplizit;
    TfrmFormel* frmFormel1;
    TfrmExplizit* frmExplizit1;
    TfrmOEIS* frmOEIS1;

    // Moves the explicit-list and lookup sub-frames up onto the formula frame's place.
    void MoveSubFramesUp();
    // Shows exactly the sub-frame whose radio button is selected.
    void ShowSelectedSource();
    // Whether this frame owns the control (a sub-frame's button, box, ...).
    bool Owns(const QObject* control) const;

    // The source whose radio button is selected.
    SourceKind SelectedSource() const;
    // What the frame holds, as a setup file keeps it, and the frame set to that.
    SourceSetup Capture() const;
    void Apply(const SourceSetup& source);

signals:
    // One of the three radio buttons was clicked.
    void sourceClicked(QObject* sender);
    // Anything the frame holds changed, by the user or by the program.
    void edited();

private:
    void WatchEdits();
};
