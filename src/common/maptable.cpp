#include "common/maptable.h"

ValueListTable::ValueListTable(const std::vector<std::string>& values, int firstKey)
    : firstKey_(firstKey) {
    Assign(values);
}

void ValueListTable::SetValue(int row, const std::string& value) {
    rows_.at(row).Value = value;
    if (listener_) listener_->ValueChanged(row);
}

int ValueListTable::FindKey(const std::string& key) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].Key == key) return static_cast<int>(i);
    return -1;
}

void ValueListTable::SetValueByName(const std::string& key, const std::string& value) {
    const int row = FindKey(key);
    if (row >= 0) {
        SetValue(row, value);
        return;
    }
    rows_.push_back({key, value});
    Reset();
}

int ValueListTable::AppendRow(const std::string& value) {
    rows_.push_back({KeyOf(rows_.size()), value});
    Reset();
    return RowCount() - 1;
}

void ValueListTable::DeleteLastRow() {
    if (rows_.empty()) return;
    rows_.pop_back();
    if (current_ >= RowCount()) current_ = RowCount() - 1;
    Reset();
}

void ValueListTable::Assign(const std::vector<std::string>& values) {
    rows_.clear();
    for (const auto& v : values) rows_.push_back({KeyOf(rows_.size()), v});
    if (current_ >= RowCount()) current_ = RowCount() - 1;
    if (current_ < 0 && !rows_.empty()) current_ = 0;
    Reset();
}

void ValueListTable::SetCurrentRow(int row) {
    if (row < -1 || row >= RowCount() || row == current_) return;
    current_ = row;
    if (listener_) listener_->CurrentRowChanged(row);
}

void ValueListTable::Reset() {
    if (current_ < 0 && !rows_.empty()) current_ = 0;
    if (listener_) listener_->TableReset();
}
