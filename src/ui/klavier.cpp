#include "ui/klavier.h"

#include <QKeyEvent>
#include <QPainter>

#include "help/help_contexts.h"
#include "playback/melody_view.h"
#include "ui/widgets.h"

TTaste::TTaste(int32_t keyNumber, QRgb colour, QWidget* parent)
    : QAbstractButton(parent), keyNumber_(keyNumber), colour_(colour), face_(colour) {
    setFocusPolicy(Qt::StrongFocus);
    setCheckable(true);
    setAccessibleName(QString::fromStdString(KeyCaption(keyNumber)));
}

void TTaste::SetFace(QRgb face) {
    face_ = face;
    setChecked(face_ != colour_);
    repaint();  // at once: the run blocks right after marking
}

void TTaste::keyPressEvent(QKeyEvent* event) {
    // Enter plays the key as Space does; the button handles Space itself.
    if (!event->isAutoRepeat() &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void TTaste::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor::fromRgb(face_));
    if (colour_ == kWeiss) {
        p.setPen(QColor(160, 160, 160));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (isDown()) p.fillRect(rect(), QColor(0, 0, 0, 40));
    if (hasFocus()) {
        // A frame in the colour that stands out on white, black and red alike.
        p.setPen(QPen(QColor(0, 120, 215), 2));
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

TfrmKlavier::TfrmKlavier(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle(" ");
    // The title stays empty or carries the sounding member; the reader needs a constant name.
    setAccessibleName("Klaviatur");
    setAccessibleDescription(
        "88 Tasten; Pfeiltasten wählen, Leertaste oder Eingabe spielt und "
        "schreibt den Ton in die Notentabelle");
    SetHelpContext(this, IDH_BARRIEREFREIHEIT);
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
    // Tab walks the keys from low to high, as the arrows do.
    for (int32_t n = 2; n <= 88; ++n) setTabOrder(keys_[n - 1], keys_[n]);
}

bool TfrmKlavier::eventFilter(QObject* watched, QEvent* event) {
    auto* key = qobject_cast<TTaste*>(watched);
    if (!key || event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    int32_t target = 0;
    switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Left:
            target = key->KeyNumber() - 1;
            break;
        case Qt::Key_Right:
            target = key->KeyNumber() + 1;
            break;
        case Qt::Key_Down:
            target = std::max(1, key->KeyNumber() - 12);
            break;
        case Qt::Key_Up:
            target = std::min(88, key->KeyNumber() + 12);
            break;
        case Qt::Key_Home:
            target = 1;
            break;
        case Qt::Key_End:
            target = 88;
            break;
        default:
            return QWidget::eventFilter(watched, event);
    }
    if (TTaste* next = Key(target)) next->setFocus(Qt::TabFocusReason);
    return true;
}

void TfrmKlavier::Store(TTaste* key) {
    keys_[key->KeyNumber()] = key;
    key->installEventFilter(this);
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
