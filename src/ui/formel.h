#pragma once
// The formula frame: a formula, the member count, the "0" box and the start values.
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/maptable.h"
#include "ui/valuelist_editor.h"

class TfrmFormel : public QFrame {
    Q_OBJECT
public:
    explicit TfrmFormel(QWidget* parent = nullptr);

    QLineEdit* edtFormel;
    QPushButton* btnGo;
    QLabel* lblLaenge;
    QLineEdit* edtLaenge;
    QCheckBox* cbxNull;
    ValueListTable VarValues{std::vector<std::string>{"0"}, 1};
    ValueListEditor* vleVarValues;

signals:
    // Focus left the formula field.
    void formulaExited(QObject* sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
