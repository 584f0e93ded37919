#include "playback/expression.h"

#include <algorithm>

#include "common/convert.h"
#include "common/errors.h"
#include "common/messages.h"
#include "formula/arithmetic.h"

int ExpressionLookup(Expression kind, const ValueListTable& map, std::string_view member) {
    const ExpressionInfo info = InfoOf(kind);
    if (map.RowCount() == 0)
        throw EInvalidInput(std::string("Die ") + info.MapName + " hat keine Zeile");
    const uint32_t r = DecimalRemainder(member, map.RowCount());
    const std::string key = std::to_string(r);
    const int row = map.FindKey(key);
    const std::string text = row >= 0 ? map.Value(row) : std::string();
    const std::string where = std::string(info.MapName) + ", Zeile " + key + ": ";
    int32_t value = 0;
    if (!TryStrToInt(text, value)) throw EInvalidInput(where + msg::InvalidInteger(text));
    if (value < info.Min || value > info.Max)
        throw EInvalidInput(where + std::to_string(value) + " liegt nicht zwischen " +
                            std::to_string(info.Min) + " und " + std::to_string(info.Max));
    return value;
}

int OffsetPan(int pan, int offset) { return std::clamp(pan + offset, kPanMin, kPanMax); }
