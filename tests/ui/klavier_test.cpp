#include "ui/klavier.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

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
