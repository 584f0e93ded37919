#include "ui/formel.h"

#include <QFocusEvent>

#include "help/help_contexts.h"
#include "ui/widgets.h"

TfrmFormel::TfrmFormel(QWidget* parent) : QFrame(parent) {
    resize(401, 130);
    SetHelpContext(this, IDH_FORMEL);
    edtFormel = Place(new QLineEdit("0", this), 0, 0, 367, 21);
    btnGo = Place(new QPushButton("Los!", this), 368, 0, 33, 21);
    lblLaenge = PlaceLabel(this, "Anzahl Folgeglieder:", 0, 35);
    edtLaenge = Place(new QLineEdit("30", this), 104, 32, 70, 21);
    cbxNull = Place(new QCheckBox("0 ist eine natürliche Zahl", this), 0, 64, 145, 17);
    FitWidth(cbxNull);
    vleVarValues =
        Place(new ValueListEditor(VarValues, "Vorgängerindex", "Wert", this), 200, 32, 201, 94);
    vleVarValues->SetColumnWidths(79, 116);
    vleVarValues->hide();
    setTabOrder(edtFormel, edtLaenge);
    setTabOrder(edtLaenge, cbxNull);
    setTabOrder(cbxNull, vleVarValues);
    setTabOrder(vleVarValues, btnGo);
    edtFormel->installEventFilter(this);
    // Enter in the formula field does what "Los!" does (nothing while it is disabled).
    connect(edtFormel, &QLineEdit::returnPressed, btnGo, &QPushButton::click);
}

bool TfrmFormel::eventFilter(QObject* watched, QEvent* event) {
    // Only a move to another control counts, not a switch to another window.
    if (watched == edtFormel && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            emit formulaExited(edtFormel);
    }
    return QFrame::eventFilter(watched, event);
}
