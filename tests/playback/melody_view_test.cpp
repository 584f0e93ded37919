#include "playback/melody_view.h"

#include <gtest/gtest.h>

#include "playback/startup.h"
#include "support/list_host.h"

TEST(MelodyView, LinesNameMemberRemainderKeyAndLength) {
    ListHost host;
    host.notes = "1597, 0, 13";
    host.NoteMap.SetValue(0, "0");  // remainder 0 rests
    host.TempoMap = ValueListTable({"2", "9", "1", "-2", "9"});
    const DescribedMelody melody = DescribeMelody(host, host.NoteMap.RowCount());
    ASSERT_EQ(melody.Members, (std::vector<std::string>{"1597", "0", "13"}));
    EXPECT_EQ(MelodyText(melody),
              "Glied 1: 1597 → Rest 1 (mod 12) → Taste 41 (cis') · Halbe\n"
              "Glied 2: 0 → Rest 0 (mod 12) → Pause · Viertel\n"
              "Glied 3: 13 → Rest 1 (mod 12) → Taste 41 (cis') · 4 Ganze\n");
    EXPECT_EQ(MelodyCsv(melody),
              "Glied,Wert,Rest,Taste,Länge (ms)\n1,1597,1,41,1333\n2,0,0,0,667\n3,13,1,41,10667\n");
    EXPECT_EQ(NoteLine(16, "1597", 12, 41, 2, 667),
              "Glied 17: 1597 → Rest 1 (mod 12) → Taste 41 (cis') · Viertel");
}

TEST(MelodyView, KeyAndLengthNames) {
    const struct {
        int32_t key;
        const char* name;
    } keys[] = {{1, "Subkontra A"}, {2, "Subkontra B"},
                {14, "Kontra Ais"}, {40, "c'"},
                {77, "cis''''"},    {78, "d''''"},
                {88, "c'''''"},     {0, "Pause"},
                {-3, "Pause"},      {89, "jenseits der Klaviatur"}};
    for (const auto& k : keys) EXPECT_EQ(KeyName(k.key), k.name) << k.key;
    EXPECT_EQ(LengthName(4, 167), "Sechzehntel");
    EXPECT_EQ(LengthName(7, 21), "1/128");
    EXPECT_EQ(LengthName(-1, 5333), "2 Ganze");
    EXPECT_EQ(LengthName(std::nullopt, 250), "250 ms");
    EXPECT_EQ(LengthName(INT32_MIN, 0), "0 ms");
}
