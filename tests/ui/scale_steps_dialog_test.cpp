#include "ui/scale_steps_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

TEST(ScaleStepsDialog, AMistakeIsToldInsideAndTheDialogStaysOpen) {
    bool stayedOpen = false;
    QString told;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>()->setText("5 5 5");
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        buttons->button(QDialogButtonBox::Ok)->click();
        stayedOpen = dialog->isVisible();
        told = dialog->findChild<QLabel*>("lblFehler")->text();
        dialog->findChild<QLineEdit*>()->setText("2 2 3 2 3");
        buttons->button(QDialogButtonBox::Ok)->click();
    });
    EXPECT_EQ(AskScaleStepsText(nullptr, ""), QString("2 2 3 2 3"));
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(told.contains("15 Halbtöne")) << told.toStdString();
}
