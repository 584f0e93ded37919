#pragma once
// "Ausdruck...": how loud (Dynamik) and where (Panorama) each note sounds.
// Each frame is built like the tempo frame: a map of rows, filled by a
// preset or typed, read with the note sequence or with a sequence of its own.
// The main window owns the window from its start, reads it while it plays
// and keeps it in its setup, whether it is shown or not.
#include <QWidget>
#include <memory>

#include "common/maptable.h"
#include "formula/formulaparser.h"
#include "playback/expression.h"
#include "setup/setup.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class TfrmFolgen;
class ValueListEditor;
class FormulaGenerator;

struct ExpressionPanel {
    QCheckBox* cbxVerwenden = nullptr;    // the map is applied
    QCheckBox* cbxEigeneFolge = nullptr;  // "eigene Folge verwenden"
    TfrmFolgen* frmFolgen = nullptr;
    ValueListTable Map;
    ValueListEditor* vleMap = nullptr;
    QPushButton* btnMore = nullptr;
    QPushButton* btnLess = nullptr;
    QComboBox* cbxVorgabe = nullptr;  // "gleichbleibend", "ansteigend", ...
    TTerm Term;
    std::unique_ptr<FormulaGenerator> Generator;
};

class ExpressionWindow : public QWidget {
    Q_OBJECT
public:
    explicit ExpressionWindow(QWidget* parent = nullptr);
    ~ExpressionWindow() override;

    ExpressionPanel& Of(Expression kind) { return panels_[static_cast<int>(kind)]; }
    const ExpressionPanel& Of(Expression kind) const { return panels_[static_cast<int>(kind)]; }
    // The frame that owns a control, or null.
    ExpressionPanel* PanelOf(const QObject* control);

    ExpressionSetup Capture(Expression kind) const;
    void Apply(Expression kind, const ExpressionSetup& setup);

signals:
    // Anything the window holds changed, by the user or by the program.
    void edited();

private:
    void BuildPanel(Expression kind, const QString& title);
    void ShowPanel(Expression kind);
    ExpressionPanel panels_[2];
};
