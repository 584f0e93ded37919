#pragma once
// "Tabelle füllen...": fills the note or the tempo map in one step.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

// What the dialog filled: the rows, and the boxes' entries of its scale and
// root ("Tonleiter:", "Grundton:"), 0 for even steps.
struct FillChoice {
    std::vector<std::string> Values;
    int ScaleIndex = 0;
    int RootIndex = 0;
};

// What the fields hold: a dialog starts from them, and the window keeps the
// last accepted ones for the next dialog of the session.
struct FillInputs {
    int Rows = 12;
    bool Scale = false;  // "Tonleiter ab dem Grundton aufwärts"
    int First = 40;
    int Step = 1;
    int ScaleIndex = 1;  // entry of "Tonleiter:", 1 to 15
    int RootIndex = 40;  // entry of "Grundton:", 1 to 77
    int Clip = 0;        // 0 "begrenzen", 1 "oktavieren"
    std::string Lengths = "2";
};

class FillDialog : public QDialog {
    Q_OBJECT
public:
    enum class Map { Notes, Tempi };
    // rows: the table's row count now; ownSteps: the steps of "Eigene...".
    FillDialog(Map map, int rows, std::vector<int> ownSteps, QWidget* parent = nullptr);
    FillDialog(Map map, const FillInputs& start, std::vector<int> ownSteps,
               QWidget* parent = nullptr);

    FillInputs Inputs() const;

    // The rows' values as the fields stand; EInvalidInput for what gives no table.
    std::vector<std::string> Values() const;
    // What OK accepted.
    const std::vector<std::string>& Accepted() const { return accepted_; }
    // Accepted() with the scale and root it was filled from.
    FillChoice AcceptedChoice() const;

    QSpinBox* spnRows;
    // Note map only.
    QRadioButton* rbtEven;
    QRadioButton* rbtScale;
    QSpinBox* spnFirst;
    QSpinBox* spnStep;
    QComboBox* cbxScale;  // entries 1 to 15 of "Tonleiter:"
    QComboBox* cbxRoot;   // entries 1 to 77 of "Grundton:"
    QComboBox* cbxClip;   // "begrenzen", "oktavieren"
    // Tempo map only.
    QLineEdit* edtLengths;

    void accept() override;

private:
    void ShowMode();
    Map map_;
    std::vector<int> ownSteps_;
    std::vector<std::string> accepted_;
};

// Gives a table the context menu entry "Tabelle füllen..." that runs fill.
void AddFillMenu(QWidget* table, const std::function<void()>& fill);

inline const char* const kFillCaption = "Tabelle füllen...";
// What a title bar takes beside its caption (icon, buttons), so the caption is not cut.
inline constexpr int kTitleBarButtonsWidth = 160;
