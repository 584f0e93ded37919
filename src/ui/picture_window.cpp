#include "ui/picture_window.h"

#include <QAccessible>
#include <QBuffer>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSvgGenerator>
#include <QVBoxLayout>

#include "common/file_write.h"
#include "help/d6onhelpfix.h"
#include "help/help_contexts.h"
#include "ui/error_box.h"
#include "ui/file_dialogs.h"

namespace {
constexpr int kScrollSteps = 10000;
}  // namespace

PictureWindow::PictureWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Ansicht der Melodie");
    SetHelpContext(this, IDH_ANSICHT);
    canvas = new MelodyCanvas(this);
    canvas->setAccessibleName("Melodie");
    cbxView = new QComboBox(this);
    cbxView->addItems({"Klavierrolle", "Folge als Kurve"});
    cbxView->setAccessibleName("Darstellung");
    cbxView->setToolTip("Die Melodie als Klavierrolle oder die Folge als Kurve");
    btnReload = new QPushButton("Neu einlesen", this);
    btnSaveImage = new QPushButton("Als Bild speichern...", this);
    btnExport = new QPushButton("Als Text oder CSV...", this);
    sbrWindow = new QScrollBar(Qt::Horizontal, this);
    sbrWindow->setAccessibleName("Ausschnitt");
    lblLine = new QLabel(this);
    lblLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* tools = new QHBoxLayout;
    tools->addWidget(cbxView);
    tools->addWidget(btnReload);
    tools->addStretch();
    tools->addWidget(btnSaveImage);
    tools->addWidget(btnExport);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addWidget(canvas, 1);
    layout->addWidget(sbrWindow);
    layout->addWidget(lblLine);
    resize(900, 520);
    // Tab follows the layout: the tools above, then the picture and its scroll bar.
    const QWidget* order[] = {cbxView, btnReload, btnSaveImage, btnExport, canvas, sbrWindow};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));

    ChooseImagePath = SaveDialog(this, "Als Bild speichern", "melodie.png",
                                 "PNG-Bilder (*.png);;SVG-Bilder (*.svg)");
    ChooseExportPath = SaveDialog(this, "Als Text oder CSV speichern", "melodie.csv",
                                  "CSV-Dateien (*.csv);;Textdateien (*.txt)");
    connect(cbxView, &QComboBox::currentIndexChanged, this, [this](int index) {
        canvas->SetView(index == 0 ? MelodyCanvas::View::Roll : MelodyCanvas::View::Plot);
    });
    connect(btnReload, &QPushButton::clicked, this,
            [this] { Guarded(this, [this] { Reload(); }); });
    connect(btnSaveImage, &QPushButton::clicked, this, [this] {
        Guarded(this, [this] {
            const QString path = ChooseImagePath();
            if (!path.isEmpty()) SaveImage(path);
        });
    });
    connect(btnExport, &QPushButton::clicked, this, [this] {
        Guarded(this, [this] {
            const QString path = ChooseExportPath();
            if (!path.isEmpty()) Export(path);
        });
    });
    connect(canvas, &MelodyCanvas::hovered, lblLine, &QLabel::setText);
    connect(canvas, &MelodyCanvas::currentChosen, this, [this](size_t index) {
        Guarded(this, [&] {
            Announce(index);
            if (SoundMember) SoundMember(index);
        });
    });
    connect(canvas, &MelodyCanvas::windowChanged, this, [this] { SyncScrollBar(); });
    connect(sbrWindow, &QScrollBar::valueChanged, this, [this](int value) {
        canvas->SetWindow(static_cast<double>(value) / kScrollSteps, canvas->WindowSpan());
    });
    SyncScrollBar();
}

void PictureWindow::SyncScrollBar() {
    const QSignalBlocker block(sbrWindow);
    const int page = std::max(1, static_cast<int>(canvas->WindowSpan() * kScrollSteps));
    sbrWindow->setRange(0, kScrollSteps - page);
    sbrWindow->setPageStep(page);
    sbrWindow->setSingleStep(std::max(1, page / 10));
    sbrWindow->setValue(static_cast<int>(canvas->WindowStart() * kScrollSteps));
}

void PictureWindow::Reload() {
    if (!ReadMelody) return;
    canvas->SetMelody(ReadMelody());
    cbxView->setEnabled(true);
    btnExport->setEnabled(true);
    canvas->SetView(cbxView->currentIndex() == 0 ? MelodyCanvas::View::Roll
                                                 : MelodyCanvas::View::Plot);
    lblLine->setText(QString("%1 Glieder").arg(canvas->Melody().Members.size()));
}

