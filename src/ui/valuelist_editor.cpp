#include "ui/valuelist_editor.h"

#include <QHeaderView>

ValueListModel::ValueListModel(ValueListTable& table, QString keyTitle, QString valueTitle,
                               QObject* parent)
    : QAbstractTableModel(parent),
      table_(table),
      titles_{std::move(keyTitle), std::move(valueTitle)} {
    table_.SetListener(this);
}

ValueListModel::~ValueListModel() { table_.SetListener(nullptr); }

int ValueListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : table_.RowCount();
}

int ValueListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant ValueListModel::data(const QModelIndex& index, int role) const {
    const bool spoken = role == Qt::AccessibleTextRole;
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole && !spoken)) return {};
    const auto& row = table_.At(index.row());
    const QString value = QString::fromStdString(index.column() == 0 ? row.Key : row.Value);
    // A reader hears the cell with its column: "Notenwert 43".
    return spoken ? titles_[index.column()] + " " + value : value;
}

QVariant ValueListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 2)
        return titles_[section];
    return {};
}

Qt::ItemFlags ValueListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 1) f |= Qt::ItemIsEditable;  // names stay as they are
    return f;
}

bool ValueListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != 1 || role != Qt::EditRole) return false;
    table_.SetValue(index.row(), value.toString().toStdString());
    return true;
}

void ValueListModel::TableReset() {
    beginResetModel();
    endResetModel();
    emit currentRowChanged(table_.CurrentRow());
}

void ValueListModel::ValueChanged(int row) { emit dataChanged(index(row, 1), index(row, 1)); }

void ValueListModel::CurrentRowChanged(int row) { emit currentRowChanged(row); }

ValueListEditor::ValueListEditor(ValueListTable& table, const QString& keyTitle,
                                 const QString& valueTitle, QWidget* parent)
    : QTableView(parent), model_(new ValueListModel(table, keyTitle, valueTitle, this)) {
    setModel(model_);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(18);
    horizontalHeader()->setFixedHeight(18);
    horizontalHeader()->setHighlightSections(false);
    // The value column takes what the name column leaves, so nothing scrolls sideways
    // when a vertical scroll bar appears.
    horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::AllEditTriggers);
    setTabKeyNavigation(false);
    // The table's current row follows the view, and the view follows the table.
    connect(model_, &ValueListModel::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != currentIndex().row()) {
            setCurrentIndex(model_->index(row, 1));
            scrollTo(model_->index(row, 0));
        }
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) model_->Table().SetCurrentRow(current.row());
            });
    if (table.CurrentRow() >= 0) setCurrentIndex(model_->index(table.CurrentRow(), 1));
}

void ValueListEditor::SetColumnWidths(int keyWidth, int valueWidth) {
    setColumnWidth(0, keyWidth);
    setColumnWidth(1, valueWidth);  // a starting width; the column stretches to the view
}
