#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUndoStack>
#include <cstdlib>
#include <fstream>
#include <utility>

#include "melodyfile/midifile.h"
#include "playback/scales.h"
#include "support/window_fixture.h"

namespace {
class MainWindow : public WindowTest {
protected:
    std::vector<std::string> NoteValues() const {
        std::vector<std::string> v;
        for (int i = 0; i < window->NoteMap.RowCount(); ++i) {
            EXPECT_EQ(window->NoteMap.Key(i), std::to_string(i));
            v.push_back(window->NoteMap.Value(i));
        }
        return v;
    }
    void PlayExplicit(const QString& list) {
        window->frmFolgenNoten->rbtExplizit->click();
        window->frmFolgenNoten->frmExplizit1->mmoExplizit->setPlainText(list);
        window->btnPlay->click();
    }
};
}  // namespace

TEST_F(MainWindow, StartsWithItsStartUpValues) {
    TfrmMain& w = *window;
    EXPECT_EQ(w.lblTempoSlider->text(), "Tempo: 90 (Andante)");
    EXPECT_EQ(w.cbxTonart->currentText(), "Chromatisch (12-Ton)");
    EXPECT_EQ(w.cbxGrundton->currentText(), "c'");
    EXPECT_EQ(NoteValues(), (std::vector<std::string>{"40", "41", "42", "43", "44", "45", "46",
                                                      "47", "48", "49", "50", "51"}));
    ASSERT_EQ(w.TempoMap.RowCount(), 1);
    EXPECT_EQ(w.TempoMap.Key(0) + "=" + w.TempoMap.Value(0), "0=2");
    EXPECT_FALSE(w.frmFolgenTempo->isVisibleTo(&w));
    EXPECT_FALSE(w.lblTempoFolge->isVisibleTo(&w));
    EXPECT_EQ(w.OuterHeight(), 466);
    EXPECT_EQ(w.cbxInstrument->currentText(), "Acoustic Grand Piano");
    EXPECT_TRUE(w.cbxKlaviatur->isChecked());
    EXPECT_EQ(w.btnPlay->text(), "Abspielen");
    EXPECT_TRUE(w.frmFolgenNoten->rbtFormel->isChecked());
    EXPECT_EQ(w.frmFolgenNoten->frmOEIS1->y(), 18);
    EXPECT_EQ(w.frmFolgenNoten->frmExplizit1->y(), 18);
    EXPECT_EQ(w.frmFolgenNoten->frmOEIS1->LinkUrl, "https://oeis.org/");
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainWindow, TempoSequenceBoxShowsTheFrameAndMovesTheBottomRow) {
    TfrmMain& w = *window;
    const int playGap = w.centralWidget()->height() - w.btnPlay->geometry().bottom();
    w.cbxTempoFolge->click();
    EXPECT_TRUE(w.frmFolgenTempo->isVisibleTo(&w));
    EXPECT_TRUE(w.lblTempoFolge->isVisibleTo(&w));
    EXPECT_EQ(w.OuterHeight(), 626);
    EXPECT_EQ(w.centralWidget()->height() - w.btnPlay->geometry().bottom(), playGap);
    EXPECT_GE(w.btnPlay->y(), w.frmFolgenTempo->geometry().bottom());
    w.cbxTempoFolge->click();
    EXPECT_EQ(w.OuterHeight(), 466);
    EXPECT_GE(w.btnPlay->y(), w.cbxTempoFolge->geometry().bottom());
}

TEST_F(MainWindow, RadioButtonsShowTheirSubFrame) {
    TfrmFolgen* f = window->frmFolgenNoten;
    const struct {
        QRadioButton* rbt;
        QWidget* shown;
    } cases[] = {{f->rbtOEIS, f->frmOEIS1},
                 {f->rbtExplizit, f->frmExplizit1},
                 {f->rbtFormel, f->frmFormel1}};
    for (const auto& c : cases) {
        c.rbt->click();
        for (QWidget* sub :
             {static_cast<QWidget*>(f->frmFormel1), static_cast<QWidget*>(f->frmOEIS1),
              static_cast<QWidget*>(f->frmExplizit1)})
            EXPECT_EQ(sub->isVisibleTo(f), sub == c.shown) << c.rbt->text().toStdString();
    }
}

