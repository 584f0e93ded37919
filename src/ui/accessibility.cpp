#include "ui/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTableWidget>
#include <utility>

#include "ui/folgen.h"
#include "ui/main_window.h"

void NameControl(QWidget* control, const QString& name, const QString& description,
                 const QString& tip) {
    if (!name.isEmpty()) control->setAccessibleName(name);
    if (!description.isEmpty()) control->setAccessibleDescription(description);
    if (!tip.isEmpty()) control->setToolTip(tip);
}

void LabelControl(QLabel* label, QWidget* control, const QString& description) {
    label->setBuddy(control);
    QString name = label->text();
    name.remove('&');
    if (name.endsWith(':')) name.chop(1);
    NameControl(control, name.trimmed(), description);
    // A combo box's list is a control of its own when it opens.
    if (auto* box = qobject_cast<QComboBox*>(control)) box->view()->setAccessibleName(name);
}

void DescribeSourceFrame(TfrmFolgen* frame, const QString& which) {
    NameControl(frame, which);
    TfrmFormel* f = frame->frmFormel1;
    const QString of = " (" + which + ")";
    NameControl(f->edtFormel, "Formel",
                "Formel für das n-te Glied" + of + "; Eingabe erzeugt die Folge");
    LabelControl(f->lblLaenge, f->edtLaenge, "Wie viele Glieder die Formel erzeugt" + of);
    NameControl(f->vleVarValues, "Startwerte",
                "Werte der ersten Glieder, auf die die Formel zurückgreift" + of,
                "Startwerte: die Formel greift auf die Vorgänger zurück");
    NameControl(f->btnGo, {}, "Erzeugt die Folge aus der Formel" + of);
    NameControl(frame->frmExplizit1->mmoExplizit, "Explizite Folge",
                "Die Glieder, durch Leerzeichen oder Kommas getrennt" + of);
    TfrmOEIS* o = frame->frmOEIS1;
    LabelControl(o->lblIndex, o->edtOEIS, "Eingabe sucht in der OEIS" + of);
    NameControl(o->btnGo, {}, "Sucht in der OEIS" + of);
    NameControl(o->mmoSequence, "Gefundene Folgeglieder", "Die Glieder der Folge" + of);
    NameControl(o->Memo1, "Name der gefundenen Folge", which);
    NameControl(o->lblLink, {}, "Öffnet die Seite der Folge im Browser");
}

namespace {
// The caption with the letter that Alt reaches it by (its first occurrence).
void Mnemonic(QAction* action, QChar letter) {
    QString text = action->text();
    if (text.contains('&')) return;
    const qsizetype at = text.indexOf(letter);
    if (at >= 0) action->setText(text.insert(at, '&'));
}

void AddShortcuts(TfrmMain& w) {
    // F5 plays and stops from every window of the program, as the button does.
    // After the menu's own items, which keep their places; during a run it stops.
    w.miAbspielen = w.mnuDatei->addAction("Abs&pielen");
    w.miAbspielen->setShortcut(QKeySequence(Qt::Key_F5));
    w.miAbspielen->setShortcutContext(Qt::ApplicationShortcut);
    w.miAbspielen->setToolTip("Abspielen, während die Melodie spielt: Stopp");
    QObject::connect(w.miAbspielen, &QAction::triggered, w.btnPlay, [&w] {
        if (w.btnPlay->isEnabled()) w.btnPlay->click();
    });
    w.addAction(w.miAbspielen);
    w.miBeenden->setShortcut(QKeySequence("Ctrl+Q"));
    w.miBeenden->setShortcutContext(Qt::ApplicationShortcut);
    const std::pair<QAction*, QChar> letters[] = {{w.Files->miOeffnen, u'Ö'},
                                                  {w.Files->miSpeichern, 'S'},
                                                  {w.Files->miSpeichernUnter, 'u'},
                                                  {w.Files->mnuZuletzt->menuAction(), 'Z'},
                                                  {w.miMidiDatei, 'M'},
                                                  {w.miWavDatei, 'W'},
                                                  {w.miAudioDatei, 'd'},
                                                  {w.miMusicXmlDatei, 'X'},
                                                  {w.miLilyPondDatei, 'L'},
                                                  {w.miStimmen, 't'},
                                                  {w.mnuMidiAusgang->menuAction(), 'g'},
                                                  {w.mnuMidiEingang->menuAction(), 'E'},
                                                  {w.miOeisAlle, 'G'}};
    for (const auto& [action, letter] : letters) Mnemonic(action, letter);
}
}  // namespace

