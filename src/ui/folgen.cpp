#include "ui/folgen.h"

#include "help/help_contexts.h"
#include "sources/oeis.h"
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
    WatchEdits();
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

SourceKind TfrmFolgen::SelectedSource() const {
    if (rbtFormel->isChecked()) return SourceKind::Formula;
    if (rbtOEIS->isChecked()) return SourceKind::Oeis;
    return SourceKind::Explicit;
}

namespace {
std::string Text(const QString& text) { return text.toStdString(); }
QString Text(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

SourceSetup TfrmFolgen::Capture() const {
    SourceSetup s;
    s.Selected = SelectedSource();
    s.Formula.Text = Text(frmFormel1->edtFormel->text());
    s.Formula.Count = Text(frmFormel1->edtLaenge->text());
    s.Formula.StartValues = VoiceSetup::ValuesOf(frmFormel1->VarValues);
    s.Formula.StartValuesShown = !frmFormel1->vleVarValues->isHidden();
    s.Oeis.Query = Text(frmOEIS1->edtOEIS->text());
    if (frmOEIS1->HasHit()) s.Oeis.ANumber = Text(frmOEIS1->lblLink->text());
    s.Oeis.Name = Text(frmOEIS1->Memo1->toPlainText());
    s.Oeis.Terms = Text(frmOEIS1->mmoSequence->toPlainText());
    s.ExplicitList = Text(frmExplizit1->mmoExplizit->toPlainText());
    return s;
}

void TfrmFolgen::Apply(const SourceSetup& s) {
    rbtFormel->setChecked(s.Selected == SourceKind::Formula);
    rbtOEIS->setChecked(s.Selected == SourceKind::Oeis);
    rbtExplizit->setChecked(s.Selected == SourceKind::Explicit);
    ShowSelectedSource();
    frmFormel1->edtFormel->setText(Text(s.Formula.Text));
    frmFormel1->edtLaenge->setText(Text(s.Formula.Count));
    frmFormel1->VarValues.Assign(s.Formula.StartValues);
    frmFormel1->vleVarValues->setVisible(s.Formula.StartValuesShown);
    TfrmOEIS* oeis = frmOEIS1;
    oeis->edtOEIS->setText(Text(s.Oeis.Query));
    // The link leads to the sequence on today's server, as a lookup there would.
    const std::string url = OeisBaseAddress() + s.Oeis.ANumber;
    if (s.Oeis.ANumber.empty()) {
        oeis->lblVorLink->hide();
        oeis->lblLink->setText("OEIS");
        oeis->lblLink->adjustSize();
        oeis->LinkUrl = Text(url);
        FillTextBox(oeis->Memo1, Text(s.Oeis.Name));
        FillTextBox(oeis->mmoSequence, Text(s.Oeis.Terms));
    } else {
        oeis->ShowHit(Text(s.Oeis.ANumber), Text(url), Text(s.Oeis.Name), Text(s.Oeis.Terms));
    }
    FillTextBox(frmExplizit1->mmoExplizit, ListForDisplay(s.ExplicitList));
}

void TfrmFolgen::WatchEdits() {
    const auto edited = [this] { emit this->edited(); };
    for (QRadioButton* b : {rbtFormel, rbtOEIS, rbtExplizit})
        connect(b, &QRadioButton::toggled, this, edited);
    for (QLineEdit* e : {frmFormel1->edtFormel, frmFormel1->edtLaenge, frmOEIS1->edtOEIS})
        connect(e, &QLineEdit::textChanged, this, edited);
    connect(frmFormel1->cbxNull, &QCheckBox::toggled, this, edited);
    for (QPlainTextEdit* m : {frmExplizit1->mmoExplizit, frmOEIS1->mmoSequence, frmOEIS1->Memo1})
        connect(m, &QPlainTextEdit::textChanged, this, edited);
    WatchModel(frmFormel1->vleVarValues->model(), this, edited);
}