TEST_F(MainWindow, PresetBoxesAndRowButtonsEditTheMaps) {
    TfrmMain& w = *window;
    w.cbxTonart->setCurrentIndex(1);
    w.cbxNotenVorgabeChange(w.cbxTonart);
    EXPECT_EQ(NoteValues(), (std::vector<std::string>{"40", "42", "44", "45", "47", "49", "51"}));
    w.cbxTonart->setCurrentIndex(0);
    w.cbxGrundton->setCurrentIndex(1);
    w.cbxNotenVorgabeChange(w.cbxGrundton);
    EXPECT_EQ(NoteValues().size(), 7u);
    w.btnMoreTempo->click();
    EXPECT_EQ(w.TempoMap.RowCount(), 2);
    EXPECT_EQ(w.vleTempo->currentIndex().row(), 1);
    w.btnLessNoten->click();
    EXPECT_EQ(w.NoteMap.RowCount(), 6);
    w.btnLessTempo->click();
    w.btnLessTempo->click();
    EXPECT_EQ(w.TempoMap.RowCount(), 1);
    w.tbTempo->setValue(121);
    EXPECT_EQ(w.lblTempoSlider->text(), "Tempo: 121 (Allegro)");
}

TEST_F(MainWindow, OwnScaleAsksForItsStepsAndKeepsThem) {
    TfrmMain& w = *window;
    std::vector<QString> offered;
    std::optional<QString> answer = "2 2 3 2 3";
    w.AskScaleSteps = [&](const QString& current) {
        offered.push_back(current);
        return answer;
    };
    w.cbxTonart->setCurrentIndex(kOwnScaleIndex);
    w.cbxNotenVorgabeChange(w.cbxTonart);
    EXPECT_EQ(NoteValues(), (std::vector<std::string>{"40", "42", "44", "47", "49"}));
    // A new root applies the steps without asking again.
    w.cbxGrundton->setCurrentIndex(4);
    w.cbxNotenVorgabeChange(w.cbxGrundton);
    EXPECT_EQ(NoteValues(), (std::vector<std::string>{"4", "6", "8", "11", "13"}));
    answer = std::nullopt;
    w.cbxNotenVorgabeChange(w.cbxTonart);
    answer = "2 x";
    w.cbxTonart->activated(kOwnScaleIndex);
    EXPECT_EQ(offered, (std::vector<QString>{"", "2 2 3 2 3", "2 2 3 2 3"}));
    EXPECT_EQ(NoteValues().size(), 5u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith("'x' ist kein gültiger Schritt")) << errors[0].toStdString();
    EXPECT_EQ(w.OwnScaleSteps, (std::vector<int>{2, 2, 3, 2, 3}));
    // Given up from another scale, the box shows that scale again over its table.
    w.cbxTonart->setCurrentIndex(1);
    w.cbxNotenVorgabeChange(w.cbxTonart);
    answer = std::nullopt;
    w.cbxTonart->setCurrentIndex(kOwnScaleIndex);
    w.cbxTonart->activated(kOwnScaleIndex);
    EXPECT_EQ(w.cbxTonart->currentIndex(), 1);
}