// NOLINTNEXTLINE(readability-function-size): the window's controls, one after the other
void DescribeMainWindow(TfrmMain& w) {
    DescribeSourceFrame(w.frmFolgenNoten, "Notenfolge");
    DescribeSourceFrame(w.frmFolgenTempo, "Tempofolge");
    DescribeSourceFrame(w.frmAusdruck->Of(Expression::Dynamics).frmFolgen, "Anschlagfolge");
    DescribeSourceFrame(w.frmAusdruck->Of(Expression::Panorama).frmFolgen, "Panoramafolge");
    NameControl(w.vleNoten, "Notentabelle",
                "Jeder Divisionsrest eines Glieds spielt die Taste seiner Zeile (0: Pause); "
                "Eingabe oder Tippen ändert den Notenwert",
                "Notentabelle: welcher Rest welche Taste spielt (1 bis 88, 0 Pause)");
    NameControl(w.vleTempo, "Tempotabelle",
                "Jeder Divisionsrest eines Glieds der Tempofolge gibt die Notenlänge seiner "
                "Zeile (0 ganze, 1 halbe, 2 Viertel, ...)",
                "Tempotabelle: welcher Rest welche Notenlänge gibt");
    const QString more = "Fügt der Tabelle eine Zeile hinzu", less = "Entfernt die letzte Zeile";
    NameControl(w.btnMoreNoten, "Zeile hinzufügen (Notentabelle)", more, more);
    NameControl(w.btnLessNoten, "Zeile entfernen (Notentabelle)", less, less);
    NameControl(w.btnMoreTempo, "Zeile hinzufügen (Tempotabelle)", more, more);
    NameControl(w.btnLessTempo, "Zeile entfernen (Tempotabelle)", less, less);
    NameControl(w.btnKlavier, {},
                "Öffnet die Klaviatur; ein Klick auf eine Taste schreibt sie "
                "in die gewählte Zeile der Notentabelle");
    LabelControl(w.lblTonart, w.cbxTonart, "Füllt die Notentabelle mit einer Tonleiter");
    w.cbxTonart->setToolTip("Füllt die Notentabelle mit den Tasten dieser Tonleiter");
    LabelControl(w.lblGrundton, w.cbxGrundton, "Der tiefste Ton der Tonleiter");
    w.cbxGrundton->setToolTip("Der Ton, mit dem die Tonleiter beginnt");
    LabelControl(w.lblInstrument, w.cbxInstrument);
    NameControl(w.tbTempo, "Tempo", "Schläge pro Minute, wenn keine Tempofolge gilt",
                "Tempo in Schlägen pro Minute");
    NameControl(w.btnPlay, {}, "Spielt die Melodie ab, während sie spielt: Stopp (F5)",
                "Spielt die Melodie; während sie spielt, hält es sie an (F5)");
    NameControl(w.cbxKlaviatur, {}, "Zeigt beim Abspielen die Klaviatur mit der klingenden Taste");
    NameControl(w.lblHomepage, {}, "Öffnet die Seite des Programms im Browser");

    w.lblStatus = new StatusLine(w.centralWidget());
    AddShortcuts(w);
}

void NameVoiceCells(QTableWidget* table, int row) {
    for (int column = 0; column < table->columnCount(); ++column) {
        QWidget* cell = table->cellWidget(row, column);
        const QTableWidgetItem* header = table->horizontalHeaderItem(column);
        if (!cell || !header) continue;
        const QString name = header->text() + ", Stimme " + QString::number(row + 1);
        NameControl(cell, name);
        // The reader walks the cells, not the controls on them: the cell says what lies there.
        QTableWidgetItem* item = table->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            table->setItem(row, column, item);
        }
        item->setData(Qt::AccessibleTextRole, name);
    }
}

namespace {
// Enter, Space or F2 on a cell that holds a control hands the focus to it; Escape takes it back.
class CellKeys : public QObject {
public:
    explicit CellKeys(QTableWidget* table) : QObject(table), table_(table) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (watched == table_) {
            QWidget* cell = table_->cellWidget(table_->currentRow(), table_->currentColumn());
            const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
            if (!cell && enter && table_->currentItem() &&
                (table_->currentItem()->flags() & Qt::ItemIsEditable)) {
                table_->editItem(table_->currentItem());  // a text cell, as F2 edits it
                return true;
            }
            if (!cell || (!enter && key != Qt::Key_F2 && key != Qt::Key_Space)) return false;
            cell->installEventFilter(this);
            cell->setFocus(Qt::OtherFocusReason);
            return true;
        }
        if (key == Qt::Key_Escape) {
            table_->setFocus(Qt::OtherFocusReason);
            return true;
        }
        return false;
    }

private:
    QTableWidget* table_;
};
}  // namespace

void ReachCellWidgetsByKeys(QTableWidget* table) {
    table->installEventFilter(new CellKeys(table));
    table->setEditTriggers(QAbstractItemView::AllEditTriggers);
    NameControl(table, "Stimmen",
                "Eine Zeile je Stimme; Eingabe oder F2 bearbeitet die Zelle, Escape kehrt zurück");
    const char* const tips[] = {"Der Name der Stimme",
                                "Das Instrument, mit dem die Stimme spielt",
                                "Der MIDI-Kanal; Kanal 10 spielt Schlagzeug",
                                "Wie viele ganze Noten nach dem Beginn die Stimme einsetzt",
                                "Um wie viele Halbtöne die Stimme höher (oder tiefer) spielt",
                                "Wie stark die Tasten angeschlagen werden (1 bis 127)",
                                "Wo die Stimme klingt: -64 links, 0 Mitte, 63 rechts",
                                "Die Stimme schweigt",
                                "Nur die Solo-Stimmen spielen",
                                "Das Glied, das die Stimme gerade spielt"};
    for (int column = 0; column < table->columnCount() && column < int(std::size(tips)); ++column)
        if (QTableWidgetItem* header = table->horizontalHeaderItem(column))
            header->setToolTip(tips[column]);
}

namespace {
// Reads as a status bar, so readers present its changes.
class StatusLineAccessible : public QAccessibleWidget {
public:
    explicit StatusLineAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::StatusBar) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return static_cast<StatusLine*>(widget())->Text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* StatusLineFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("StatusLine") && object->isWidgetType())
        return new StatusLineAccessible(static_cast<QWidget*>(object));
    return nullptr;
}
}  // namespace

StatusLine::StatusLine(QWidget* parent) : QWidget(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(StatusLineFactory);
        return true;
    }();
    (void)installed;
    // No room on screen, so the layout stays as it is; shown, so readers do not skip it.
    setGeometry(0, 0, 0, 0);
    setAccessibleDescription("Es erklingt: Glied, Wert, Rest, Taste und Länge");
}

void StatusLine::Say(const QString& text) {
    text_ = text;
    QAccessibleEvent nameChanged(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&nameChanged);
}
