#include "ui/scale_steps_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/errors.h"
#include "help/d6onhelpfix.h"
#include "help/help_contexts.h"
#include "playback/scales.h"

std::optional<QString> AskScaleStepsText(QWidget* parent, const QString& current) {
    QDialog dialog(parent);
    dialog.setWindowTitle("Eigene Tonleiter");
    SetHelpContext(&dialog, IDH_KARTEN);
    auto* prompt = new QLabel(
        "Schritte in Halbtönen von Ton zu Ton, zusammen höchstens 12\n"
        "(der Rest bis zur Oktave schließt die Leiter), z. B. 2 2 1 2 2 2 1 für Dur:",
        &dialog);
    auto* edit = new QLineEdit(current.isEmpty() ? QString("2 2 1 2 2 2 1") : current, &dialog);
    prompt->setBuddy(edit);
    // A mistake is said here, and the dialog stays open to mend it.
    auto* error = new QLabel(&dialog);
    error->setObjectName("lblFehler");
    error->setWordWrap(true);
    error->setStyleSheet("color: #b00000;");
    error->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText("Abbrechen");
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(prompt);
    layout->addWidget(edit);
    layout->addWidget(error);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        try {
            ParseScaleSteps(edit->text().toStdString());
            dialog.accept();
        } catch (const Exception& e) {
            error->setText(QString::fromStdString(e.Message()));
            error->show();
            edit->setFocus();
            edit->selectAll();
        }
    });
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return edit->text();
}
