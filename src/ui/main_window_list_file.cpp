// "Liste aus Datei laden...": a column of a data file becomes the note
// sequence's explicit list, as one step of the history.
#include "sources/data_file.h"
#include "ui/error_box.h"
#include "ui/main_window.h"
#include "ui/widgets.h"

void TfrmMain::miListeLadenClick(QObject*) {
    const QString path = ChooseListFilePath();
    if (path.isEmpty()) return;
    const std::string text = ReadDataFile(path.toStdString());
    const std::optional<DataList> read = AskListFile(path, text);
    if (!read) return;
    // A step of its own: an edit not yet taken goes before it, and typing
    // into the list afterwards is not merged into it.
    TakeStep();
    pending_.NewEpoch();
    DocumentEdited("Liste aus Datei");
    frmFolgenNoten->rbtExplizit->setChecked(true);
    FillTextBox(frmFolgenNoten->frmExplizit1->mmoExplizit, ListForDisplay(read->List));
    frmFolgenNoten->ShowSelectedSource();
    TakeStep();
    pending_.NewEpoch();
    if (read->NegativeValues) ShowNotice(this, kDataSignsNotRead);
}
