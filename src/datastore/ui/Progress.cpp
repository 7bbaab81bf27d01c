// The progress window of the upload and the extractions.
#include "Progress.h"

#include "i18n/ui/LumsLangComp.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

TFrmProgress::TFrmProgress(QWidget *parent) : QDialog(parent)
{
    setObjectName("FrmProgress");
    setWindowTitle("Progress...");
    // A plain dialog border: no close, help or resize icons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    ProgressLine1 = new QLabel(this);
    ProgressLine1->setObjectName("ProgressLine1");
    ProgressLine2 = new QLabel(this);
    ProgressLine2->setObjectName("ProgressLine2");
    ProgressLine3 = new QLabel(this);
    ProgressLine3->setObjectName("ProgressLine3");
    QFont mono("Courier New");
    mono.setStyleHint(QFont::Monospace);
    ProgressLine3->setFont(mono);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setTextVisible(false);
    ProgressCancelButton = new QPushButton("Cancel", this);
    ProgressCancelButton->setObjectName("ProgressCancelButton");
    connect(ProgressCancelButton, &QPushButton::clicked, this, [this] { Cancelled = true; });
    for (QWidget *w : {static_cast<QWidget *>(ProgressLine1), static_cast<QWidget *>(ProgressLine2),
                       static_cast<QWidget *>(ProgressLine3), static_cast<QWidget *>(ProgressBar)})
        layout->addWidget(w);
    layout->addWidget(ProgressCancelButton, 0, Qt::AlignHCenter);
    setMinimumWidth(420);
}

int TFrmProgress::Scaled(uint32_t value) const
{
    return static_cast<int>(value >> Shift);
}

void TFrmProgress::SetProgressRange(uint32_t min, uint32_t max, uint32_t step)
{
    (void)step; // the bar moves to each position given; there is no separate step
    // The bar is signed: halve both ends until the larger fits.
    Shift = 0;
    while ((std::max(min, max) >> Shift) > 0x7FFFFFFFu)
        ++Shift;
    ProgressBar->setRange(Scaled(std::min(min, max)), Scaled(std::max(min, max)));
    ProgressBar->setValue(Scaled(min));
    repaint();
}

void TFrmProgress::ShowProgress(const QString &line1, const QString &line2, const QString &line3)
{
    Cancelled = false;
    ProgressLine1->setText(line1);
    ProgressLine2->setText(line2);
    ProgressLine3->setText(line3);
    if (!isVisible()) {
        show();
        // Centred on the screen.
        if (QScreen *s = screen())
            move(s->availableGeometry().center() - rect().center());
    }
    repaint();
    activateWindow();
}

void TFrmProgress::showEvent(QShowEvent *event)
{
    if (Language)
        Language->ApplyLanguage(this);
    QDialog::showEvent(event);
}

void TFrmProgress::StepProgress(const QString &line3, uint32_t position)
{
    ProgressLine3->setText(line3);
    ProgressBar->setValue(std::clamp(Scaled(position), ProgressBar->minimum(), ProgressBar->maximum()));
    repaint();
}

void TFrmProgress::HideProgress()
{
    hide();
}

void TFrmProgress::ProcessEvents()
{
    QApplication::processEvents();
}

void TFrmProgress::reject()
{
    Cancelled = true;
}
