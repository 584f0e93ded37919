#include "ui/oeis_frame.h"

#include <QEvent>

#include "help/help_contexts.h"
#include "ui/widgets.h"

TfrmOEIS::TfrmOEIS(QWidget* parent) : QFrame(parent) {
    resize(459, 125);
    SetHelpContext(this, IDH_OEIS);
    lblIndex = PlaceLabel(this, "OEIS-Index, Suchbegriff oder Teilfolge eingeben:", 0, 3);
    edtOEIS = Place(new QLineEdit(this), 232, 0, 140, 21);
    // The query field starts after its label's text and keeps its right edge.
    if (const int right = lblIndex->geometry().right(); right >= edtOEIS->x())
        edtOEIS->setGeometry(right + 2, 0, edtOEIS->geometry().right() - right - 1, 21);
    btnGo = Place(new QPushButton("Los!", this), 374, 0, 27, 21);
    lblThanks = PlaceLabel(this, "Mit Dank an die OEIS für die Nutzungserlaubnis.", 0, 24);
    lblVorLink = PlaceLabel(this, "OEIS-Index:", 248, 24);
    lblVorLink->hide();
    lblLink = PlaceLabel(this, "OEIS", 312, 24);
    StyleAsLink(lblLink);
    lblLink->adjustSize();
    lblLink->installEventFilter(this);
    mmoSequence = Place(new QPlainTextEdit(this), 0, 40, 209, 85);
    mmoSequence->setTabChangesFocus(true);
    Memo1 = Place(new QPlainTextEdit(this), 210, 40, 191, 85);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setBackgroundRole(QPalette::Window);
    Memo1->viewport()->setBackgroundRole(QPalette::Window);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    // The hit's name is shown, not edited: a typed word would be taken for the database's.
    Memo1->setReadOnly(true);
    // Enter in the query field does what "Los!" does (nothing while it is disabled).
    connect(edtOEIS, &QLineEdit::returnPressed, btnGo, &QPushButton::click);
    WrapLongRunsAnywhere(mmoSequence);
    WrapLongRunsAnywhere(Memo1);
    setTabOrder(edtOEIS, btnGo);
    setTabOrder(btnGo, mmoSequence);
    setTabOrder(mmoSequence, Memo1);
}

bool TfrmOEIS::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblLink && event->type() == QEvent::MouseButtonRelease)
        emit linkClicked(lblLink);
    return QFrame::eventFilter(watched, event);
}

void TfrmOEIS::ShowHit(const QString& linkCaption, const QString& linkUrl, const QString& name,
                       const QString& terms) {
    lblVorLink->show();
    lblLink->setText(linkCaption);
    lblLink->adjustSize();
    LinkUrl = linkUrl;
    FillTextBox(Memo1, name);
    FillTextBox(mmoSequence, terms);
}

std::string TfrmOEIS::HitTitle() const {
    if (!HasHit()) return {};
    return (lblLink->text() + ": " + Memo1->toPlainText()).toStdString();
}
