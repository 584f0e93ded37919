#include "ui/folgen.h"

#include "help/help_contexts.h"
#include "ui/widgets.h"

TfrmFolgen::TfrmFolgen(QWidget* parent) : QFrame(parent) {
    SetHelpContext(this, IDH_FOLGEN);
    rbtFormel = Place(new QRadioButton("Formel", this), 0, 0, 57, 17);
    SetHelpContext(rbtFormel, IDH_FORMEL);
    rbtOEIS = Place(new QRadioButton("The On-Line Encyclopedia of Integer Sequences", this), 63, 0,
                    257, 17);
    SetHelpContext(rbtOEIS, IDH_OEIS);
    rbtExplizit = Place(new QRadioButton("explizite Angabe", this), 319, 0, 105, 17);
    rbtFormel->setChecked(true);
    // The captions size to their text, with the narrow gap between mark and
    // text that the layout was drawn for; a button whose caption grew pushes
    // its right neighbour along so that no caption runs into the next.
    QRadioButton* left = nullptr;
    for (QRadioButton* rbt : {rbtFormel, rbtOEIS, rbtExplizit}) {
        rbt->setStyleSheet("QRadioButton { spacing: 2px; }");
        FitWidth(rbt);
        if (left && rbt->x() <= left->geometry().right())
            rbt->move(left->geometry().right() + 1, rbt->y());
        left = rbt;
    }
    frmFormel1 = Place(new TfrmFormel(this), 7, 18, 401, 127);
    // The other two sub-frames lie further down until start-up moves them up.
    frmExplizit1 = Place(new TfrmExplizit(this), 7, 152, 413, 129);
    frmExplizit1->hide();
    frmOEIS1 = Place(new TfrmOEIS(this), 7, 285, 459, 125);
    frmOEIS1->hide();
    setTabOrder(rbtFormel, rbtOEIS);
    setTabOrder(rbtOEIS, rbtExplizit);
    for (QRadioButton* rbt : {rbtFormel, rbtOEIS, rbtExplizit})
        connect(rbt, &QRadioButton::clicked, this, [this, rbt] { emit sourceClicked(rbt); });
}

void TfrmFolgen::MoveSubFramesUp() {
    frmExplizit1->move(frmExplizit1->x(), 18);
    frmOEIS1->move(frmOEIS1->x(), 18);
}

void TfrmFolgen::ShowSelectedSource() {
    frmFormel1->setVisible(rbtFormel->isChecked());
    frmExplizit1->setVisible(rbtExplizit->isChecked());
    frmOEIS1->setVisible(rbtOEIS->isChecked());
}

bool TfrmFolgen::Owns(const QObject* control) const {
    for (; control; control = control->parent())
        if (control == this) return true;
    return false;
}