TEST_F(MainWindow, ValueCellsAreEditableAndKeysAreNot) {
    QAbstractItemModel* model = window->vleNoten->model();
    EXPECT_FALSE(model->flags(model->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_TRUE(model->flags(model->index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->setData(model->index(0, 0), "7"));
    EXPECT_TRUE(model->setData(model->index(3, 1), "Hallo"));
    EXPECT_EQ(window->NoteMap.Value(3), "Hallo");
    EXPECT_EQ(window->NoteMap.Key(0), "0");
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Divisonsrest");
    EXPECT_EQ(window->vleTempo->model()->headerData(1, Qt::Horizontal).toString(), "Notenlänge");
}

TEST_F(MainWindow, PlayButtonPlaysTheExplicitListWithTheInstrument) {
    window->cbxInstrument->setCurrentIndex(40);
    PlayExplicit("234, 382, -34");
    ASSERT_FALSE(service->Messages().empty());
    EXPECT_EQ(service->Messages().front().bytes, (std::vector<uint8_t>{0xC0, 40}));
    std::vector<int> keys;
    for (const auto& n : Notes()) keys.push_back(n.note - 8);
    EXPECT_EQ(keys, (std::vector<int>{46, 50, 50}));
    EXPECT_EQ(window->btnPlay->text(), "Abspielen");
    EXPECT_TRUE(window->frmFolgenNoten->frmExplizit1->mmoExplizit->isEnabled());
    EXPECT_TRUE(errors.empty());
}

// The member that sounds is selected where it came from, scrolled into view.
TEST_F(MainWindow, PlayingMemberIsSelectedInItsList) {
    window->show();
    QString list = "1; -22\n";
    for (int i = 0; i < 200; ++i) list += "7,\n";
    list += "333";
    TfrmFolgen* f = window->frmFolgenNoten;
    const struct {
        const char* name;
        QRadioButton* source;
        QPlainTextEdit* box;
    } cases[] = {{"explicit list", f->rbtExplizit, f->frmExplizit1->mmoExplizit},
                 {"OEIS members", f->rbtOEIS, f->frmOEIS1->mmoSequence}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.source->click();
        c.box->setPlainText(list);
        c.box->verticalScrollBar()->setValue(0);
        std::vector<QString> selected;
        const auto connection = QObject::connect(c.box, &QPlainTextEdit::selectionChanged, [&] {
            selected.push_back(c.box->textCursor().selectedText());
        });
        window->btnPlay->click();
        QObject::disconnect(connection);
        ASSERT_EQ(selected.size(), 203u);
        EXPECT_EQ(selected[0], "1");
        EXPECT_EQ(selected[1], "22");
        EXPECT_EQ(selected[2], "7");
        EXPECT_EQ(selected.back(), "333");
        EXPECT_TRUE(c.box->viewport()->rect().contains(c.box->cursorRect()));
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainWindow, BadMapCellShowsTheErrorAndLeavesTheListEditable) {
    ASSERT_TRUE(window->vleNoten->model()->setData(window->vleNoten->model()->index(3, 1), "d"));
    PlayExplicit("1, 99999999998, 3");  // the big member plays, the third finds "d"
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "'d' ist kein gültiger Integerwert.");
    EXPECT_EQ(Notes().size(), 2u);
    EXPECT_FALSE(window->Playing());
    EXPECT_EQ(window->btnPlay->text(), "Abspielen");
    for (TfrmFolgen* f : {window->frmFolgenNoten, window->frmFolgenTempo}) {
        EXPECT_TRUE(f->frmExplizit1->mmoExplizit->isEnabled());
        EXPECT_TRUE(f->frmFormel1->btnGo->isEnabled());
        EXPECT_TRUE(f->frmOEIS1->btnGo->isEnabled());
    }
    for (int key = 1; key <= 88; ++key)
        EXPECT_EQ(window->frmKlavier->Key(key)->Face(), window->frmKlavier->Key(key)->Colour());
}

TEST_F(MainWindow, InstrumentChangeSendsAProgramChangeAtOnce) {
    window->cbxInstrument->setCurrentIndex(127);
    emit window->cbxInstrument->activated(127);
    ASSERT_FALSE(service->Messages().empty());
    EXPECT_EQ(service->Messages().back().bytes, (std::vector<uint8_t>{0xC0, 127}));
}

TEST_F(MainWindow, KeyClickSoundsTheKeyAndWritesItIntoTheSelectedRowOnlyOutsideARun) {
    window->vleNoten->setCurrentIndex(window->vleNoten->model()->index(2, 1));
    window->frmKlavier->show();
    QTest::mouseClick(window->frmKlavier->Key(49), Qt::LeftButton);
    EXPECT_EQ(window->NoteMap.Value(2), "49");
    EXPECT_EQ(Notes(), (std::vector<SoundedNote>{{57, 0, 200000}}));
    QTimer::singleShot(0, window.get(), [this] { emit window->frmKlavier->KeyClicked(50); });
    PlayExplicit("1");
    EXPECT_EQ(window->NoteMap.Value(2), "49");
    ASSERT_EQ(Notes().size(), 3u);
    EXPECT_EQ(Notes()[1].note, 58);  // sounded, during the run
}

TEST_F(MainWindow, BeendenDuringARunEndsItAfterTheCurrentElement) {
    window->show();
    QTimer::singleShot(0, window.get(), [this] { window->miBeenden->trigger(); });
    PlayExplicit("1, 2, 3, 4");
    EXPECT_EQ(Notes().size(), 1u);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindow, CloseBoxDuringARunEndsItAsBeendenDoesAndNeverLater) {
    const struct {
        const char* name;
        bool runFails;
    } cases[] = {{"run ends after the current element", false},
                 {"run fails in the current element", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        errors.clear();
        service->ClearMessages();
        window->TempoMap.SetValue(0, "2");
        window->show();
        QTimer::singleShot(0, window.get(), [&] {
            if (c.runFails) window->TempoMap.SetValue(0, "lang");
            window->close();
            EXPECT_TRUE(window->isVisible());  // until the element has sounded
        });
        PlayExplicit("1, 2, 3, 4");
        EXPECT_EQ(Notes().size(), c.runFails ? 0u : 1u);
        EXPECT_EQ(errors.size(), c.runFails ? 1u : 0u);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(window->Playing());
    }
    // No close request is left over for the next run.
    window->TempoMap.SetValue(0, "2");
    window->show();
    PlayExplicit("1, 2");
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindow, OpensCentredWithoutMaximiseBox) {
    const QPoint screen = window->screen()->availableGeometry().center();
    const auto expectCentred = [&](const QRect& r) {
        EXPECT_LE(std::abs(r.center().x() - screen.x()), 1);
        EXPECT_LE(std::abs(r.center().y() - screen.y()), 1);
    };
    expectCentred(window->geometry());
    // A message box of the start-up (here: no MIDI device) stands over the
    // window, which is centred already.
    midi.SetService(std::make_shared<RecordingMidiService>(std::vector<std::string>{}, &clock));
    std::vector<QRect> underBox;
    SetErrorBoxSink([&](const QString&) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TfrmMain*>(w) && w != window.get()) underBox.push_back(w->geometry());
    });
    TfrmMain starting(midi);
    ASSERT_EQ(underBox.size(), 1u);
    expectCentred(underBox[0]);
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
}

TEST_F(MainWindow, InstrumentListOpensWithSixteenEntries) {
    window->show();
    window->cbxInstrument->showPopup();
    QAbstractItemView* view = window->cbxInstrument->view();
    ASSERT_TRUE(view->isVisible());
    EXPECT_EQ(view->viewport()->height() / view->sizeHintForRow(0), 16);
    window->cbxInstrument->hidePopup();
}

TEST_F(MainWindow, SecondPressStopsTheRun) {
    QTimer::singleShot(0, window.get(), [this] {
        // Saving a MIDI file would ask the sources from inside the run.
        EXPECT_FALSE(window->miMidiDatei->isEnabled());
        window->btnPlay->click();
        EXPECT_EQ(window->btnPlay->text(), "Abspielen");
    });
    PlayExplicit("1, 2, 3, 4");
    EXPECT_EQ(Notes().size(), 1u);
    EXPECT_FALSE(window->Playing());
    EXPECT_TRUE(window->miMidiDatei->isEnabled());
}

TEST_F(MainWindow, LongNoteKeepsTheWindowPainted) {
    // A note of 8 s; one second into it the label needs a repaint (as when a
    // window that covered it goes away). It is painted while the note sounds.
    struct ExposingClock : VirtualClock {
        std::function<void()> atOneSecond;
        void SleepUntilUs(int64_t deadlineUs) override {
            VirtualClock::SleepUntilUs(deadlineUs);
            if (atOneSecond && NowUs() >= 1000000) std::exchange(atOneSecond, nullptr)();
        }
    } exposing;
    struct PaintTimes : QObject {
        IClock* clock = nullptr;
        std::vector<int64_t> us;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) us.push_back(clock->NowUs());
            return false;
        }
    } paints;
    paints.clock = &exposing;
    window->TempoMap.SetValue(0, "0");
    window->tbTempo->setValue(30);
    window->show();
    QCoreApplication::processEvents();
    window->lblHomepage->installEventFilter(&paints);
    exposing.atOneSecond = [&] { window->lblHomepage->update(); };
    midi.SetClock(&exposing);
    PlayExplicit("1");
    midi.SetClock(&clock);
    EXPECT_EQ(exposing.NowUs(), 8000000);
    ASSERT_FALSE(paints.us.empty());
    EXPECT_GE(paints.us.front(), 1000000);
    EXPECT_LT(paints.us.front(), 1000000 + kWaitSliceUs + 1);
}