void PictureWindow::ShowPlaying(std::optional<size_t> index) {
    canvas->SetCurrent(index);
    // The status line follows the note that sounds (a melody read before an
    // edit may hold fewer members than the run plays).
    const DescribedMelody& melody = canvas->Melody();
    if (index && *index < melody.Members.size() && *index < melody.Timeline.Events().size())
        lblLine->setText(QString::fromStdString(NoteLine(melody, *index)));
}

void PictureWindow::ShowEnsemble(EnsembleRoll roll) {
    const size_t notes = roll.Notes.size(), voices = roll.Names.size();
    canvas->SetEnsemble(std::move(roll));
    // The voices have no single sequence to plot or list.
    {
        const QSignalBlocker block(cbxView);
        cbxView->setCurrentIndex(0);
    }
    cbxView->setEnabled(false);
    btnExport->setEnabled(false);
    lblLine->setText(QString("%1 Noten in %2 Stimmen").arg(notes).arg(voices));
}

void PictureWindow::ShowEnsemblePlaying(std::optional<int64_t> ms) { canvas->SetPlayTime(ms); }

void PictureWindow::Announce(size_t index) {
    const QString line = QString::fromStdString(NoteLine(canvas->Melody(), index));
    lblLine->setText(line);
    // Screen readers read the name of the focused picture when it changes.
    canvas->setAccessibleName(line);
    QAccessibleEvent event(canvas, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void PictureWindow::Step(int delta) {
    const size_t count = canvas->Melody().Members.size();
    if (count == 0) return;
    const int64_t from = canvas->Current() ? static_cast<int64_t>(*canvas->Current()) : -1;
    const size_t index =
        static_cast<size_t>(std::clamp<int64_t>(from + delta, 0, static_cast<int64_t>(count) - 1));
    canvas->SetCurrent(index);
    // Keep the stepped member in view.
    const double at = static_cast<double>(index) / count;
    if (at < canvas->WindowStart() || at >= canvas->WindowStart() + canvas->WindowSpan())
        canvas->SetWindow(at - canvas->WindowSpan() / 2, canvas->WindowSpan());
    Announce(index);
    if (SoundMember) SoundMember(index);
}

void PictureWindow::PlayFromCurrent() {
    if (!OnPlayRange || canvas->Ensemble()) return;
    if (const auto range = canvas->Range())
        OnPlayRange({range->first, range->second, true});
    else
        OnPlayRange({canvas->Current().value_or(0), SIZE_MAX, false});
}

void PictureWindow::keyPressEvent(QKeyEvent* event) {
    Guarded(this, [&] {
        switch (event->key()) {
            case Qt::Key_Right:
                Step(1);
                break;
            case Qt::Key_Left:
                Step(-1);
                break;
            case Qt::Key_Home:
                Step(-static_cast<int>(canvas->Melody().Members.size()));
                break;
            case Qt::Key_End:
                Step(static_cast<int>(canvas->Melody().Members.size()));
                break;
            case Qt::Key_Space:
                PlayFromCurrent();
                break;
            case Qt::Key_Plus:
                canvas->ZoomAt(2, canvas->width() / 2);
                break;
            case Qt::Key_Minus:
                canvas->ZoomAt(0.5, canvas->width() / 2);
                break;
            case Qt::Key_Escape:
                canvas->ClearRange();
                break;
            default:
                QWidget::keyPressEvent(event);
        }
    });
}

void PictureWindow::SaveImage(const QString& path) {
    const QSize size = canvas->size();
    QByteArray bytes;
    if (path.endsWith(".svg", Qt::CaseInsensitive)) {
        QBuffer buffer(&bytes);
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle("Sonavix");
        QPainter painter(&svg);
        canvas->Render(painter, size);
    } else {
        QImage image(size, QImage::Format_RGB32);
        QPainter painter(&image);
        canvas->Render(painter, size);
        painter.end();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    WriteFileAtomically(path.toStdString(), std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

void PictureWindow::Export(const QString& path) {
    const DescribedMelody& melody = canvas->Melody();
    const std::string text =
        path.endsWith(".csv", Qt::CaseInsensitive) ? MelodyCsv(melody) : MelodyText(melody);
    WriteFileAtomically(path.toStdString(), std::vector<uint8_t>(text.begin(), text.end()));
}
