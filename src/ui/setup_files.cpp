#include "ui/setup_files.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>

#include "setup/setup_file.h"
#include "sources/oeis.h"
#include "ui/error_box.h"
#include "ui/main_window.h"
#include "ui/voices_window.h"
#include "ui/widgets.h"

namespace {
const char *const kSettingsOrganization = "Sonavix", *const kSettingsApplication = "Sonavix";
const char* const kRecentSetting = "Zuletzt geöffnet";
const char* const kFolderSetting = "Letzter Ordner";
constexpr int kRecentMax = 6;
const char* const kFilter = "Sonavix-Dateien (*.sonavix)";

std::string Text(const QString& text) { return text.toStdString(); }
QString Text(const std::string& text) { return QString::fromStdString(text); }

SourceSetup CaptureSource(const TfrmFolgen* f) {
    SourceSetup s;
    s.Selected = f->rbtFormel->isChecked() ? SourceKind::Formula
                 : f->rbtOEIS->isChecked() ? SourceKind::Oeis
                                           : SourceKind::Explicit;
    const TfrmFormel* formel = f->frmFormel1;
    s.Formula.Text = Text(formel->edtFormel->text());
    s.Formula.Count = Text(formel->edtLaenge->text());
    s.Formula.StartValues = VoiceSetup::ValuesOf(formel->VarValues);
    s.Formula.StartValuesShown = !formel->vleVarValues->isHidden();
    const TfrmOEIS* oeis = f->frmOEIS1;
    s.Oeis.Query = Text(oeis->edtOEIS->text());
    if (!oeis->lblVorLink->isHidden()) s.Oeis.ANumber = Text(oeis->lblLink->text());
    s.Oeis.Name = Text(oeis->Memo1->toPlainText());
    s.Oeis.Terms = Text(oeis->mmoSequence->toPlainText());
    s.ExplicitList = Text(f->frmExplizit1->mmoExplizit->toPlainText());
    return s;
}

void ApplySource(TfrmFolgen* f, const SourceSetup& s) {
    f->rbtFormel->setChecked(s.Selected == SourceKind::Formula);
    f->rbtOEIS->setChecked(s.Selected == SourceKind::Oeis);
    f->rbtExplizit->setChecked(s.Selected == SourceKind::Explicit);
    f->ShowSelectedSource();
    TfrmFormel* formel = f->frmFormel1;
    formel->edtFormel->setText(Text(s.Formula.Text));
    formel->edtLaenge->setText(Text(s.Formula.Count));
    formel->VarValues.Assign(s.Formula.StartValues);
    formel->vleVarValues->setVisible(s.Formula.StartValuesShown);
    TfrmOEIS* oeis = f->frmOEIS1;
    oeis->edtOEIS->setText(Text(s.Oeis.Query));
    // The link leads to the sequence on today's server, as a lookup there would.
    const std::string base = OeisBaseAddress();
    oeis->lblVorLink->setVisible(!s.Oeis.ANumber.empty());
    oeis->lblLink->setText(s.Oeis.ANumber.empty() ? "OEIS" : Text(s.Oeis.ANumber));
    oeis->lblLink->adjustSize();
    oeis->LinkUrl = Text(base + s.Oeis.ANumber);
    FillTextBox(oeis->Memo1, Text(s.Oeis.Name));
    FillTextBox(oeis->mmoSequence, Text(s.Oeis.Terms));
    FillTextBox(f->frmExplizit1->mmoExplizit, ListForDisplay(s.ExplicitList));
}

bool HasFiles(const QMimeData* data) {
    if (!data || !data->hasUrls()) return false;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return true;
    return false;
}
}  // namespace

