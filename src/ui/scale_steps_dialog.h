#pragma once
// The question "Eigene..." in "Tonleiter:" asks: the own scale's steps.
#include <QString>
#include <optional>

class QWidget;

// Asks for the steps in semitones, offering current; nullopt when cancelled.
std::optional<QString> AskScaleStepsText(QWidget* parent, const QString& current);
