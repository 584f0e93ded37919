#include "ui/expression_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "help/d6onhelpfix.h"
#include "help/help_contexts.h"
#include "playback/expression_presets.h"
#include "playback/maps.h"
#include "sources/generation.h"
#include "ui/error_box.h"
#include "ui/folgen.h"
#include "ui/valuelist_editor.h"
#include "ui/widgets.h"

ExpressionWindow::ExpressionWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Ausdruck");
    SetHelpContext(this, IDH_AUSDRUCK);
    auto* layout = new QHBoxLayout(this);
    setLayout(layout);
    BuildPanel(Expression::Dynamics, "Dynamik");
    BuildPanel(Expression::Panorama, "Panorama");
    const VoiceSetup start;
    Apply(Expression::Dynamics, start.Dynamics);
    Apply(Expression::Panorama, start.Panorama);
}

ExpressionWindow::~ExpressionWindow() {
    // The controls go while the maps behind the tables still live: an open
    // cell editor commits into its map when it is destroyed.
    qDeleteAll(findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly));
}

void ExpressionWindow::BuildPanel(Expression kind, const QString& title) {
    ExpressionPanel& p = Of(kind);
    const bool dynamics = kind == Expression::Dynamics;
    auto* box = new QGroupBox(title, this);
    layout()->addWidget(box);
    auto* column = new QVBoxLayout(box);
    p.cbxVerwenden = new QCheckBox(dynamics ? "Dynamik verwenden" : "Panorama verwenden", box);
    p.cbxVerwenden->setToolTip(dynamics ? "Jede Note mit dem Anschlag ihrer Tabellenzeile"
                                        : "Jede Note an der Stelle ihrer Tabellenzeile "
                                          "(-64 links, 0 Mitte, 63 rechts)");
    column->addWidget(p.cbxVerwenden);

    auto* maps = new QHBoxLayout;
    p.vleMap = new ValueListEditor(p.Map, "Divisionsrest", dynamics ? "Anschlag" : "Panorama", box);
    p.vleMap->SetColumnWidths(79, 76);
    p.vleMap->setFixedSize(161, 120);
    p.vleMap->setAccessibleName(dynamics ? "Anschlagtabelle" : "Panoramatabelle");
    maps->addWidget(p.vleMap);
    auto* plusMinus = new QVBoxLayout;
    p.btnLess = new QPushButton("-", box);
    p.btnMore = new QPushButton("+", box);
    for (QPushButton* b : {p.btnLess, p.btnMore}) {
        b->setFixedSize(15, 35);
        plusMinus->addWidget(b);
    }
    p.btnLess->setAccessibleName("Zeile entfernen");
    p.btnMore->setAccessibleName("Zeile anfügen");
    plusMinus->addStretch();
    maps->addLayout(plusMinus);
    auto* presets = new QVBoxLayout;
    auto* presetLabel = new QLabel("Vorgabe:", box);
    p.cbxVorgabe = new QComboBox(box);
    p.cbxVorgabe->addItem("-keine Vorgabe-");
    for (const char* preset : kExpressionPresets) p.cbxVorgabe->addItem(preset);
    presetLabel->setBuddy(p.cbxVorgabe);
    presets->addWidget(presetLabel);
    presets->addWidget(p.cbxVorgabe);
    presets->addStretch();
    maps->addLayout(presets);
    maps->addStretch();
    column->addLayout(maps);

    p.cbxEigeneFolge = new QCheckBox("eigene Folge verwenden", box);
    column->addWidget(p.cbxEigeneFolge);
    p.frmFolgen = new TfrmFolgen(box);
    p.frmFolgen->setFixedSize(482, 149);
    p.frmFolgen->MoveSubFramesUp();
    p.frmFolgen->ShowSelectedSource();
    column->addWidget(p.frmFolgen);
    column->addStretch();
    p.Generator = std::make_unique<FormulaGenerator>(p.Term, p.frmFolgen->frmFormel1->VarValues);

    const auto edited = [this] { emit this->edited(); };
    connect(p.cbxVerwenden, &QCheckBox::toggled, this, [this, kind, edited] {
        ShowPanel(kind);
        edited();
    });
    connect(p.cbxEigeneFolge, &QCheckBox::toggled, this, [this, kind, edited] {
        ShowPanel(kind);
        edited();
    });
    connect(p.frmFolgen, &TfrmFolgen::edited, this, edited);
    connect(p.frmFolgen, &TfrmFolgen::sourceClicked, this,
            [&p] { p.frmFolgen->ShowSelectedSource(); });
    WatchModel(p.vleMap->model(), this, edited);
    connect(p.btnMore, &QPushButton::clicked, this,
            [this, &p] { Guarded(this, [&p] { AddMapRow(p.Map); }); });
    connect(p.btnLess, &QPushButton::clicked, this,
            [this, &p] { Guarded(this, [&p] { RemoveMapRow(p.Map); }); });
    connect(p.cbxVorgabe, &QComboBox::activated, this, [kind, &p](int index) {
        if (index <= 0) return;
        p.Map.Assign(ExpressionPresetRows(kind, static_cast<size_t>(index - 1)));
        // A filled map is meant to be heard.
        p.cbxVerwenden->setChecked(true);
    });
}

void ExpressionWindow::ShowPanel(Expression kind) {
    ExpressionPanel& p = Of(kind);
    const bool used = p.cbxVerwenden->isChecked();
    // A preset stays at hand: choosing one turns its map on.
    for (QWidget* w :
         std::initializer_list<QWidget*>{p.vleMap, p.btnLess, p.btnMore, p.cbxEigeneFolge})
        w->setEnabled(used);
    p.frmFolgen->setEnabled(used && p.cbxEigeneFolge->isChecked());
}

ExpressionPanel* ExpressionWindow::PanelOf(const QObject* control) {
    for (ExpressionPanel& p : panels_)
        if (p.frmFolgen && p.frmFolgen->Owns(control)) return &p;
    return nullptr;
}

ExpressionSetup ExpressionWindow::Capture(Expression kind) const {
    const ExpressionPanel& p = Of(kind);
    return {p.cbxVerwenden->isChecked(), p.cbxEigeneFolge->isChecked(), p.frmFolgen->Capture(),
            VoiceSetup::ValuesOf(p.Map)};
}

void ExpressionWindow::Apply(Expression kind, const ExpressionSetup& setup) {
    ExpressionPanel& p = Of(kind);
    p.cbxVerwenden->setChecked(setup.Used);
    p.cbxEigeneFolge->setChecked(setup.OwnSequence);
    p.frmFolgen->Apply(setup.Sequence);
    if (VoiceSetup::ValuesOf(p.Map) != setup.Map) p.Map.Assign(setup.Map);
    ShowPanel(kind);
}