SetupFiles::SetupFiles(TfrmMain& window, QMenu* menu, QAction* before)
    : QObject(&window), w_(window) {
    miOeffnen = new QAction("Öffnen...", menu);
    miOeffnen->setShortcut(QKeySequence("Ctrl+O"));
    miSpeichern = new QAction("Speichern", menu);
    miSpeichern->setShortcut(QKeySequence("Ctrl+S"));
    miSpeichernUnter = new QAction("Speichern unter...", menu);
    miSpeichernUnter->setShortcut(QKeySequence("Ctrl+Shift+S"));
    mnuZuletzt = new QMenu("Zuletzt geöffnet", menu);
    menu->insertActions(before, {miOeffnen, miSpeichern, miSpeichernUnter});
    menu->insertMenu(before, mnuZuletzt);
    menu->insertSeparator(before);
    FillRecentMenu();

    const auto folder = [] {
        return QSettings(kSettingsOrganization, kSettingsApplication)
            .value(kFolderSetting)
            .toString();
    };
    ChooseOpenPath = [this, folder] {
        return QFileDialog::getOpenFileName(&w_, "Öffnen", folder(), kFilter);
    };
    ChooseSavePath = [this, folder] {
        const QString name = path_.isEmpty() ? "melodie.sonavix" : QFileInfo(path_).fileName();
        return QFileDialog::getSaveFileName(
            &w_, "Speichern unter", folder().isEmpty() ? name : folder() + "/" + name, kFilter);
    };
    AskSaveChanges = [this](const QString& fileName) {
        QMessageBox box(QMessageBox::Question, kAppTitle,
                        "Die Änderungen an \"" + fileName + "\" speichern?",
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, &w_);
        box.button(QMessageBox::Yes)->setText("Ja");
        box.button(QMessageBox::No)->setText("Nein");
        box.button(QMessageBox::Cancel)->setText("Abbrechen");
        box.setDefaultButton(QMessageBox::Yes);
        return static_cast<QMessageBox::StandardButton>(box.exec());
    };

    const auto guarded = [this](void (SetupFiles::*handler)()) {
        return [this, handler] { Guarded(&w_, [&] { (this->*handler)(); }); };
    };
    connect(miOeffnen, &QAction::triggered, this, guarded(&SetupFiles::OpenClick));
    connect(miSpeichern, &QAction::triggered, this, guarded(&SetupFiles::SaveClick));
    connect(miSpeichernUnter, &QAction::triggered, this, guarded(&SetupFiles::SaveAsClick));
    connect(mnuZuletzt, &QMenu::aboutToShow, this, &SetupFiles::FillRecentMenu);
    w_.setAcceptDrops(true);
    w_.installEventFilter(this);
    WatchChanges();
}

MelodySetup SetupFiles::Capture() const {
    MelodySetup setup;
    setup.Tempo = w_.tbTempo->value();
    setup.ShowOnKeyboard = w_.cbxKlaviatur->isChecked();
    setup.OeisWholeSequences = w_.miOeisAlle->isChecked();
    VoiceSetup& v = setup.Voices.front();
    v.Notes = CaptureSource(w_.frmFolgenNoten);
    v.TempoSequenceUsed = w_.cbxTempoFolge->isChecked();
    v.Tempi = CaptureSource(w_.frmFolgenTempo);
    v.ZeroNatural = w_.frmFolgenNoten->frmFormel1->cbxNull->isChecked();
    // A typed text that names no entry counts as "-keine Vorgabe-".
    v.ScaleIndex = std::max(0, w_.cbxTonart->currentIndex());
    v.RootIndex = std::max(0, w_.cbxGrundton->currentIndex());
    v.OwnScaleSteps = w_.OwnScaleSteps;
    v.NoteMap = VoiceSetup::ValuesOf(w_.NoteMap);
    v.TempoMap = VoiceSetup::ValuesOf(w_.TempoMap);
    v.Instrument = w_.InstrumentProgram();
    return setup;
}

