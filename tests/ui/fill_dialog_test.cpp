#include "ui/fill_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

#include "support/window_fixture.h"

TEST(FillDialog, FieldsGiveTheRowsTheCoreComputes) {
    FillDialog notes(FillDialog::Map::Notes, 12, {3, 4, 5});
    EXPECT_EQ(notes.spnRows->value(), 12);
    notes.spnRows->setValue(3);
    notes.spnFirst->setValue(87);
    EXPECT_EQ(notes.Values(), (std::vector<std::string>{"87", "88", "88"}));
    notes.cbxClip->setCurrentText("oktavieren");
    EXPECT_EQ(notes.Values(), (std::vector<std::string>{"87", "88", "77"}));
    notes.rbtScale->setChecked(true);
    notes.cbxScale->setCurrentText("Eigene...");
    notes.cbxRoot->setCurrentText("Kontra C");
    notes.spnStep->setValue(2);
    EXPECT_EQ(notes.Values(), (std::vector<std::string>{"4", "11", "19"}));

    FillDialog tempi(FillDialog::Map::Tempi, 1, {});
    tempi.spnRows->setValue(4);
    tempi.edtLengths->setText("3 2");
    EXPECT_EQ(tempi.Values(), (std::vector<std::string>{"3", "2", "3", "2"}));
}

class FillInWindow : public WindowTest {};

TEST_F(FillInWindow, RefusedFieldsKeepTheDialogOpenAndMenuItemsFillTheirMap) {
    FillDialog tempi(FillDialog::Map::Tempi, 1, {});
    tempi.edtLengths->setText("Viertel");
    tempi.show();
    tempi.accept();
    EXPECT_TRUE(tempi.isVisible());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith("'Viertel' ist keine gültige Notenlänge"));

    std::vector<bool> asked;
    window->AskFill = [&](bool notes) -> std::optional<FillChoice> {
        asked.push_back(notes);
        if (asked.size() == 4) return std::nullopt;
        // Rows of a scale the boxes then show, and even steps of none.
        if (asked.size() == 2) return FillChoice{{"7", "8"}, 9, 47};
        return FillChoice{{"7", "8"}};
    };
    window->miTempoFuellen->trigger();
    EXPECT_EQ(window->cbxTonart->currentIndex(), kStartScaleIndex);
    window->miNotenFuellen->trigger();
    // The boxes are set without filling the table again from them.
    EXPECT_EQ(window->cbxTonart->currentIndex(), 9);
    EXPECT_EQ(window->cbxGrundton->currentIndex(), 47);
    EXPECT_EQ(window->NoteMap.RowCount(), 2);
    window->miNotenFuellen->trigger();
    EXPECT_EQ(window->cbxTonart->currentIndex(), 0);
    EXPECT_EQ(window->cbxGrundton->currentIndex(), 0);
    window->miNotenFuellen->trigger();
    EXPECT_EQ(asked, (std::vector<bool>{false, true, true, true}));
    EXPECT_EQ(window->TempoMap.RowCount(), 2);
    EXPECT_EQ(window->NoteMap.Value(1), "8");
    EXPECT_EQ(window->NoteMap.Key(1), "1");
    // The dialog tells the boxes' entries of its scale and root, none for even steps.
    FillDialog notes(FillDialog::Map::Notes, 12, {});
    notes.rbtScale->setChecked(true);
    notes.cbxScale->setCurrentText("Harmonisch Moll");
    notes.cbxRoot->setCurrentIndex(46);
    notes.accept();
    EXPECT_EQ(notes.AcceptedChoice().ScaleIndex, 9);
    EXPECT_EQ(notes.AcceptedChoice().RootIndex, 47);
    EXPECT_EQ(notes.AcceptedChoice().Values, notes.Accepted());
}

TEST_F(FillInWindow, TheDialogStartsFromTheWindowAndKeepsItsLastInputs) {
    // The start-up scale and root, and the tempo map's cycle.
    FillInputs notes = window->FillStart(true);
    EXPECT_TRUE(notes.Scale);
    EXPECT_EQ(notes.ScaleIndex, kStartScaleIndex);
    EXPECT_EQ(notes.RootIndex, kStartRootIndex);
    window->TempoMap.Assign({"2", "3", "3", "2", "3", "3"});
    EXPECT_EQ(window->FillStart(false).Lengths, "2 3 3");
    EXPECT_EQ(window->FillStart(false).Rows, 6);
    window->TempoMap.Assign({"2", "40"});
    EXPECT_EQ(window->FillStart(false).Lengths, "2");  // no cycle: the last input

    // An accepted dialog's inputs come back in the next one.
    window->cbxTonart->setCurrentIndex(0);
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<FillDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->spnStep->setValue(3);
        dialog->cbxClip->setCurrentIndex(1);
        dialog->accept();
    });
    ASSERT_TRUE(window->AskFill(true));
    notes = window->FillStart(true);
    EXPECT_FALSE(notes.Scale);
    EXPECT_EQ(notes.Step, 3);
    EXPECT_EQ(notes.Clip, 1);
    FillDialog again(FillDialog::Map::Notes, notes, {});
    EXPECT_EQ(again.spnStep->value(), 3);
    EXPECT_EQ(again.cbxClip->currentText(), "oktavieren");
}
