#pragma once
// The explicit-list frame: one box holding the list that playback reads.
#include <QFrame>
#include <QPlainTextEdit>

#include "playback/startup.h"

class TfrmExplizit : public QFrame {
    Q_OBJECT
public:
    explicit TfrmExplizit(QWidget* parent = nullptr);
    QPlainTextEdit* mmoExplizit;
};
