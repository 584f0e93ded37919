#pragma once
// "Liste aus Datei laden...": how the file's lines divide, which column to take.
#include <QString>
#include <optional>
#include <string>

#include "sources/data_file.h"

class QWidget;

// Shows the guessed layout of text (the file at path) to change, the columns
// and the first values of the chosen one; OK reads the whole column. A fault
// is said in the dialog, which stays open. nullopt when cancelled.
std::optional<DataList> AskListColumn(QWidget* parent, const QString& path,
                                      const std::string& text);
