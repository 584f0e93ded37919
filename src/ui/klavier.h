#pragma once
// The on-screen keyboard: 88 keys that show the melody and can be clicked or
// played from the keyboard; each is a button named as the lines name keys,
// checked while it sounds or is marked.
#include <QAbstractButton>
#include <QColor>
#include <QWidget>
#include <array>

class TTaste : public QAbstractButton {
    Q_OBJECT
public:
    TTaste(int32_t keyNumber, QRgb colour, QWidget* parent);
    int32_t KeyNumber() const { return keyNumber_; }
    QRgb Colour() const { return colour_; }
    // The colour the key shows now: its own, or red while marked.
    QRgb Face() const { return face_; }
    void SetFace(QRgb face);

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The checked state mirrors the face, so a click must not toggle it.
    void nextCheckState() override {}

private:
    int32_t keyNumber_;
    QRgb colour_;
    QRgb face_;
};

class TfrmKlavier : public QWidget {
    Q_OBJECT
public:
    explicit TfrmKlavier(QWidget* parent = nullptr);

    void MarkKey(int32_t keyNumber);
    void UnmarkKey(int32_t keyNumber);
    // The key of a key number 1..88, nullptr otherwise.
    TTaste* Key(int32_t keyNumber) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // A key was clicked (or pressed with Space or Enter); whoever owns the keyboard sounds it and
    // writes it down.
    void KeyClicked(int32_t keyNumber);

private:
    void CreateWeiss(int32_t keyNumber, int left);
    void CreateSchwarz(int32_t keyNumber, int left);
    void Store(TTaste* key);

    std::array<TTaste*, 89> keys_{};
};

inline constexpr QRgb kWeiss = 0xFFFFFF;
inline constexpr QRgb kSchwarz = 0x000000;
inline constexpr QRgb kRot = 0xFF0000;