TEST_F(MainWindow, MidiFileHoldsTheMelodyThatWouldPlayWithoutPlayingIt) {
    const std::string path = ::testing::TempDir() + "sonavix_menu_test.mid";
    window->ChooseMidiFilePath = [&] { return QString::fromStdString(path); };
    window->frmFolgenNoten->rbtExplizit->click();
    window->frmFolgenNoten->frmExplizit1->mmoExplizit->setPlainText("234, 382");
    window->cbxInstrument->setCurrentIndex(40);
    window->miMidiDatei->trigger();
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> written{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(written, MidiFileBytes({{46, 667}, {50, 667}}, 90, 40));
    EXPECT_TRUE(service->Messages().empty());
    std::remove(path.c_str());

    window->ChooseMidiFilePath = [] { return QString(); };  // cancelled: nothing happens
    window->miMidiDatei->trigger();
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainWindow, BorderIsResizableOnlyOnANarrowScreen) {
    // The offscreen platform's screen is 800 pixels wide unless configured otherwise.
    const bool narrow = QGuiApplication::primaryScreen()->geometry().width() < 1023;
    EXPECT_EQ(window->Resizable(), narrow);
    EXPECT_EQ(window->minimumSize() != window->maximumSize(), narrow);
    // Either way the window never gets smaller than its layout: the bottom row
    // cannot slide over the controls above it.
    for (bool ticked : {false, true}) {
        EXPECT_EQ(window->minimumSize(), window->size()) << ticked;
        window->cbxTempoFolge->click();  // a height change keeps the border as it is
        EXPECT_EQ(window->minimumSize() != window->maximumSize(), narrow);
    }
    EXPECT_EQ(window->OuterHeight(), 466);
}

TEST_F(MainWindow, NoCaptionIsClippedOrRunsIntoItsNeighbour) {
    // The note frame shows its lookup after a hit, the tempo frame its formula.
    window->cbxTempoFolge->click();
    window->frmFolgenNoten->rbtOEIS->click();
    window->frmFolgenNoten->frmOEIS1->lblVorLink->show();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!(qobject_cast<QLabel*>(w) || qobject_cast<QRadioButton*>(w) ||
              qobject_cast<QCheckBox*>(w)) ||
            !w->isVisibleTo(window.get()))
            continue;
        const std::string name = w->property("text").toString().toStdString();
        EXPECT_GE(w->width(), w->sizeHint().width()) << name;
        const QRect caption(w->pos(), QSize(w->sizeHint().width(), w->height()));
        for (QWidget* sibling :
             w->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (sibling == w || !sibling->isVisibleTo(window.get())) continue;
            EXPECT_FALSE(caption.intersects(sibling->geometry()))
                << name << " runs into " << sibling->metaObject()->className() << " "
                << sibling->property("text").toString().toStdString();
        }
        // Nor past the window's right edge.
        EXPECT_LE(w->parentWidget()->mapTo(window.get(), caption.topRight()).x(), window->width())
            << name;
    }
}

