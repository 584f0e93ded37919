#include "ui/list_file_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "help/d6onhelpfix.h"
#include "help/help_contexts.h"

namespace {
// The preview shows this many values.
constexpr std::size_t kPreviewValues = 8;

// In the order of FieldSeparator.
const char* const kSeparatorNames[] = {"Semikolon (;)", "Komma (,)", "Tabulator",
                                       "Leerzeichen und Tabulatoren"};

class ListFileDialog : public QDialog {
public:
    ListFileDialog(QWidget* parent, const QString& path, const std::string& text)
        : QDialog(parent), text_(text) {
        setWindowTitle("Liste aus Datei laden");
        SetHelpContext(this, IDH_DATENDATEI);
        const DataLayout guess = GuessDataLayout(text_);
        auto* file = new QLabel("Datei: " + QFileInfo(path).fileName(), this);
        separator_ = new QComboBox(this);
        for (const char* name : kSeparatorNames) separator_->addItem(name);
        separator_->setCurrentIndex(static_cast<int>(guess.Separator));
        decimalComma_ = new QCheckBox("Dezimalkomma (3,5 ist dreieinhalb)", this);
        decimalComma_->setChecked(guess.DecimalComma);
        header_ = new QCheckBox("Erste Zeile ist Kopfzeile (Namen der Spalten)", this);
        header_->setChecked(guess.Header);
        column_ = new QComboBox(this);
        preview_ = new QLabel(this);
        preview_->setObjectName("lblVorschau");
        preview_->setWordWrap(true);
        preview_->setMinimumWidth(320);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Cancel)->setText("Abbrechen");
        auto* form = new QFormLayout;
        form->addRow("&Trennzeichen:", separator_);
        form->addRow("", decimalComma_);
        form->addRow("", header_);
        form->addRow("&Spalte:", column_);
        form->addRow("Erste Werte:", preview_);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(file);
        layout->addLayout(form);
        layout->addWidget(buttons);
        FillColumns();
        connect(separator_, &QComboBox::currentIndexChanged, this, [this] { FillColumns(); });
        connect(header_, &QCheckBox::toggled, this, [this] { FillColumns(); });
        connect(decimalComma_, &QCheckBox::toggled, this, [this] { ShowPreview(); });
        connect(column_, &QComboBox::currentIndexChanged, this, [this] { ShowPreview(); });
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(buttons, &QDialogButtonBox::accepted, this, [this] { ReadAll(); });
    }

    std::optional<DataList> Read;

private:
    DataLayout Layout() const {
        return {static_cast<FieldSeparator>(separator_->currentIndex()), decimalComma_->isChecked(),
                header_->isChecked()};
    }

    // Without any column, the reading says that the file holds no values.
    int Column() const { return std::max(0, column_->currentIndex()); }

    // Another division of the lines: other columns, the default one chosen.
    void FillColumns() {
        const DataColumns columns = DataColumnsOf(text_, Layout());
        const QSignalBlocker quiet(column_);
        column_->clear();
        for (std::size_t j = 0; j < columns.Names.size(); ++j) {
            const QString number = QString::number(j + 1);
            const QString name = QString::fromStdString(columns.Names[j]);
            column_->addItem(name.isEmpty() ? "Spalte " + number : number + ": " + name);
        }
        column_->setCurrentIndex(columns.Default);
        ShowPreview();
    }

    void ShowMessage(const std::string& message) {
        preview_->setStyleSheet("color: #b00000;");
        preview_->setText(QString::fromStdString(message));
    }

    void ShowPreview() {
        try {
            const DataList first = ReadDataColumn(text_, Layout(), Column(), kPreviewValues);
            preview_->setStyleSheet("");
            preview_->setText(QString::fromStdString(first.List) +
                              (first.Count == kPreviewValues ? ", …" : ""));
        } catch (const Exception& e) {
            ShowMessage(e.Message());
        }
    }

    void ReadAll() {
        try {
            Read = ReadDataColumn(text_, Layout(), Column());
            accept();
        } catch (const Exception& e) {
            ShowMessage(e.Message());
        }
    }

    const std::string& text_;
    QComboBox* separator_;
    QCheckBox* decimalComma_;
    QCheckBox* header_;
    QComboBox* column_;
    QLabel* preview_;
};
}  // namespace

std::optional<DataList> AskListColumn(QWidget* parent, const QString& path,
                                      const std::string& text) {
    ListFileDialog dialog(parent, path, text);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Read;
}
