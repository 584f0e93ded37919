#pragma once
// The two-column name/value table editor: shows a ValueListTable, names read-only.
#include <QAbstractTableModel>
#include <QTableView>

#include "common/maptable.h"

class ValueListModel : public QAbstractTableModel, private ValueListTable::Listener {
    Q_OBJECT
public:
    ValueListModel(ValueListTable& table, QString keyTitle, QString valueTitle,
                   QObject* parent = nullptr);
    ~ValueListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    ValueListTable& Table() { return table_; }

signals:
    void currentRowChanged(int row);

private:
    void TableReset() override;
    void ValueChanged(int row) override;
    void CurrentRowChanged(int row) override;

    ValueListTable& table_;
    QString titles_[2];
};

class ValueListEditor : public QTableView {
    Q_OBJECT
public:
    ValueListEditor(ValueListTable& table, const QString& keyTitle, const QString& valueTitle,
                    QWidget* parent = nullptr);
    ValueListTable& Table() { return model_->Table(); }
    void SetColumnWidths(int keyWidth, int valueWidth);

private:
    ValueListModel* model_;
};
