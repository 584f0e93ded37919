// The main window's side of the picture window and of the keyboard's title line.
#include "midi/midi.h"
#include "playback/maps.h"
#include "playback/melody_view.h"
#include "ui/accessibility.h"
#include "ui/main_window.h"
#include "ui/picture_window.h"
#include "ui/voices_window.h"
#include "ui/widgets.h"

namespace {
// A stepped member sounds briefly, whatever its length in the melody.
constexpr int32_t kStepSoundMsMax = 500;
}  // namespace

std::string TfrmMain::MemberLine(size_t index, std::string_view member,
                                 std::string_view tempoMember) {
    const int32_t key = GetKeyOrTempo(LookupKind::Key, member);
    return NoteLine(index, member, NoteMap.RowCount(), key,
                    GetKeyOrTempo(LookupKind::LengthExponent, tempoMember),
                    GetKeyOrTempo(LookupKind::DurationMs, tempoMember));
}

void TfrmMain::NoteStarting(size_t index, std::string_view member, std::string_view tempoMember) {
    if (Picture) Picture->ShowPlaying(index);
    if (playingList_) SelectMember(playingList_, index);
    // A cell the run cannot read fails the run in its own lookups; the title just stays.
    try {
        ShowSoundingLine(MemberLine(index, member, tempoMember));
    } catch (const Exception&) {
    }
}

void TfrmMain::ShowSoundingLine(const std::string& line) {
    const QString text = QString::fromStdString(line);
    frmKlavier->setWindowTitle(text);
    if (lblStatus) lblStatus->Say(text);
}

void TfrmMain::miAnsichtClick(QObject*) {
    if (!Picture) {
        Picture = std::make_unique<PictureWindow>();
        PlaceBelow(Picture.get(), frmKlavier.get());
        Picture->ReadMelody = [this] {
            return DescribeMelody(*DocumentHost(), NoteMap.RowCount());
        };
        Picture->OnPlayRange = [this](const PlayRange& range) {
            if (run_.Active())
                run_.Stop();
            else
                PlayMembers(range);
        };
        Picture->SoundMember = [this](size_t index) {
            const DescribedMelody& melody = Picture->canvas->Melody();
            const NoteEvent& e = melody.Timeline.Events().at(index);
            ShowSoundingLine(NoteLine(melody, index));
            // During a run the run sounds; stepping only shows.
            if (run_.Active()) return;
            if (KeyboardWanted()) {
                frmKlavier->show();
                frmKlavier->MarkKey(e.Key);
            }
            struct Unmark {
                TfrmMain& w;
                int32_t key;
                ~Unmark() { w.frmKlavier->UnmarkKey(key); }
            } unmark{*this, e.Key};
            AwaitMidiDecision();
            midi_.PlayNote(e.Key, std::min(e.DurationMs, kStepSoundMsMax));
        };
    }
    Picture->show();
    Picture->raise();
    Picture->activateWindow();
    Picture->canvas->setFocus();
    // During a run of the voices it shows them; "Neu einlesen" reads the melody.
    if (frmStimmen && frmStimmen->Playing())
        Picture->ShowEnsemble(frmStimmen->Roll());
    else
        Picture->Reload();
}
