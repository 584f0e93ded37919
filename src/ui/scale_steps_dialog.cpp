#include "ui/scale_steps_dialog.h"

#include <QInputDialog>

std::optional<QString> AskScaleStepsText(QWidget* parent, const QString& current) {
    bool ok = false;
    const QString text = QInputDialog::getText(
        parent, "Eigene Tonleiter",
        "Schritte in Halbtönen von Ton zu Ton, zusammen höchstens 12\n"
        "(der Rest bis zur Oktave schließt die Leiter), z. B. 2 2 1 2 2 2 1 für Dur:",
        QLineEdit::Normal, current.isEmpty() ? QString("2 2 1 2 2 2 1") : current, &ok);
    if (!ok) return std::nullopt;
    return text;
}
