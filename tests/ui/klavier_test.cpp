#include "ui/klavier.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "help/d6onhelpfix.h"
#include "help/help_contexts.h"

namespace {
class Keyboard : public ::testing::Test {
protected:
    TfrmKlavier klavier;
};
}  // namespace

TEST_F(Keyboard, EightyEightKeysInPianoOrder) {
    int white = 0, black = 0;
    for (int k = 1; k <= 88; ++k) {
        const TTaste* key = klavier.Key(k);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->KeyNumber(), k);
        if (key->Colour() == kWeiss) {
            ++white;
            EXPECT_EQ(key->size(), QSize(15, 75));
        } else {
            ++black;
            EXPECT_EQ(key->size(), QSize(9, 40));
        }
    }
    EXPECT_EQ(white, 52);
    EXPECT_EQ(black, 36);
    const struct {
        int key, left;
        QRgb colour;
    } cases[] = {{1, 0, kWeiss},    {2, 11, kSchwarz}, {40, 368, kWeiss}, {41, 378, kSchwarz},
                 {49, 448, kWeiss}, {87, 800, kWeiss}, {88, 816, kWeiss}};
    for (const auto& c : cases) {
        EXPECT_EQ(klavier.Key(c.key)->x(), c.left) << c.key;
        EXPECT_EQ(klavier.Key(c.key)->Colour(), c.colour) << c.key;
    }
    EXPECT_EQ(klavier.Key(88)->geometry().right(), 830);
    EXPECT_EQ(klavier.size(), QSize(831, 75));
    EXPECT_EQ(klavier.Key(0), nullptr);
    EXPECT_EQ(klavier.Key(89), nullptr);
}

TEST_F(Keyboard, BlackKeysTakeTheClicksWhereTheyOverlap) {
    klavier.show();
    // Key 41 (black, left 378) lies over key 40 (white, 368..382).
    EXPECT_EQ(klavier.childAt(380, 10), klavier.Key(41));
    EXPECT_EQ(klavier.childAt(380, 60), klavier.Key(40));
}

TEST_F(Keyboard, MarkAndUnmarkRestoreEachKeysColour) {
    for (int k : {40, 41}) {
        klavier.MarkKey(k);
        EXPECT_EQ(klavier.Key(k)->Face(), kRot);
        klavier.UnmarkKey(k);
        EXPECT_EQ(klavier.Key(k)->Face(), klavier.Key(k)->Colour());
    }
    for (int k : {0, -5, 89}) klavier.MarkKey(k);
    for (int k = 1; k <= 88; ++k) EXPECT_NE(klavier.Key(k)->Face(), kRot);
}

TEST_F(Keyboard, AClickOnlySignalsItsKeyNumber) {
    klavier.show();
    QSignalSpy clicked(&klavier, &TfrmKlavier::KeyClicked);
    for (int k : {49, 41, 88}) QTest::mouseClick(klavier.Key(k), Qt::LeftButton);
    ASSERT_EQ(clicked.size(), 3);
    EXPECT_EQ(clicked[0][0].toInt(), 49);
    EXPECT_EQ(clicked[1][0].toInt(), 41);
    EXPECT_EQ(clicked[2][0].toInt(), 88);
}

TEST_F(Keyboard, KeysAreNamedButtonsCheckedWhileMarked) {
    TTaste* key = klavier.Key(41);
    EXPECT_EQ(key->accessibleName(), "Taste 41 (cis')");
    EXPECT_EQ(klavier.accessibleName(), "Klaviatur");
    EXPECT_EQ(klavier.windowTitle(), " ");
    EXPECT_EQ(HelpContextOf(key), IDH_BARRIEREFREIHEIT);  // F1 on a key: the shortcuts' page
    klavier.MarkKey(41);
    EXPECT_TRUE(key->isChecked());
    klavier.UnmarkKey(41);
    EXPECT_FALSE(key->isChecked());
    klavier.show();
    QTest::mouseClick(key, Qt::LeftButton);  // a click sounds the key, it does not mark it
    EXPECT_FALSE(key->isChecked());
}

TEST_F(Keyboard, ArrowsMoveAmongTheKeysAndSpaceOrEnterPlaysOne) {
    klavier.show();
    const struct {
        int from;
        Qt::Key key;
        int to;
    } moves[] = {{40, Qt::Key_Right, 41}, {40, Qt::Key_Left, 39},  {40, Qt::Key_Up, 52},
                 {40, Qt::Key_Down, 28},  {5, Qt::Key_Down, 1},    {80, Qt::Key_Up, 88},
                 {1, Qt::Key_Left, 1},    {88, Qt::Key_Right, 88}, {40, Qt::Key_Home, 1},
                 {40, Qt::Key_End, 88}};
    QSignalSpy clicked(&klavier, &TfrmKlavier::KeyClicked);
    for (const auto& m : moves) {
        klavier.Key(m.from)->setFocus();
        QTest::keyClick(klavier.Key(m.from), m.key);
        EXPECT_EQ(klavier.focusWidget(), klavier.Key(m.to)) << m.from << " " << m.key;
    }
    EXPECT_EQ(clicked.size(), 0);
    QTest::keyClick(klavier.Key(41), Qt::Key_Space);
    QTest::keyClick(klavier.Key(49), Qt::Key_Return);
    QTRY_COMPARE(clicked.size(), 2);
    EXPECT_EQ(clicked[0][0].toInt(), 41);
    EXPECT_EQ(clicked[1][0].toInt(), 49);
}
