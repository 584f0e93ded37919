#include "ui/picture_window.h"

#include <gtest/gtest.h>

#include <QTest>

#include "support/window_fixture.h"

namespace {
// Four seconds: c', a rest, c'' and f', one second each.
DescribedMelody FourNotes() {
    DescribedMelody m;
    m.Modulus = 12;
    for (int32_t key : {40, 0, 52, 45}) m.Timeline.Append(key, 1000, 0);
    m.Members = {"12", "7", "24", "17"};
    return m;
}
}  // namespace

TEST(MelodyCanvas, HitTestFindsTheNoteUnderAPoint) {
    MelodyCanvas canvas;
    canvas.resize(600, 300);
    canvas.SetMelody(FourNotes());
    // The plot spans x 56..592 for 0..4 s and y 6..278 for keys 52.5 down to 39.5.
    const struct {
        MelodyCanvas::View view;
        double start, span;
        QPoint at;
        std::optional<size_t> note;
    } cases[] = {
        {MelodyCanvas::View::Roll, 0, 1, {391, 16}, 2},
        {MelodyCanvas::View::Roll, 0, 1, {525, 163}, 3},
        {MelodyCanvas::View::Roll, 0, 1, {90, 267}, 0},
        {MelodyCanvas::View::Roll, 0, 1, {391, 60}, std::nullopt},   // above the row of 52
        {MelodyCanvas::View::Roll, 0, 1, {257, 267}, std::nullopt},  // the rest is a gap
        {MelodyCanvas::View::Roll, 0, 1, {20, 267}, std::nullopt},   // on the axis
        {MelodyCanvas::View::Roll, 0.5, 0.5, {190, 16}, 2},          // zoomed onto 2..4 s
        {MelodyCanvas::View::Plot, 0, 1, {257, 30}, 1},              // a plot's column
        {MelodyCanvas::View::Plot, 0, 1, {595, 30}, std::nullopt},
    };
    for (const auto& c : cases) {
        canvas.SetView(c.view);
        canvas.SetWindow(c.start, c.span);
        EXPECT_EQ(canvas.NoteAt(c.at), c.note) << c.at.x() << "," << c.at.y();
    }
}

TEST(PictureWindow, ArrowsStepSoundAndAnnounceSpacePlaysADraggedRangeLoops) {
    PictureWindow w;
    std::vector<size_t> sounded;
    std::vector<PlayRange> played;
    w.ReadMelody = FourNotes;
    w.SoundMember = [&](size_t i) { sounded.push_back(i); };
    w.OnPlayRange = [&](const PlayRange& r) { played.push_back(r); };
    w.Reload();
    w.canvas->resize(600, 300);
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Left, Qt::Key_End, Qt::Key_Right})
        QTest::keyClick(&w, key);
    EXPECT_EQ(sounded, (std::vector<size_t>{0, 1, 0, 3, 3}));
    EXPECT_EQ(w.canvas->accessibleName().toStdString(),
              "Glied 4: 17 → Rest 5 (mod 12) → Taste 45 (f') · Ganze");
    QTest::keyClick(&w, Qt::Key_Space);
    // A drag from 0.7 s to 1.8 s covers the first note and the rest.
    QTest::mousePress(w.canvas, Qt::LeftButton, {}, QPoint(150, 100));
    QTest::mouseMove(w.canvas, QPoint(300, 100));
    QTest::mouseRelease(w.canvas, Qt::LeftButton, {}, QPoint(300, 100));
    QTest::keyClick(&w, Qt::Key_Space);
    ASSERT_EQ(played.size(), 2u);
    EXPECT_EQ(played[0].First, 3u);
    EXPECT_FALSE(played[0].Loop);
    EXPECT_EQ(played[1].First, 0u);
    EXPECT_EQ(played[1].Last, 1u);
    EXPECT_TRUE(played[1].Loop);
}

class PictureInWindow : public WindowTest {};

TEST_F(PictureInWindow, ShowsTheMelodyAndTheKeyboardTitleNamesThePlayingNote) {
    TfrmMain& w = *window;
    w.frmFolgenNoten->rbtExplizit->click();
    w.frmFolgenNoten->frmExplizit1->mmoExplizit->setPlainText("1597, 13");
    w.miAnsicht->trigger();
    ASSERT_TRUE(w.Picture);
    EXPECT_EQ(w.Picture->canvas->Melody().Members, (std::vector<std::string>{"1597", "13"}));
    w.btnPlay->click();
    EXPECT_EQ(w.frmKlavier->windowTitle().toStdString(),
              "Glied 2: 13 → Rest 1 (mod 12) → Taste 41 (cis') · Viertel");
    EXPECT_EQ(w.Picture->canvas->Current(), std::optional<size_t>(1));
    EXPECT_TRUE(errors.empty());
}