TEST_F(MainWindow, EachEditIsOneStepBackAndForth) {
    TfrmMain& w = *window;
    w.show();
    const MelodySetup start = w.CaptureSetup();
    w.tbTempo->setValue(150);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.miRueckgaengig->text(), "Rückgängig: Tempo");
    // A preset replaces the whole table: one step with the choice.
    w.cbxTonart->setCurrentIndex(3);
    w.cbxTonart->activated(3);
    QCoreApplication::processEvents();
    const MelodySetup preset = w.CaptureSetup();
    EXPECT_EQ(w.miRueckgaengig->text(), "Rückgängig: Tonleiter");
    // Typing in one field is one step until the focus leaves it.
    QLineEdit* formula = w.frmFolgenNoten->frmFormel1->edtFormel;
    formula->setFocus();
    QTest::keyClicks(formula, "+1");
    QCoreApplication::processEvents();
    EXPECT_EQ(w.UndoStack()->count(), 3);
    const MelodySetup typed = w.CaptureSetup();

    w.miRueckgaengig->trigger();
    EXPECT_EQ(w.CaptureSetup(), preset);
    w.miRueckgaengig->trigger();
    w.miRueckgaengig->trigger();
    EXPECT_EQ(w.CaptureSetup(), start);
    EXPECT_FALSE(w.miRueckgaengig->isEnabled());
    for (int i = 0; i < 3; ++i) w.miWiederholen->trigger();
    EXPECT_EQ(w.CaptureSetup(), typed);
    EXPECT_EQ(w.UndoStack()->count(), 3);  // showing a step is no step of its own
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainWindow, EveryControlHasTheNameAScreenReaderReads) {
    const auto nameOf = [](QObject* o) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(o);
        return a ? a->text(QAccessible::Name).toStdString() : std::string();
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool interactive =
            qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
            (qobject_cast<QAbstractItemView*>(w) && !qobject_cast<QHeaderView*>(w)) ||
            qobject_cast<QSlider*>(w);
        // A combo box's list opens as a window of its own and is named with its box;
        // what takes no focus (a table's corner) is part of its control.
        if (interactive && w->window() == window.get() && w->focusPolicy() != Qt::NoFocus) {
            EXPECT_FALSE(nameOf(w).empty()) << w->metaObject()->className();
        }
    }
    TfrmFormel* formel = window->frmFolgenTempo->frmFormel1;
    const std::pair<QObject*, std::string> names[] = {
        {formel->edtLaenge, "Anzahl Folgeglieder"},
        {window->frmFolgenNoten->frmOEIS1->edtOEIS,
         "OEIS-Index, Suchbegriff oder Teilfolge eingeben"},
        {window->vleNoten, "Notentabelle"},
        {window->btnMoreTempo, "Zeile hinzufügen (Tempotabelle)"},
        {window->frmKlavier.get(), "Klaviatur"}};
    for (const auto& [control, name] : names) EXPECT_EQ(nameOf(control), name);
    // A combo box reads its item; its caption comes through the label relation.
    const auto labels =
        QAccessible::queryAccessibleInterface(window->cbxGrundton)->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0].first->object(), window->lblGrundton);
    // A cell reads with its column's caption, as the table shows it.
    auto* table = dynamic_cast<QAccessibleTableInterface*>(
        QAccessible::queryAccessibleInterface(window->vleNoten)->tableInterface());
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->cellAt(3, 0)->text(QAccessible::Name).toStdString(), "Divisonsrest 3");
    EXPECT_EQ(table->cellAt(3, 1)->text(QAccessible::Name).toStdString(),
              "Notenwert " + window->NoteMap.Value(3));
    EXPECT_EQ(table->columnDescription(1).toStdString(), "Notenwert");
}
