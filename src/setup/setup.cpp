#include "setup/setup.h"

std::vector<std::string> VoiceSetup::ValuesOf(const ValueListTable& table) {
    std::vector<std::string> values;
    values.reserve(static_cast<size_t>(table.RowCount()));
    for (int row = 0; row < table.RowCount(); ++row) values.push_back(table.Value(row));
    return values;
}

ValueListTable MapTable(const std::vector<std::string>& values) { return ValueListTable(values); }
