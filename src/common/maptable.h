#pragma once
// A name=value table as the note and tempo maps hold it: rows in order, names
// "0".."n-1" that the user cannot edit, values that are free text.
#include <string>
#include <vector>

class ValueListTable {
public:
    struct Row {
        std::string Key;
        std::string Value;
    };

    // Rows are named firstKey, firstKey+1, ... (0 for the maps, 1 for start values).
    explicit ValueListTable(int firstKey = 0) : firstKey_(firstKey) {}
    // Rows "0".."n-1" with the given values.
    explicit ValueListTable(const std::vector<std::string>& values, int firstKey = 0);

    int RowCount() const { return static_cast<int>(rows_.size()); }
    const Row& At(int row) const { return rows_.at(row); }
    const std::string& Key(int row) const { return rows_.at(row).Key; }
    const std::string& Value(int row) const { return rows_.at(row).Value; }
    void SetValue(int row, const std::string& value);
    // The row whose key is key, or -1.
    int FindKey(const std::string& key) const;
    // Name/value assignment: sets the row named key, or appends such a row.
    void SetValueByName(const std::string& key, const std::string& value);

    // Appends the row named firstKey+n with the value and returns its index.
    int AppendRow(const std::string& value);
    void DeleteLastRow();
    // Replaces every row by rows firstKey.. with the given values.
    void Assign(const std::vector<std::string>& values);

    // The selected row, -1 when none.
    int CurrentRow() const { return current_; }
    void SetCurrentRow(int row);

    // Views that show this table register here to hear about changes.
    struct Listener {
        virtual ~Listener() = default;
        virtual void TableReset() = 0;
        virtual void ValueChanged(int row) = 0;
        virtual void CurrentRowChanged(int row) = 0;
    };
    void SetListener(Listener* listener) { listener_ = listener; }

private:
    void Reset();
    std::string KeyOf(size_t row) const {
        return std::to_string(firstKey_ + static_cast<long long>(row));
    }
    std::vector<Row> rows_;
    int firstKey_ = 0;
    int current_ = -1;
    Listener* listener_ = nullptr;
};
