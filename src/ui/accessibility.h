#pragma once
// What a screen reader hears: names, descriptions and tooltips of the
// controls, the status line that carries the sounding member, and the keys
// that reach what only the mouse reached.
#include <QLabel>
#include <QString>

class QTableWidget;
class TfrmFolgen;
class TfrmMain;

// Name (and description, tooltip where given) of a control; empty ones are left alone.
void NameControl(QWidget* control, const QString& name, const QString& description = {},
                 const QString& tip = {});
// The label's caption names the control (without its colon), and the label points to it.
void LabelControl(QLabel* label, QWidget* control, const QString& description = {});

// The controls of a sequence frame; which: "Notenfolge" or "Tempofolge".
void DescribeSourceFrame(TfrmFolgen* frame, const QString& which);
// The main window's controls, its status line and its shortcuts.
void DescribeMainWindow(TfrmMain& window);

// The voices table: its cell controls named by column and voice, and reached by
// F2 or Enter on their cell; Escape goes back to the table.
void NameVoiceCells(QTableWidget* table, int row);
void ReachCellWidgetsByKeys(QTableWidget* table);

// A line that a screen reader follows as a status bar: invisible on screen
// (it takes no room, draws nothing), its text its accessible name, each change announced.
class StatusLine : public QWidget {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent);
    void Say(const QString& text);
    QString Text() const { return text_; }

private:
    QString text_;
};
