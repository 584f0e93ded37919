#include "ui/klavier.h"

#include <QPainter>

TTaste::TTaste(int32_t keyNumber, QRgb colour, QWidget* parent)
    : QAbstractButton(parent), keyNumber_(keyNumber), colour_(colour), face_(colour) {
    setFocusPolicy(Qt::NoFocus);
}

void TTaste::SetFace(QRgb face) {
    face_ = face;
    repaint();  // at once: the run blocks right after marking
}

void TTaste::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor::fromRgb(face_));
    if (colour_ == kWeiss) {
        p.setPen(QColor(160, 160, 160));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (isDown()) p.fillRect(rect(), QColor(0, 0, 0, 40));
}

TfrmKlavier::TfrmKlavier(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle(" ");
    setFixedSize(831, 75);
    move(182, 10);
    // White keys first, so the black keys lie above them and take the clicks where they overlap.
    CreateWeiss(1, 0);
    CreateWeiss(3, 16);
    for (int i = 1; i <= 7; ++i) {
        const int base = 112 * (i - 1);
        const int keys[] = {12 * i - 8, 12 * i - 6, 12 * i - 4, 12 * i - 3,
                            12 * i - 1, 12 * i + 1, 12 * i + 3};
        for (int j = 0; j < 7; ++j) CreateWeiss(keys[j], base + 32 + 16 * j);
    }
    CreateWeiss(88, 816);
    CreateSchwarz(2, 11);
    for (int i = 1; i <= 7; ++i) {
        const int base = 112 * (i - 1);
        CreateSchwarz(12 * i - 7, base + 42);
        CreateSchwarz(12 * i - 5, base + 59);
        CreateSchwarz(12 * i - 2, base + 90);
        CreateSchwarz(12 * i, base + 107);
        CreateSchwarz(12 * i + 2, base + 123);
    }
}

void TfrmKlavier::Store(TTaste* key) {
    keys_[key->KeyNumber()] = key;
    connect(key, &QAbstractButton::clicked, this,
            [this, key] { emit KeyClicked(key->KeyNumber()); });
}

void TfrmKlavier::CreateWeiss(int32_t keyNumber, int left) {
    auto* key = new TTaste(keyNumber, kWeiss, this);
    key->setGeometry(left, 0, 15, 75);
    Store(key);
}

void TfrmKlavier::CreateSchwarz(int32_t keyNumber, int left) {
    auto* key = new TTaste(keyNumber, kSchwarz, this);
    key->setGeometry(left, 0, 9, 40);
    Store(key);
}

TTaste* TfrmKlavier::Key(int32_t keyNumber) const {
    return keyNumber >= 1 && keyNumber <= 88 ? keys_[keyNumber] : nullptr;
}

void TfrmKlavier::MarkKey(int32_t keyNumber) {
    if (TTaste* key = Key(keyNumber)) key->SetFace(kRot);
}

void TfrmKlavier::UnmarkKey(int32_t keyNumber) {
    if (TTaste* key = Key(keyNumber)) key->SetFace(key->Colour());
}
