#pragma once
// The voices window ("Datei" > "Stimmen..."): up to 16 setups played
// together, each with its own channel, offset, transposition and velocity.
#include <QMessageBox>
#include <QRgb>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "melodyfile/audiofile.h"
#include "playback/melody_view.h"
#include "setup/setup.h"
#include "ui/file_dialogs.h"
#include "ui/pending_edit.h"

class IWindowHost;
class QPushButton;
class QTableWidget;
class QUndoStack;
struct EnsembleEvent;
struct ExportFormat;

class VoicesWindow : public QWidget {
    Q_OBJECT
public:
    explicit VoicesWindow(IWindowHost& host, QWidget* parent = nullptr);
    ~VoicesWindow() override;

    enum Column {
        kName,
        kInstrument,
        kChannel,
        kOffset,
        kTranspose,
        kVelocity,
        kPan,
        kMute,
        kSolo,
        kPosition,
        kColumns
    };

    QTableWidget* tblStimmen;
    QPushButton* btnUebernehmen;
    QPushButton* btnHinzufuegen;
    QPushButton* btnEntfernen;
    QPushButton* btnHoch;
    QPushButton* btnRunter;
    QPushButton* btnBearbeiten;
    QPushButton* btnStimmeUebernehmen;
    QPushButton* btnRueckgaengig;
    QPushButton* btnWiederholen;
    QPushButton* btnOeffnen;
    QPushButton* btnSpeichern;
    QPushButton* btnMidiDatei;
    QPushButton* btnMusicXmlDatei;
    QPushButton* btnLilyPondDatei;
    QPushButton* btnWavDatei;
    QPushButton* btnAudioDatei;  // FLAC, Ogg Vorbis, MP3
    QPushButton* btnAbspielen;

    // Dialogs, replaced by tests: an empty path cancels.
    std::function<QString()> ChooseVoicePath;
    std::function<QString()> ChooseOpenPath;
    std::function<QString()> ChooseSavePath;
    std::function<QString()> ChooseMidiPath;
    std::function<QString()> ChooseMusicXmlPath;
    std::function<QString()> ChooseLilyPondPath;
    std::function<QString()> ChooseWavPath;
    std::function<AudioChoice()> ChooseAudioPath;

    // The voices as a file holds them, with what the rows show now.
    MelodySetup Ensemble() const;
    // Replaces the voices; more than 16 are refused (ESetupError).
    void SetEnsemble(const MelodySetup& setup);
    // The voices of a file, which the title then names; first asks about unsaved changes.
    void OpenEnsemble(const MelodySetup& setup, const QString& path);
    // Asks about unsaved voices; false when the user keeps them (Cancel, or a failed save).
    bool MayDropChanges();
    bool Modified() const { return modified_; }
    // Yes saves, No drops the changes, Cancel keeps them. Tests replace it.
    std::function<QMessageBox::StandardButton(const QString& fileName)> AskSaveChanges;
    // Adds a voice at the end and selects it; false when 16 are there.
    bool AddVoice(const VoiceSetup& voice);
    int VoiceCount() const { return static_cast<int>(voices_.size()); }

    void UebernehmenClick();
    void HinzufuegenClick();
    void EntfernenClick();
    void MoveClick(int step);
    // "Bearbeiten" (or a double click on the row): the selected voice's
    // sequences, maps and instrument go into the main window for editing.
    void BearbeitenClick();
    // "Stimme übernehmen": the main window's setting goes back into the voice
    // being edited, which keeps its name, channel and the other columns.
    void StimmeUebernehmenClick();
    // The row whose voice the main window edits, if any.
    std::optional<int> EditedRow() const { return edited_; }
    // "Rückgängig" and "Wiederholen" over the rows, a step per edit (Strg+Z,
    // Strg+Y and Strg+Umschalt+Z).
    void RueckgaengigClick();
    void WiederholenClick();
    QUndoStack* UndoStack() const { return undo_; }
    void OeffnenClick();
    void SpeichernClick();
    void MidiDateiClick();
    // One part (staff) per voice, tempo and key of the first voice.
    void MusicXmlDateiClick();
    void LilyPondDateiClick();
    void WavDateiClick();
    void AudioDateiClick();
    // Plays every voice from the start, or asks a run to stop.
    void AbspielenClick();
    bool Playing() const { return playing_; }
    // What the rows say now of a voice's next note: its velocity, or none while it is silent.
    std::optional<uint8_t> LiveVelocity(int voice) const;
    void Stop();

    // The notes of the run that plays or played last, for the picture window.
    const EnsembleRoll& Roll() const { return roll_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FillRow(int row, const VoiceSetup& voice);
    // The title names the file, with "*" while the rows differ from it.
    void DocumentChanged();
    void DocumentSaved(const QString& path);
    VoiceSetup RowVoice(int row) const;
    void SwapRows(int a, int b);
    void SetEditable(bool editable);
    // voices_window_edit.cpp
    void SetUpEditing();
    void ShowEdited();
    void RowsEdited();
    void TakeStep();
    void ForgetSteps();
    void ShowVoices(const std::vector<VoiceSetup>& voices);
    std::vector<VoiceSetup> Rows() const;

    // Writes the voices in format to the path that choose gives, a lossy audio
    // format in quality.
    void Export(const ExportFormat& format, const std::function<QString()>& choose,
                double quality = kDefaultAudioQuality);
    void Play();
    void Sounding(const EnsembleEvent& e, bool on);

    IWindowHost& host_;
    std::vector<VoiceSetup> voices_;  // the sources and maps behind the rows
    QString path_;                    // the file the voices came from or went to
    MelodySetup saved_;               // the voices as that file holds them
    bool modified_ = false;
    int editTriggers_ = 0;  // the table's, restored after a run
    bool playing_ = false;
    bool active_ = false;
    EnsembleRoll roll_;
    // Per key, the voices sounding it, latest last.
    std::map<int32_t, std::vector<int>> keyVoices_;
    std::optional<int> edited_;
    QUndoStack* undo_ = nullptr;
    PendingEdit pending_{[this] { TakeStep(); }};
    std::vector<VoiceSetup> undoShown_;  // the rows after the last step
    bool showingStep_ = false;
    bool editable_ = true;             // false while the voices play
    std::function<void()> showSteps_;  // the undo buttons as the stack stands
};
