#pragma once
// Lists from data files: one column of a text table (CSV, TSV, semicolons,
// blanks; a b-file too) read as the text of an explicit list. The layout is
// guessed from the first lines and may be changed before the column is read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/errors.h"

// What a file is refused for: "Zeile 7, Spalte 2: ..." or a cause of the whole file.
class EDataFileError : public EInvalidInput {
    using EInvalidInput::EInvalidInput;
};

// How a line divides into fields. Blanks: any run of blanks and tabs.
enum class FieldSeparator { Semicolon, Comma, Tab, Blanks };

struct DataLayout {
    FieldSeparator Separator = FieldSeparator::Blanks;
    bool DecimalComma = false;  // "3,5" is three and a half
    bool Header = false;        // the first line names the columns
    bool operator==(const DataLayout&) const = default;
};

// The file's text: refused as no text file when it holds a zero byte or
// another control character than tab, carriage return and line feed; a
// leading byte order mark is passed over.
std::string_view CheckedDataText(std::string_view raw);

// "Die Datei "werte.csv" lässt sich nicht als Liste lesen: " and the cause.
std::string DataFileMessage(const std::string& path, const std::string& cause);

// As large as a setup file may be: a table of 10^6 rows and a few columns fits.
inline constexpr std::size_t kDataFileBytesMax = std::size_t{64} << 20;

// The file at path, at most kDataFileBytesMax, its text checked. Its messages
// are DataFileMessage's.
std::string ReadDataFile(const std::string& path);

// The separator and the decimal comma that read the most numbers from the
// first lines; a header when the first line has a text where the lines
// after it have numbers.
DataLayout GuessDataLayout(std::string_view text);

struct DataColumns {
    // The header's names, or "" each without a header: as many as the first
    // lines have fields at most.
    std::vector<std::string> Names;
    // The first column of numbers in the first lines (from 0), passing over
    // one that counts up by one when a column of numbers follows it: a b-file's
    // n, or a row number. 0 when no column is all numbers.
    int Default = 0;
};
DataColumns DataColumnsOf(std::string_view text, const DataLayout& layout);

// The column which names: a number from 1, or a header's name (upper and
// lower case alike).
int DataColumnNamed(const DataColumns& columns, const std::string& which);

struct DataList {
    std::string List;             // a result text: "3, 4, 5"
    std::size_t Count = 0;        // values in List
    bool NegativeValues = false;  // a value had a sign, which the list drops
};

// The column's values in order: blank lines and lines beginning with "#" are
// passed over, as is the header. An integer keeps all its digits; any other
// number is rounded to the nearest integer, ties to even. A field that is no
// number, or a line without the column, is refused naming line and column.
// At most `most` values are read.
DataList ReadDataColumn(std::string_view text, const DataLayout& layout, int column,
                        std::size_t most = SIZE_MAX);

// The whole reading with the guessed layout: the column named as
// DataColumnNamed reads it, or the default one for "".
DataList ReadDataList(std::string_view text, const std::string& column);

// Said once when a list lost signs.
inline constexpr const char* kDataSignsNotRead =
    "Die Spalte hat negative Werte; ihre Vorzeichen stehen nicht in der Liste (\"-\" trennt "
    "Glieder), es zählen nur die Beträge";
