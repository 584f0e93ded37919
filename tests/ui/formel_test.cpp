#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include "support/window_fixture.h"
#include "ui/main_window.h"

namespace {
class FormulaFrame : public WindowTest {
protected:
    TfrmFolgen* Noten() { return window->frmFolgenNoten; }
    TfrmFolgen* Tempo() { return window->frmFolgenTempo; }
    QString List(TfrmFolgen* f) { return f->frmExplizit1->mmoExplizit->toPlainText(); }
};
}  // namespace

TEST_F(FormulaFrame, LosFillsTheExplicitListAndSwitchesToIt) {
    Noten()->frmFormel1->btnGo->click();
    EXPECT_EQ(List(Noten()), QString("0, ").repeated(29) + "0");
    EXPECT_TRUE(Noten()->rbtExplizit->isChecked());
    EXPECT_TRUE(Noten()->frmExplizit1->isVisibleTo(Noten()));
    EXPECT_FALSE(Noten()->frmFormel1->isVisibleTo(Noten()));
    EXPECT_TRUE(errors.empty());
}

TEST_F(FormulaFrame, PlayEvaluatesTheFormulaOnceThenPlaysTheList) {
    Noten()->frmFormel1->edtFormel->setText("x");
    Noten()->frmFormel1->edtLaenge->setText("3");
    window->btnPlay->click();
    EXPECT_EQ(List(Noten()), "1, 2, 3");
    EXPECT_EQ(Notes().size(), 3u);
    Noten()->frmFormel1->edtFormel->setText("x+1");
    window->btnPlay->click();
    EXPECT_EQ(List(Noten()), "1, 2, 3");  // the explicit source is selected now
    EXPECT_EQ(Notes().size(), 6u);
}

TEST_F(FormulaFrame, TempoFrameLosGeneratesTheTempoSequence) {
    window->cbxTempoFolge->click();
    Tempo()->frmFormel1->edtFormel->setText("x_1+1");
    Tempo()->frmFormel1->edtLaenge->setText("3");
    Tempo()->frmFormel1->btnGo->click();
    EXPECT_EQ(List(Tempo()), "1, 2, 3");
    EXPECT_EQ(List(Noten()), kDefaultExplicitList);
    EXPECT_TRUE(Noten()->rbtFormel->isChecked());
}

TEST_F(FormulaFrame, FailureKeepsTheMembersBeforeAndTheFormulaSource) {
    Noten()->frmFormel1->edtFormel->setText("6/(3-x)");
    Noten()->frmFormel1->btnGo->click();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Gleitkommadivision durch Null.");
    EXPECT_EQ(List(Noten()), "3, 6");
    EXPECT_TRUE(Noten()->rbtFormel->isChecked());
}

TEST_F(FormulaFrame, BadFormulaLeavesTheListUntouched) {
    Noten()->frmFormel1->edtFormel->setText("x*-1");
    Noten()->frmFormel1->btnGo->click();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].indexOf("x*-1"), -1) << errors[0].toStdString();
    EXPECT_EQ(List(Noten()), kDefaultExplicitList);
}

TEST_F(FormulaFrame, StartValueTableShowsForRecursiveFormulas) {
    TfrmFormel* formel = Noten()->frmFormel1;
    formel->edtFormel->setText("x_1+x_2");
    window->frmFormel1edtFormelExit(formel->edtFormel);
    EXPECT_TRUE(formel->vleVarValues->isVisibleTo(formel));
    ASSERT_EQ(formel->VarValues.RowCount(), 2);
    formel->VarValues.SetValue(0, "1");
    formel->edtLaenge->setText("5");
    formel->btnGo->click();
    EXPECT_EQ(List(Noten()), "1, 2, 3, 5, 8");
    formel->edtFormel->setText("x");
    window->frmFormel1edtFormelExit(formel->edtFormel);
    EXPECT_FALSE(formel->vleVarValues->isVisibleTo(formel));
    EXPECT_EQ(formel->VarValues.RowCount(), 2);
}

TEST_F(FormulaFrame, ZeroBoxesAgree) {
    Noten()->frmFormel1->cbxNull->click();
    EXPECT_TRUE(Tempo()->frmFormel1->cbxNull->isChecked());
    Tempo()->frmFormel1->cbxNull->click();
    EXPECT_FALSE(Noten()->frmFormel1->cbxNull->isChecked());
}

TEST_F(FormulaFrame, HugeCountEndsWithTheCapacityMessageInSeconds) {
    Noten()->frmFormel1->edtFormel->setText("x");
    Noten()->frmFormel1->edtLaenge->setText("2147483647");
    QElapsedTimer timer;
    timer.start();
    Noten()->frmFormel1->btnGo->click();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Text überschreitet Memo-Kapazität.");
    EXPECT_TRUE(List(Noten()).startsWith("1, 2, 3, "));
    EXPECT_LT(timer.elapsed(), 10000);
}

TEST_F(FormulaFrame, TabOutOfTheFormulaFieldFitsTheTableOrReturnsToARefusedFormula) {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    TfrmFormel* formel = Noten()->frmFormel1;
    const struct {
        const char* formula;
        bool refused;
    } cases[] = {{"x_1+x_2", false}, {"x_1+", true}};
    for (const auto& c : cases) {
        errors.clear();
        formel->edtFormel->setFocus();
        formel->edtFormel->setText(c.formula);
        QTest::keyClick(formel->edtFormel, Qt::Key_Tab);
        QCoreApplication::processEvents();
        EXPECT_EQ(errors.size(), c.refused ? 1u : 0u) << c.formula;
        QWidget* focus = QApplication::focusWidget();
        EXPECT_EQ(focus, c.refused ? static_cast<QWidget*>(formel->edtFormel) : formel->edtLaenge)
            << c.formula;
        if (c.refused) {
            EXPECT_EQ(formel->edtFormel->selectedText(), c.formula);
        }
        // The table follows the last formula that compiled.
        EXPECT_TRUE(formel->vleVarValues->isVisibleTo(formel)) << c.formula;
        EXPECT_EQ(formel->VarValues.RowCount(), 2) << c.formula;
    }
}

TEST_F(FormulaFrame, EnterInTheFormulaFieldDoesWhatLosDoes) {
    TfrmFormel* formel = Noten()->frmFormel1;
    formel->edtFormel->setText("x");
    formel->edtLaenge->setText("3");
    QTest::keyClick(formel->edtFormel, Qt::Key_Return);
    EXPECT_EQ(List(Noten()), "1, 2, 3");
    // While a run has "Los!" disabled, Enter does nothing either.
    window->frmFolgenNoten->frmExplizit1->mmoExplizit->setPlainText("1, 2");
    QTimer::singleShot(0, window.get(), [&] {
        formel->edtFormel->setText("x+1");
        QTest::keyClick(formel->edtFormel, Qt::Key_Return);
    });
    window->btnPlay->click();
    EXPECT_EQ(List(Noten()), "1, 2");
}
