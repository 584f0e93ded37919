// The main window's side of the MIDI unit: the output opened once the devices
// are decided, the output menu and its remembered choice, a key clicked.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSettings>

#include "common/errors.h"
#include "common/quote.h"
#include "midi/midi.h"
#include "midi/midi_out.h"
#include "midi/port_list.h"
#include "ui/error_box.h"
#include "ui/main_window.h"
#include "ui/settings.h"

namespace {
// How long a press waits for a device decision before it gives up on what is still undecided.
constexpr std::chrono::seconds kMidiDecisionWait{3};
}  // namespace

void TfrmMain::OpenMidiOutput() {
    Guarded(this, [this] {
        const std::string notice = MidiOutRequestNotice(midi_);
        if (!notice.empty()) ShowErrorBox(this, QString::fromStdString(notice));
        midi_.InitMidiOut();
    });
}

void TfrmMain::AwaitMidiDecision() {
    if (!midiDecision_.valid()) return;
    if (midiDecision_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        if (midiDecision_.wait_for(kMidiDecisionWait) != std::future_status::ready)
            midi_.Service().StopAwaiting();  // the notice then names what is missing
        midiDecision_.wait();
        QApplication::restoreOverrideCursor();
    }
    midiDecision_.get();  // before the notice, whose box lets the queued call in
    OpenMidiOutput();
}

void TfrmMain::mnuMidiAusgangShow(QObject*) {
    AwaitMidiDecision();
    mnuMidiAusgang->clear();
    // Without an output the list is looked at afresh: a port may have come since.
    if (!midi_.HasMidiOut()) midi_.ResetDevices();
    const std::vector<std::string>& names = midi_.Devices().Names();
    if (names.empty()) {
        mnuMidiAusgang->addAction("Kein MIDI-Ausgang vorhanden")->setEnabled(false);
        return;
    }
    const std::string current = midi_.HasMidiOut() ? names.front() : "";
    for (const std::string& name : names) {
        const QString caption = QString::fromStdString(name);
        QAction* item = mnuMidiAusgang->addAction(caption);
        item->setCheckable(true);
        item->setChecked(name == current);
        connect(item, &QAction::triggered, this,
                [this, caption] { Guarded(this, [&] { MidiAusgangChoose(caption); }); });
    }
}

void TfrmMain::MidiAusgangChoose(const QString& name) {
    // During a run the next note already sounds on the new device.
    QSettings settings = SonavixSettings();
    settings.setValue(kMidiOutSetting, name);
    settings.sync();
    const bool saved = settings.status() == QSettings::NoError;
    ChooseMidiOutPort(midi_, name.toStdString());
    midi_.SelectInstrument(InstrumentProgram());
    if (!saved && !settingsWarned_) {
        settingsWarned_ = true;
        ShowErrorBox(this, QString::fromStdString(
                               "Die Wahl des MIDI-Ausgangs gilt nur bis zum Programmende: die "
                               "Einstellungsdatei \"" +
                               QuotedText(settings.fileName().toStdString(), 1024) +
                               "\" lässt sich nicht schreiben"));
    }
}

MidiInPort* TfrmMain::StepInput() {
    // A remembered input that is not there at this start is passed over
    // without a word, as a remembered output is.
    if (!midiIn_ && !midiInTried_ && !midiInName_.isEmpty()) {
        midiInTried_ = true;
        try {
            midiIn_ = OpenMidiInPort(midiInName_.toStdString());
        } catch (const Exception&) {
            midiInName_.clear();
        }
    }
    return midiIn_.get();
}

void TfrmMain::mnuMidiEingangShow(QObject*) {
    StepInput();
    mnuMidiEingang->clear();
    const QString current = midiIn_ ? QString::fromStdString(midiIn_->Name()) : QString();
    // The run reads the input's queue: a change waits for its end.
    const bool changeable = !run_.Active();
    QAction* none = mnuMidiEingang->addAction("-keine-");
    none->setCheckable(true);
    none->setChecked(current.isEmpty());
    none->setEnabled(changeable);
    connect(none, &QAction::triggered, this,
            [this] { Guarded(this, [&] { MidiEingangChoose({}); }); });
    for (const std::string& name : ListMidiInPorts()) {
        const QString caption = QString::fromStdString(name);
        QAction* item = mnuMidiEingang->addAction(caption);
        item->setCheckable(true);
        item->setChecked(caption == current);
        item->setEnabled(changeable);
        connect(item, &QAction::triggered, this,
                [this, caption] { Guarded(this, [&] { MidiEingangChoose(caption); }); });
    }
}

void TfrmMain::MidiEingangChoose(const QString& name) {
    if (run_.Active()) return;
    midiInTried_ = true;
    midiIn_.reset();
    midiInName_.clear();
    // Opened first: a port that refuses stays unchosen, and its message says why.
    if (!name.isEmpty()) midiIn_ = OpenMidiInPort(name.toStdString());
    midiInName_ = name;
    QSettings settings = SonavixSettings();
    if (name.isEmpty())
        settings.remove(kMidiInSetting);
    else
        settings.setValue(kMidiInSetting, name);
}

void TfrmMain::KlavierKeyClick(int32_t keyNumber) {
    AwaitMidiDecision();
    midi_.PlayNote(keyNumber, 200);
    QCoreApplication::processEvents();
    if (Playing()) return;
    NoteMap.SetValueByName(std::to_string(NoteMap.CurrentRow()), std::to_string(keyNumber));
}
