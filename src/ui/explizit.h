#pragma once
// The explicit-list frame: one box holding the list that playback reads.
#include <QFrame>
#include <QPlainTextEdit>

inline const char* const kDefaultExplicitList = "234, 382, 2349, 1, -34, 234, 49, 23, 91, 4, 34";

class TfrmExplizit : public QFrame {
    Q_OBJECT
public:
    explicit TfrmExplizit(QWidget* parent = nullptr);
    QPlainTextEdit* mmoExplizit;
};
