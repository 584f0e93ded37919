#include "ui/fill_dialog.h"

#include <QComboBox>
#include <QCursor>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <utility>

#include "help/d6onhelpfix.h"
#include "help/help_contexts.h"
#include "playback/fill.h"
#include "playback/maps.h"
#include "ui/error_box.h"

FillDialog::FillDialog(Map map, int rows, std::vector<int> ownSteps, QWidget* parent)
    : FillDialog(map, FillInputs{.Rows = rows}, std::move(ownSteps), parent) {}

// NOLINTNEXTLINE(readability-function-size): the dialog's fields, one after the other
FillDialog::FillDialog(Map map, const FillInputs& start, std::vector<int> ownSteps, QWidget* parent)
    : QDialog(parent), map_(map), ownSteps_(std::move(ownSteps)) {
    setWindowTitle(map == Map::Notes ? "Notentabelle füllen" : "Tempotabelle füllen");
    SetHelpContext(this, IDH_FUELLEN);
    auto* form = new QFormLayout;
    spnRows = new QSpinBox(this);
    spnRows->setRange(1, kFillRowsMax);
    spnRows->setValue(start.Rows);
    form->addRow("Anzahl Zeilen:", spnRows);

    rbtEven = new QRadioButton("Gleichmäßig ab einem ersten Wert", this);
    rbtScale = new QRadioButton("Tonleiter ab dem Grundton aufwärts", this);
    spnFirst = new QSpinBox(this);
    spnFirst->setRange(-static_cast<int>(kFillValueMax), static_cast<int>(kFillValueMax));
    spnFirst->setValue(start.First);
    spnStep = new QSpinBox(this);
    spnStep->setRange(-static_cast<int>(kFillValueMax), static_cast<int>(kFillValueMax));
    spnStep->setValue(start.Step);
    spnStep->setToolTip("Halbtöne je Zeile, bei einer Tonleiter Töne der Leiter je Zeile");
    cbxScale = new QComboBox(this);
    for (size_t i = 1; i < kTonartEntries.size(); ++i) cbxScale->addItem(kTonartEntries[i]);
    cbxRoot = new QComboBox(this);
    for (size_t i = 1; i < kGrundtonEntries.size(); ++i) cbxRoot->addItem(kGrundtonEntries[i]);
    cbxScale->setCurrentIndex(start.ScaleIndex - 1);
    cbxRoot->setCurrentIndex(start.RootIndex - 1);
    cbxClip = new QComboBox(this);
    cbxClip->addItems({"begrenzen", "oktavieren"});
    cbxClip->setCurrentIndex(start.Clip);
    edtLengths = new QLineEdit(QString::fromStdString(start.Lengths), this);
    edtLengths->setToolTip(
        "Eine Notenlänge oder ein Zyklus, z. B. 2 3 3 (2 = Viertel, 3 = Achtel)");
    if (map == Map::Notes) {
        (start.Scale ? rbtScale : rbtEven)->setChecked(true);
        form->addRow(rbtEven);
        form->addRow("Erster Wert:", spnFirst);
        form->addRow(rbtScale);
        form->addRow("Tonleiter:", cbxScale);
        form->addRow("Grundton:", cbxRoot);
        form->addRow("Schritt:", spnStep);
        form->addRow("Tasten außerhalb 1 bis 88:", cbxClip);
        edtLengths->hide();
    } else {
        form->addRow("Notenlängen:", edtLengths);
        for (QWidget* w : std::initializer_list<QWidget*>{rbtEven, rbtScale, spnFirst, spnStep,
                                                          cbxScale, cbxRoot, cbxClip})
            w->hide();
    }
    // The form's captions name its fields; those the other map hides are named as well.
    const std::pair<QWidget*, const char*> names[] = {
        {spnRows, "Anzahl Zeilen"}, {spnFirst, "Erster Wert"},
        {cbxScale, "Tonleiter"},    {cbxRoot, "Grundton"},
        {spnStep, "Schritt"},       {cbxClip, "Tasten außerhalb 1 bis 88"},
        {edtLengths, "Notenlängen"}};
    for (const auto& [field, name] : names) field->setAccessibleName(name);
    // Tab follows the form from top to bottom.
    QWidget* order[] = {spnRows, rbtEven, spnFirst, rbtScale,  cbxScale,
                        cbxRoot, spnStep, cbxClip,  edtLengths};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    connect(rbtEven, &QRadioButton::toggled, this, [this] { ShowMode(); });
    ShowMode();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &FillDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &FillDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    // Wide enough for the title bar to show the whole caption beside its buttons.
    setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + kTitleBarButtonsWidth);
}

FillInputs FillDialog::Inputs() const {
    return {spnRows->value(),        rbtScale->isChecked(),           spnFirst->value(),
            spnStep->value(),        cbxScale->currentIndex() + 1,    cbxRoot->currentIndex() + 1,
            cbxClip->currentIndex(), edtLengths->text().toStdString()};
}

void FillDialog::ShowMode() {
    const bool even = rbtEven->isChecked();
    spnFirst->setEnabled(even);
    cbxScale->setEnabled(!even);
    cbxRoot->setEnabled(!even);
}

std::vector<std::string> FillDialog::Values() const {
    if (map_ == Map::Tempi)
        return TempoFillValues(spnRows->value(),
                               ParseLengthCycle(edtLengths->text().toStdString()));
    NoteFill fill;
    fill.Rows = spnRows->value();
    fill.First = spnFirst->value();
    fill.Step = spnStep->value();
    fill.Scale = rbtScale->isChecked() ? cbxScale->currentIndex() + 1 : 0;
    fill.Root = cbxRoot->currentIndex() + 1;
    fill.OwnSteps = ownSteps_;
    fill.Clip = cbxClip->currentIndex() == 1 ? KeyClip::Octave : KeyClip::Limit;
    return NoteFillValues(fill);
}

FillChoice FillDialog::AcceptedChoice() const {
    if (map_ == Map::Tempi || !rbtScale->isChecked()) return {accepted_};
    return {accepted_, cbxScale->currentIndex() + 1, cbxRoot->currentIndex() + 1};
}

void FillDialog::accept() {
    // A refused entry keeps the dialog open with its fields as typed.
    Guarded(this, [this] {
        accepted_ = Values();
        QDialog::accept();
    });
}

void AddFillMenu(QWidget* table, const std::function<void()>& fill) {
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(table, &QWidget::customContextMenuRequested, table,
                     [table, fill](const QPoint&) {
                         QMenu menu(table);
                         QAction* item = menu.addAction(kFillCaption);
                         SetHelpContext(item, IDH_FUELLEN);
                         QObject::connect(item, &QAction::triggered, table, fill);
                         menu.exec(QCursor::pos());
                     });
}
