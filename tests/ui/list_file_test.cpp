// "Liste aus Datei laden...": the dialog with the guessed layout, and the
// column in the note sequence's explicit list as one step.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QUndoStack>
#include <filesystem>
#include <fstream>

#include "support/window_fixture.h"

namespace {
using ListFile = WindowTest;

TEST_F(ListFile, TheDialogsColumnBecomesTheExplicitListInOneStep) {
    TfrmMain& w = *window;
    w.show();
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("sonavix-list-" + std::to_string(getpid()) + ".csv");
    std::ofstream(path) << "n;Wert\n1;3,5\n2;-7\n";
    w.ChooseListFilePath = [&] { return QString::fromStdString(path.string()); };
    QString separator, column, preview;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        const auto boxes = dialog->findChildren<QComboBox*>();
        ASSERT_EQ(boxes.size(), 2);
        separator = boxes[0]->currentText();
        column = boxes[1]->currentText();
        preview = dialog->findChild<QLabel*>("lblVorschau")->text();
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    const MelodySetup before = w.CaptureSetup();
    const int steps = w.UndoStack()->count();
    w.miListeLaden->trigger();
    std::filesystem::remove(path);
    EXPECT_EQ(separator, "Semikolon (;)");
    EXPECT_EQ(column, "2: Wert");
    EXPECT_EQ(preview, "4, 7");
    EXPECT_TRUE(w.frmFolgenNoten->rbtExplizit->isChecked());
    EXPECT_EQ(w.frmFolgenNoten->frmExplizit1->mmoExplizit->toPlainText(), "4, 7");
    EXPECT_EQ(w.UndoStack()->count(), steps + 1);
    EXPECT_EQ(w.miRueckgaengig->text(), "Rückgängig: Liste aus Datei");
    ASSERT_EQ(errors.size(), 1u);  // the notice of the dropped sign
    EXPECT_TRUE(errors[0].startsWith("Die Spalte hat negative Werte")) << errors[0].toStdString();
    w.miRueckgaengig->trigger();
    EXPECT_EQ(w.CaptureSetup(), before);
}
}  // namespace
