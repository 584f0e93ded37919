// Lists from data files: the guessed layout, the column chosen and its values.
#include "sources/data_file.h"

#include <gtest/gtest.h>

#include "support/expect_error.h"

namespace {

using enum FieldSeparator;

}  // namespace

void PrintTo(const DataLayout& l, std::ostream* out) {
    *out << "{separator " << static_cast<int>(l.Separator) << ", decimal comma " << l.DecimalComma
         << ", header " << l.Header << "}";
}

namespace {

TEST(DataFile, FilesOfEveryShapeBecomeTheListOrNameTheLine) {
    const struct {
        const char* name;
        std::string text, column;
        DataLayout layout;  // as guessed
        std::string list;   // or the message
        bool negative = false;
    } cases[] = {
        // Ties go to the even neighbour; -0,5 rounds to 0 and loses no sign.
        {"German CSV",
         "Datum;Wert\n01.02.;3,5\n02.02.;4,5\n03.02.;-2,5\n04.02.;-0,5\n",
         "",
         {Semicolon, true, true},
         "4, 4, 2, 0",
         true},
        // A first column counting up by one is an index, not the data.
        {"TSV with header", "n\tWert\n1\t10\n2\t20\n3\t30\n", "", {Tab, false, true}, "10, 20, 30"},
        {"TSV by name", "n\tWert\n1\t10\n2\t20\n", "wert", {Tab, false, true}, "10, 20"},
        {"TSV by number", "n\tWert\n1\t10\n2\t20\n", "1", {Tab, false, true}, "1, 2"},
        {"OEIS b-file",
         "# A000045 (b-file synthesized from sequence entry)\n0 0\n1 1\n2 1\n3 -2\n"
         "4 354224848179261915075\n",
         "",
         {Blanks, false, false},
         "0, 1, 1, 2, 354224848179261915075",
         true},
        {"blank lines, CRLF",
         "\r\n5\r\n  \r\n\r\n007\r\n+8\r\n",
         "",
         {Tab, false, false},
         "5, 7, 8"},
        {"English CSV, quotes, exponent",
         "\"x\",\"y\"\n\"1\",2.5\n2,\"0.7e1\"\n",
         "",
         {Comma, false, true},
         "2, 7"},
        {"decimal commas in quotes",
         "\"a\",\"3,5\"\n\"b\",\"4,5\"\n",
         "",
         {Comma, true, false},
         "4, 4"},
        {"blanks, decimal comma", "1 3,5\n2 4,25\n", "2", {Blanks, true, false}, "4, 4"},
        {"not a number",
         "1;2\n3;4\n\n5;x\n",
         "2",
         {Semicolon, false, false},
         "Zeile 4, Spalte 2: \"x\" ist keine Zahl"},
        {"empty field",
         "1;2\n3;\n",
         "2",
         {Semicolon, false, false},
         "Zeile 2, Spalte 2: das Feld ist leer, erwartet ist eine Zahl"},
        {"short line",
         "1 2\n3 4\n5\n",
         "2",
         {Blanks, false, false},
         "Zeile 3 hat keine Spalte 2, nur 1"},
        {"too large to round",
         "x;1,5e30\n",
         "2",
         {Semicolon, true, false},
         "Zeile 1, Spalte 2: \"1,5e30\" ist zu groß zum Runden; große Werte bitte als ganze "
         "Zahl schreiben"},
        {"no such name",
         "n\tWert\n1\t10\n2\t20\n",
         "Preis",
         {Tab, false, true},
         "keine Spalte heißt \"Preis\"; die Kopfzeile nennt \"n\", \"Wert\""},
        {"name without header",
         "1 2\n",
         "Wert",
         {Blanks, false, false},
         "die Datei hat keine Kopfzeile, die Spalte \"Wert\" ist mit ihrer Nummer (ab 1) zu "
         "wählen"},
        {"column 0",
         "1 2\n",
         "0",
         {Blanks, false, false},
         "die Spalten werden ab 1 gezählt, nicht ab 0"},
        {"only comments", "# nichts\n\n", "", {Tab, false, false}, "die Datei enthält keine Werte"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GuessDataLayout(c.text), c.layout) << c.name;
        DataList read;
        const std::string message =
            MessageOf<EDataFileError>([&] { read = ReadDataList(c.text, c.column); });
        EXPECT_EQ(message == "<no error>" ? read.List : message, c.list) << c.name;
        EXPECT_EQ(read.NegativeValues, c.negative) << c.name;
    }
}

TEST(DataFile, ControlCharactersRefuseTheFileAndOnlyTheValuesAskedForAreRead) {
    EXPECT_EQ(MessageOf<EDataFileError>([] { CheckedDataText(std::string("1\n2\0 3\n", 7)); }),
              "Zeile 2 enthält das Steuerzeichen 0x00, das ist keine Textdatei");
    EXPECT_EQ(MessageOf<EDataFileError>([] { CheckedDataText("\x89PNG\r\n\x1a\n"); }),
              "Zeile 2 enthält das Steuerzeichen 0x1A, das ist keine Textdatei");
    EXPECT_EQ(CheckedDataText("\xEF\xBB\xBFWert\n1\n"), "Wert\n1\n");
    // The dialog's preview stops before a fault further down.
    const DataList first = ReadDataColumn("1\n2\nx\n", {}, 0, 2);
    EXPECT_EQ(first.List, "1, 2");
    EXPECT_EQ(first.Count, 2u);
}

}  // namespace
