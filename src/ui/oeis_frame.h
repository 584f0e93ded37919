#pragma once
// The lookup frame: a query for the On-Line Encyclopedia of Integer Sequences.
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

class TfrmOEIS : public QFrame {
    Q_OBJECT
public:
    explicit TfrmOEIS(QWidget* parent = nullptr);

    QLabel* lblIndex;
    QLineEdit* edtOEIS;
    QPushButton* btnGo;
    QLabel* lblThanks;
    QLabel* lblVorLink;
    QLabel* lblLink;
    QPlainTextEdit* mmoSequence;
    QPlainTextEdit* Memo1;
    // The address that a click on the link opens.
    QString LinkUrl;

signals:
    void linkClicked(QObject* sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
