#include "ui/oeis_frame.h"

#include <QEvent>

#include "ui/widgets.h"

TfrmOEIS::TfrmOEIS(QWidget* parent) : QFrame(parent) {
    resize(459, 125);
    SetHelpContext(this, 2200);
    lblIndex =
        Place(new QLabel("OEIS-Index, Suchbegriff oder Teilfolge eingeben:", this), 0, 3, 231, 13);
    edtOEIS = Place(new QLineEdit(this), 232, 0, 140, 21);
    btnGo = Place(new QPushButton("Los!", this), 374, 0, 27, 21);
    lblThanks =
        Place(new QLabel("Mit Dank an die OEIS für die Nutzungserlaubnis.", this), 0, 24, 230, 13);
    lblVorLink = Place(new QLabel("OEIS-Index:", this), 248, 24, 57, 13);
    lblVorLink->hide();
    lblLink = Place(new QLabel("OEIS", this), 312, 24, 25, 13);
    StyleAsLink(lblLink);
    lblLink->installEventFilter(this);
    mmoSequence = Place(new QPlainTextEdit(this), 0, 40, 209, 85);
    mmoSequence->setTabChangesFocus(true);
    Memo1 = Place(new QPlainTextEdit(this), 210, 40, 191, 85);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setBackgroundRole(QPalette::Window);
    Memo1->viewport()->setBackgroundRole(QPalette::Window);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    setTabOrder(edtOEIS, btnGo);
    setTabOrder(btnGo, mmoSequence);
    setTabOrder(mmoSequence, Memo1);
}

bool TfrmOEIS::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblLink && event->type() == QEvent::MouseButtonRelease)
        emit linkClicked(lblLink);
    return QFrame::eventFilter(watched, event);
}
