#include "ui/explizit.h"

#include "ui/widgets.h"

TfrmExplizit::TfrmExplizit(QWidget* parent) : QFrame(parent) {
    resize(413, 129);
    mmoExplizit = Place(new QPlainTextEdit(kDefaultExplicitList, this), 0, 0, 401, 125);
    mmoExplizit->setTabChangesFocus(true);
    WrapLongRunsAnywhere(mmoExplizit);
}
