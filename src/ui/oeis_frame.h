#pragma once
// The lookup frame: a query for the On-Line Encyclopedia of Integer Sequences.
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <string>

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

    // A sequence found (or read from a file): its link, name and members.
    void ShowHit(const QString& linkCaption, const QString& linkUrl, const QString& name,
                 const QString& terms);
    // Whether the frame shows a sequence found, rather than its start-up state.
    bool HasHit() const { return !lblVorLink->isHidden(); }
    // "A000045: Fibonacci numbers" for the hit shown; empty without one.
    std::string HitTitle() const;

signals:
    void linkClicked(QObject* sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