void SetupFiles::Apply(const MelodySetup& setup) {
    if (setup.Voices.size() != 1)
        throw ESetupError("Die Datei enthält " + std::to_string(setup.Voices.size()) +
                          " Stimmen; dieses Fenster spielt genau eine");
    const VoiceSetup& v = setup.Voices.front();
    applying_ = true;
    struct Done {
        bool& applying;
        ~Done() { applying = false; }
    } done{applying_};
    ApplySource(w_.frmFolgenNoten, v.Notes);
    ApplySource(w_.frmFolgenTempo, v.Tempi);
    for (TfrmFolgen* f : {w_.frmFolgenNoten, w_.frmFolgenTempo})
        f->frmFormel1->cbxNull->setChecked(v.ZeroNatural);
    // The boxes show the preset; the rows stand as they were saved.
    w_.cbxTonart->setCurrentIndex(v.ScaleIndex);
    w_.cbxGrundton->setCurrentIndex(v.RootIndex);
    w_.OwnScaleSteps = v.OwnScaleSteps;
    w_.NoteMap.Assign(v.NoteMap);
    w_.TempoMap.Assign(v.TempoMap);
    w_.cbxInstrument->setCurrentIndex(v.Instrument);
    w_.cbxInstrumentChange(w_.cbxInstrument);
    w_.tbTempo->setValue(setup.Tempo);
    w_.cbxKlaviatur->setChecked(setup.ShowOnKeyboard);
    w_.miOeisAlle->setChecked(setup.OeisWholeSequences);
    w_.cbxTempoFolge->setChecked(v.TempoSequenceUsed);
    w_.cbxTempoFolgeClick(w_.cbxTempoFolge);
}

void SetupFiles::Open(const QString& path) {
    const MelodySetup setup = ReadSetupFile(Text(path));
    // Several voices are the voices window's; the main window stays as it is.
    if (setup.Voices.size() > 1) {
        w_.miStimmenClick(nullptr);
        w_.frmStimmen->SetEnsemble(setup);
        return;
    }
    Apply(setup);
    Saved(path);
}

void SetupFiles::OpenClick() {
    if (!MayDropChanges()) return;
    const QString path = ChooseOpenPath();
    if (!path.isEmpty()) Open(path);
}

void SetupFiles::Save(const QString& path) {
    SaveSetupFile(Text(path), Capture());
    Saved(path);
}

void SetupFiles::SaveClick() {
    if (path_.isEmpty()) return SaveAsClick();
    Save(path_);
}

void SetupFiles::SaveAsClick() {
    QString path = ChooseSavePath();
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += kSetupFileExtension;
    Save(path);
}

bool SetupFiles::MayDropChanges() {
    if (!modified_ || path_.isEmpty()) return true;
    switch (AskSaveChanges(QFileInfo(path_).fileName())) {
        case QMessageBox::Yes:
            return Guarded(&w_, [this] { SaveClick(); }) && !modified_;
        case QMessageBox::No:
            return true;
        default:
            return false;
    }
}

void SetupFiles::SetEnabled(bool enabled) {
    enabled_ = enabled;
    for (QAction* item : {miOeffnen, miSpeichern, miSpeichernUnter}) item->setEnabled(enabled);
    mnuZuletzt->setEnabled(enabled);
}

QStringList SetupFiles::RecentFiles() const {
    return QSettings(kSettingsOrganization, kSettingsApplication)
        .value(kRecentSetting)
        .toStringList();
}

