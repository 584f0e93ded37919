#include "ui/picture_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <QXmlStreamReader>
#include <filesystem>

#include "support/program.h"
#include "support/window_fixture.h"
#include "ui/accessibility.h"

namespace {
// Four seconds: c', a rest, c'' and f', one second each.
DescribedMelody FourNotes() {
    DescribedMelody m;
    m.Modulus = 12;
    for (int32_t key : {40, 0, 52, 45}) m.Timeline.Append(key, 1000, 0);
    m.Members = {"12", "7", "24", "17"};
    return m;
}
std::string ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "(fehlt)";
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

// More notes than columns: each column is drawn from what falls into it.
// 4000 notes, c' for the first half and c'' for the second, in the same
// plot as FourNotes (keys 40 to 52 over the height).
TEST(MelodyCanvas, ADenseRollShowsEachColumnsKeysInTheirRows) {
    DescribedMelody m;
    m.Modulus = 12;
    for (int i = 0; i < 4000; ++i) {
        m.Timeline.Append(i < 2000 ? 40 : 52, 10, 0);
        m.Members.push_back(std::to_string(i));
    }
    MelodyCanvas canvas;
    canvas.resize(600, 300);
    canvas.SetMelody(m);
    canvas.SetView(MelodyCanvas::View::Roll);
    QImage image(canvas.size(), QImage::Format_RGB32);
    canvas.render(&image);
    const QColor kNote(40, 90, 200);
    const struct {
        QPoint at;
        bool note;
    } cases[] = {{{100, 267}, true}, {{100, 16}, false}, {{500, 16}, true}, {{500, 267}, false}};
    for (const auto& c : cases)
        EXPECT_EQ(image.pixelColor(c.at) == kNote, c.note) << c.at.x() << "," << c.at.y();
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

TEST(PictureWindow, SavesThePictureAndTheListAfterTheFileEnding) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("sonavix-picture-" + std::to_string(getpid()));
    fs::create_directories(dir);
    PictureWindow w;
    w.ReadMelody = FourNotes;
    w.Reload();
    w.canvas->resize(600, 300);
    // The third note, c'', in the picture's note colour.
    const QPoint note = w.canvas->NoteRect(2).center().toPoint();
    const QColor kNote(40, 90, 200);
    const std::string csv =
        "Glied,Wert,Rest,Taste,Länge (ms)\n1,12,0,40,1000\n2,7,7,0,1000\n3,24,0,52,1000\n"
        "4,17,5,45,1000\n";
    const struct {
        const char* name;
        std::function<void(const QString& path)> check;
    } cases[] = {
        {"bild.png",
         [&](const QString& path) {
             const QImage image(path, "PNG");
             ASSERT_FALSE(image.isNull());
             EXPECT_EQ(image.size(), QSize(600, 300));
             EXPECT_EQ(image.pixelColor(note), kNote);
             EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));
         }},
        {"BILD.SVG",
         [&](const QString& path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::ReadOnly));
             const QByteArray svg = file.readAll();
             QXmlStreamReader xml(svg);
             while (!xml.atEnd()) xml.readNext();
             EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
             EXPECT_TRUE(svg.contains("fill=\"" + kNote.name().toLatin1() + "\""));
             if (fs::exists("/usr/bin/xmllint")) {
                 const ProgramResult r =
                     RunProgram("/usr/bin/xmllint", {"--noout", path.toStdString()});
                 EXPECT_EQ(r.status, 0) << r.err;
             }
         }},
        {"liste.csv", [&](const QString& path) { EXPECT_EQ(ReadAll(path), csv); }},
        {"LISTE.CSV", [&](const QString& path) { EXPECT_EQ(ReadAll(path), csv); }},
        {"liste.txt",
         [&](const QString& path) {
             EXPECT_EQ(ReadAll(path),
                       "Glied 1: 12 → Rest 0 (mod 12) → Taste 40 (c') · Ganze\n"
                       "Glied 2: 7 → Rest 7 (mod 12) → Pause · Ganze\n"
                       "Glied 3: 24 → Rest 0 (mod 12) → Taste 52 (c'') · Ganze\n"
                       "Glied 4: 17 → Rest 5 (mod 12) → Taste 45 (f') · Ganze\n");
         }},
    };
    for (const auto& c : cases) {
        const QString path = QString::fromStdString((dir / c.name).string());
        const bool picture = QString(c.name).startsWith("bild", Qt::CaseInsensitive);
        (picture ? w.ChooseImagePath : w.ChooseExportPath) = [&] { return path; };
        (picture ? w.btnSaveImage : w.btnExport)->click();
        SCOPED_TRACE(c.name);
        c.check(path);
    }
    fs::remove_all(dir);
}

class PictureInWindow : public WindowTest {};

TEST_F(PictureInWindow, ShowsTheMelodyAndTheKeyboardTitleNamesThePlayingNote) {
    TfrmMain& w = *window;
    w.frmFolgenNoten->rbtExplizit->click();
    w.frmFolgenNoten->frmExplizit1->mmoExplizit->setPlainText("1597, 13");
    w.miAnsicht->trigger();
    ASSERT_TRUE(w.Picture);
    EXPECT_EQ(w.Picture->canvas->Melody().Members, (std::vector<std::string>{"1597", "13"}));
    w.miAbspielen->trigger();  // F5: plays as the button does
    EXPECT_EQ(w.frmKlavier->windowTitle().toStdString(),
              "Glied 2: 13 → Rest 1 (mod 12) → Taste 41 (cis') · Viertel");
    // A screen reader hears the same line from the status line.
    EXPECT_EQ(w.lblStatus->Text(), w.frmKlavier->windowTitle());
    EXPECT_EQ(w.Picture->canvas->Current(), std::optional<size_t>(1));
    EXPECT_EQ(w.Picture->lblLine->text(), w.frmKlavier->windowTitle());
    EXPECT_TRUE(errors.empty());
}
