#pragma once
// The main window: owns the program's state and wires every control to its handler.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include "common/maptable.h"
#include "formula/formulaparser.h"
#include "melodyfile/audiofile.h"
#include "midi/midi_in.h"
#include "playback/run.h"
#include "playback/startup.h"
#include "sources/generation.h"
#include "ui/expression_window.h"
#include "ui/file_dialogs.h"
#include "ui/fill_dialog.h"
#include "ui/folgen.h"
#include "ui/klavier.h"
#include "ui/list_file_dialog.h"
#include "ui/pending_edit.h"
#include "ui/setup_files.h"
#include "ui/valuelist_editor.h"
#include "ui/window_host.h"

class MidiUnit;
class QAction;
class StatusLine;
class PictureWindow;
class THookHelpSystem;
class QMenu;
class QUndoStack;
class VoicesWindow;
struct ExportFormat;

// A small dialog with a box of common meters.
std::optional<TimeSignature> AskMeterDialog(QWidget* parent, const TimeSignature& current);

class TfrmMain : public QMainWindow,
                 public IPlaybackHost,
                 public ISetupDocument,
                 public IWindowHost {
    Q_OBJECT
public:
    // Plays on midi, which main() creates before the window and releases after it.
    explicit TfrmMain(MidiUnit& midi, QWidget* parent = nullptr);
    ~TfrmMain() override;
    // The unit the window plays on, for the windows it opens.
    MidiUnit& Midi() { return midi_; }
    // Before anything is played: a device decision still under way in the
    // background is waited for, with a busy cursor and bounded, and the output opened.
    void AwaitMidiDecision();

    // The compiled formulas of the note and the tempo frame.
    TTerm NoteTerm;
    TTerm TempoTerm;

    // The maps behind vleNoten and vleTempo.
    ValueListTable NoteMap{std::vector<std::string>{"0"}};
    ValueListTable TempoMap = StartTempoMap();

    QLabel* lblNotenfolge;
    TfrmFolgen* frmFolgenNoten;
    ValueListEditor* vleNoten;
    QPushButton* btnLessNoten;
    QPushButton* btnMoreNoten;
    QPushButton* btnKlavier;
    QLabel* lblVorgaben;
    QLabel* lblTonart;
    QComboBox* cbxTonart;
    QLabel* lblGrundton;
    QComboBox* cbxGrundton;
    ValueListEditor* vleTempo;
    QPushButton* btnLessTempo;
    QPushButton* btnMoreTempo;
    QGroupBox* gbxOptions;
    QLabel* lblInstrument;
    QComboBox* cbxInstrument;
    QLabel* lblTempoSlider;
    QSlider* tbTempo;
    QCheckBox* cbxTempoFolge;
    QLabel* lblTempoFolge;
    TfrmFolgen* frmFolgenTempo;
    // "Ausdruck...": dynamics and panorama, kept from the start, shown on demand.
    ExpressionWindow* frmAusdruck = nullptr;
    QAction* miAusdruck = nullptr;
    void miAusdruckClick(QObject* Sender);
    // Every sequence frame: the note and tempo frames and those of the expressions.
    std::vector<TfrmFolgen*> SourceFrames() const;
    QCheckBox* cbxKlaviatur;
    QPushButton* btnPlay;
    QLabel* lblHomepage;
    QAction* miMidiDatei;
    QAction* miWavDatei;
    QAction* miAudioDatei;  // FLAC, Ogg Vorbis, MP3
    QAction* miMusicXmlDatei;
    QAction* miLilyPondDatei;
    QMenu* mnuMidiAusgang;
    QMenu* mnuMidiEingang;  // the input whose keys step through the melody
    QMenu* mnuDatei;
    QAction* miOeisAlle;  // lookups load the whole b-file
    QAction* miAnsicht;
    QAction* miBeenden;
    QAction* miNotenFuellen;
    QAction* miTempoFuellen;
    QAction* miTaktart;  // the meter of the score exports
    QAction* miHilfe;
    QAction* miAbspielen = nullptr;  // F5, from any window
    // Carries the sounding member for screen readers; takes no room in the window.
    StatusLine* lblStatus = nullptr;
    // The sounding member's line: the keyboard's title and the status line.
    void ShowSoundingLine(const std::string& line);
    std::unique_ptr<TfrmKlavier> frmKlavier;
    // The help hook, from FormCreate to FormDestroy.
    std::unique_ptr<THookHelpSystem> mHHelp;
    // Open, save, recent files and the title; a child of the window.
    SetupFiles* Files = nullptr;
    // "Stimmen...": the voices window, made on first use.
    QAction* miStimmen;
    VoicesWindow* frmStimmen = nullptr;
    void miStimmenClick(QObject* Sender);

    bool Playing() const { return run_.Playing(); }
    // Asks where to save a MIDI file; an empty path cancels. Tests replace the dialog.
    std::function<QString()> ChooseMidiFilePath;
    std::function<QString()> ChooseWavFilePath;
    std::function<AudioChoice()> ChooseAudioFilePath;
    // The steps of "Eigene..." in "Tonleiter:", kept for the session; empty
    // until the user gives some.
    std::vector<int> OwnScaleSteps;
    // "Tabelle füllen..." for the note map (true) or the tempo map: the new
    // rows' values and their scale, nullopt when cancelled. Tests replace the dialog.
    std::function<std::optional<FillChoice>(bool notes)> AskFill;
    // What the fill dialog starts from: the last accepted inputs, with the
    // window's scale and root (note map) or the tempo map's cycle of lengths.
    FillInputs FillStart(bool notes) const;
    // Asks for those steps, offering the current text; nullopt cancels. Tests replace it.
    std::function<std::optional<QString>(const QString&)> AskScaleSteps;
    // The bars of the score exports, as a setup file keeps them.
    TimeSignature Meter{};
    // "Taktart...": the meter chosen, offering the current one; nullopt
    // cancels. Tests replace the dialog.
    std::function<std::optional<TimeSignature>(const TimeSignature&)> AskMeter =
        [this](const TimeSignature& current) { return AskMeterDialog(this, current); };
    std::function<QString()> ChooseMusicXmlFilePath;
    std::function<QString()> ChooseLilyPondFilePath;
    // "Liste aus Datei laden...": the file to read, then its column (nullopt
    // cancels); a column's values become the note sequence's explicit list.
    // Tests replace both dialogs.
    QAction* miListeLaden;
    void miListeLadenClick(QObject* Sender);
    std::function<QString()> ChooseListFilePath = OpenDialog(
        this, "Liste aus Datei laden", "Datendateien (*.csv *.tsv *.txt *.dat);;Alle Dateien (*)");
    std::function<std::optional<DataList>(const QString& path, const std::string& text)>
        AskListFile = [this](const QString& path, const std::string& text) {
            return AskListColumn(this, path, text);
        };
    // Opens an address in the user's browser. Tests replace the opener.
    std::function<void(const QUrl&)> OpenUrl;
    // Window height including the title bar and frame, as the layout counts it.
    int OuterHeight() const { return outerHeight_; }
    // Whether the user may resize the window (only on a narrow screen).
    bool Resizable() const { return resizable_; }

    // Handlers; each takes the control that raised the event.
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void btnPlayClick(QObject* Sender);
    void NotenrbtClick(QObject* Sender);
    void TemporbtClick(QObject* Sender);
    void cbxTempoFolgeClick(QObject* Sender);
    void cbxNotenVorgabeChange(QObject* Sender);
    void btnMoreClick(QObject* Sender);
    void btnLessClick(QObject* Sender);
    void tbTempoChange(QObject* Sender);
    void cbxInstrumentChange(QObject* Sender);
    void btnKlavierClick(QObject* Sender);
    void lblHomepageClick(QObject* Sender);
    void miBeendenClick(QObject* Sender);
    void miMidiDateiClick(QObject* Sender);
    void miHilfeClick(QObject* Sender);
    // "Ansicht...": the picture window, created on first use.
    void miAnsichtClick(QObject* Sender);
    std::unique_ptr<PictureWindow> Picture;
    // The play button's run over a range of members (all of them for the button).
    void PlayMembers(const PlayRange& range);
    // "Glied 17: 1597 → Rest 1 (mod 12) → Taste 41 (cis') · Viertel" from the maps as they are.
    std::string MemberLine(size_t index, std::string_view member, std::string_view tempoMember);
    // Sender: vleNoten or vleTempo, or one of the two menu items.
    void FillMapClick(QObject* Sender);
    void miTaktartClick(QObject* Sender);
    void miWavDateiClick(QObject* Sender);
    void miAudioDateiClick(QObject* Sender);
    // The melody as a score (score_export.cpp).
    void miMusicXmlDateiClick(QObject* Sender);
    void miLilyPondDateiClick(QObject* Sender);
    // The output menu: lists the devices, the current one checked.
    void mnuMidiAusgangShow(QObject* Sender);
    void MidiAusgangChoose(const QString& name);
    // The input menu: "-keine-" and the input ports, the current one checked;
    // not to be changed during a run. An empty name chooses none.
    void mnuMidiEingangShow(QObject* Sender);
    void MidiEingangChoose(const QString& name);
    // The input chosen, open; null for none.
    MidiInPort* StepInput();
    // A key clicked on the keyboard: sounds it, and outside a run writes it
    // into the note map's selected row.
    void KlavierKeyClick(int32_t keyNumber);
    void frmFormel1edtFormelExit(QObject* Sender);
    void frmFormel1vleVarValuesExit(QObject* Sender);
    void frmFormel1btnGoClick(QObject* Sender);
    void frmFormel1cbxNullClick(QObject* Sender);
    void frmOEIS1btnGoClick(QObject* Sender);
    void frmOEIS1lblLinkClick(QObject* Sender);

    int32_t GetKeyOrTempo(LookupKind kind, std::string_view member) override;

    // ISetupDocument
    MelodySetup CaptureSetup() override;
    void ApplySetup(const MelodySetup& setup) override;
    void OpenEnsemble(const MelodySetup& setup, const QString& path) override;

    // IWindowHost
    MidiUnit& ReadyMidi() override;
    bool MainPlaying() const override;
    void LockMainPlay(bool locked) override;
    TfrmKlavier& Keyboard() override;
    bool MelodyOnKeyboard() const override;
    PictureWindow* OpenPicture() override;
    MelodySetup CurrentSetup() override;
    void RememberFile(const QString& path) override;
    void EditVoice(const MelodySetup& setup) override;

    // IPlaybackHost
    int InstrumentProgram() override;
    std::string ReadNoteSource() override;
    bool TempoSequenceUsed() override;
    std::string ReadTempoSource() override;
    bool KeyboardWanted() override;
    void ShowKeyboard() override;
    void MarkKey(int32_t keyNumber) override;
    void UnmarkKey(int32_t keyNumber) override;
    void SetSourceControlsEnabled(bool enabled) override;
    void SetPlayCaption(const std::string& caption) override;
    void ProcessPendingMessages() override;
    void NoteStarting(size_t index, std::string_view member, std::string_view tempoMember) override;
    bool ExpressionUsed(Expression kind) override;
    bool ExpressionSequenceUsed(Expression kind) override;
    std::string ReadExpressionSource(Expression kind) override;
    int ExpressionValue(Expression kind, std::string_view member) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Wire();
    // Connects a signal to a handler that runs inside the error-box guard.
    template <typename Sender, typename Signal>
    void On(Sender* sender, Signal signal, void (TfrmMain::*handler)(QObject*));
    // The same for a signal that names the control that raised it.
    template <typename Sender, typename Signal>
    void OnControl(Sender* sender, Signal signal, void (TfrmMain::*handler)(QObject*));
    void SetClientHeight(int outerHeight);
    void PlaceBottomRow(int clientHeight);
    TfrmFolgen* FrameOf(QObject* control) const;
    FormulaGenerator& GeneratorOf(TfrmFolgen* frame);
    void ShowStartValues(TfrmFolgen* frame);
    std::string ReadSourceFrame(TfrmFolgen* frame);
    void SetUpExports();
    // Reads the sources as "Abspielen" would, on a copy of what the window holds.
    std::unique_ptr<IPlaybackHost> DocumentHost();
    // Writes the melody that "Abspielen" would play in format to the path that
    // choose gives, a lossy audio format in quality.
    void Export(const ExportFormat& format, const std::function<QString()>& choose,
                double quality = kDefaultAudioQuality);
    // Every change of what a setup file keeps marks the file modified.
    void WatchDocument();
    // Sets what differs from setup, and nothing else.
    void ApplyDifferences(const MelodySetup& setup);

public:
    // "Rückgängig" and "Wiederholen" (main_window_undo.cpp).
    QAction* miRueckgaengig = nullptr;
    QAction* miWiederholen = nullptr;
    void miRueckgaengigClick(QObject* Sender);
    void miWiederholenClick(QObject* Sender);
    // Takes the edit made since the last step as a step of its own, now.
    void TakeStep();
    // Shows a step's side; refused during a run for a step that changes the sources.
    void ShowDocument(const MelodySetup& shown, const MelodySetup& from);
    QUndoStack* UndoStack() const { return undo_; }

private:
    void SetUpUndo(QMenu* menu);
    void DocumentEdited(const QString& caption);
    void ForgetSteps();
    QUndoStack* undo_ = nullptr;
    PendingEdit pending_{[this] { TakeStep(); }};
    QString pendingCaption_;  // the pending edit's
    bool showingStep_ = false;
    MelodySetup undoShown_;  // what the window held after the last step

    // The start-up's notice and the output of device 0, once the devices are known.
    void OpenMidiOutput();

    QWidget* client_;
    std::unique_ptr<FormulaGenerator> noteGenerator_, tempoGenerator_;
    std::unique_ptr<MidiInPort> midiIn_;
    QString midiInName_;              // chosen, or remembered from an earlier start
    bool midiInTried_ = false;        // the remembered one was tried once this session
    std::future<void> midiDecision_;  // valid while the devices are decided in the background
    MidiUnit& midi_;
    PlaybackRun run_{*this, midi_};
    int outerHeight_ = 0;
    bool closeRequested_ = false;
    bool settingsWarned_ = false;  // an unsaved choice is told once per run
    bool resizable_ = false;
    // The scale the table was last filled with, shown again when "Eigene..."
    // is given up or its steps are refused.
    int confirmedScaleIndex_ = 0;
    QPointer<QPlainTextEdit> playingList_;         // the note members' box of the last run
    FillInputs noteFillInputs_, tempoFillInputs_;  // the fill dialog's, for the session
};

inline const char* const kHomepageUrl = "https://example.org/sonavix/";
// Title bar, menu bar and frame: what the outer height counts beyond the client area.
inline constexpr int kNonClientHeight = 45;