bool SetupFiles::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &w_) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto* drag = static_cast<QDropEvent*>(event);
        if (enabled_ && HasFiles(drag->mimeData())) drag->acceptProposedAction();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!enabled_ || !HasFiles(drop->mimeData())) return true;
        drop->acceptProposedAction();
        for (const QUrl& url : drop->mimeData()->urls()) {
            if (!url.isLocalFile()) continue;
            const QString path = url.toLocalFile();
            // The drop ends before the question or an error box appears.
            QMetaObject::invokeMethod(
                this,
                [this, path] {
                    Guarded(&w_, [&] {
                        if (MayDropChanges()) Open(path);
                    });
                },
                Qt::QueuedConnection);
            break;
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void SetupFiles::WatchChanges() {
    const auto changed = [this] { Changed(); };
    for (TfrmFolgen* f : {w_.frmFolgenNoten, w_.frmFolgenTempo}) {
        for (QRadioButton* b : {f->rbtFormel, f->rbtOEIS, f->rbtExplizit})
            connect(b, &QRadioButton::toggled, this, changed);
        for (QLineEdit* e :
             {f->frmFormel1->edtFormel, f->frmFormel1->edtLaenge, f->frmOEIS1->edtOEIS})
            connect(e, &QLineEdit::textChanged, this, changed);
        connect(f->frmFormel1->cbxNull, &QCheckBox::toggled, this, changed);
        for (QPlainTextEdit* m :
             {f->frmExplizit1->mmoExplizit, f->frmOEIS1->mmoSequence, f->frmOEIS1->Memo1})
            connect(m, &QPlainTextEdit::textChanged, this, changed);
        QAbstractItemModel* values = f->frmFormel1->vleVarValues->model();
        connect(values, &QAbstractItemModel::dataChanged, this, changed);
        connect(values, &QAbstractItemModel::modelReset, this, changed);
        connect(values, &QAbstractItemModel::rowsInserted, this, changed);
        connect(values, &QAbstractItemModel::rowsRemoved, this, changed);
    }
    for (QAbstractItemModel* map : {w_.vleNoten->model(), w_.vleTempo->model()}) {
        connect(map, &QAbstractItemModel::dataChanged, this, changed);
        connect(map, &QAbstractItemModel::modelReset, this, changed);
        connect(map, &QAbstractItemModel::rowsInserted, this, changed);
        connect(map, &QAbstractItemModel::rowsRemoved, this, changed);
    }
    for (QComboBox* box : {w_.cbxTonart, w_.cbxGrundton, w_.cbxInstrument})
        connect(box, &QComboBox::currentIndexChanged, this, changed);
    connect(w_.tbTempo, &QSlider::valueChanged, this, changed);
    connect(w_.miOeisAlle, &QAction::toggled, this, changed);
    for (QCheckBox* box : {w_.cbxTempoFolge, w_.cbxKlaviatur})
        connect(box, &QCheckBox::toggled, this, changed);
}

void SetupFiles::Changed() {
    if (applying_ || modified_) return;
    modified_ = true;
    ShowTitle();
}

void SetupFiles::Saved(const QString& path) {
    path_ = QFileInfo(path).absoluteFilePath();
    modified_ = false;
    Remember(path_);
    ShowTitle();
}

void SetupFiles::ShowTitle() {
    // Without a file the window keeps its plain title and closes without asking.
    if (path_.isEmpty()) return w_.setWindowTitle(kAppTitle);
    w_.setWindowTitle(QFileInfo(path_).fileName() + (modified_ ? "*" : "") + " – " + kAppTitle);
}

void SetupFiles::Remember(const QString& path) {
    QSettings settings(kSettingsOrganization, kSettingsApplication);
    QStringList recent = settings.value(kRecentSetting).toStringList();
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > kRecentMax) recent.removeLast();
    settings.setValue(kRecentSetting, recent);
    settings.setValue(kFolderSetting, QFileInfo(path).absolutePath());
    FillRecentMenu();
}

void SetupFiles::FillRecentMenu() {
    mnuZuletzt->clear();
    const QStringList recent = RecentFiles();
    if (recent.isEmpty()) mnuZuletzt->addAction("(keine)")->setEnabled(false);
    for (int i = 0; i < recent.size(); ++i) {
        const QString& path = recent[i];
        QAction* item = mnuZuletzt->addAction(
            QString("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName().replace("&", "&&")));
        item->setToolTip(path);
        item->setStatusTip(path);
        connect(item, &QAction::triggered, this, [this, path] {
            Guarded(&w_, [&] {
                if (MayDropChanges()) Open(path);
            });
        });
    }
}

QString SaveDialogStart(const QString& name) {
    QString folder =
        QSettings(kSettingsOrganization, kSettingsApplication).value(kFolderSetting).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    return folder + "/" + name;
}

std::function<QString()> SaveDialog(QWidget* parent, const QString& caption, const QString& name,
                                    const QString& filter) {
    return [=] {
        return QFileDialog::getSaveFileName(parent, caption, SaveDialogStart(name), filter);
    };
}
