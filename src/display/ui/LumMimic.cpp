// The pictured front panel's base: canvas upkeep and painting.
#include "LumMimic.h"

#include <QPaintEvent>
#include <QPainter>

TLumMimic::TLumMimic(QWidget *parent)
    : QWidget(parent), LCD(std::make_unique<TLumLCD>()), Buttons(std::make_unique<TLumLCDButtons>())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TLumMimic::~TLumMimic()
{
    // The LCD does not own its image list; the keys stop listening before the widget goes.
    LCD->ImageList = nullptr;
    Buttons->Attach(nullptr, nullptr);
}

QRect TLumMimic::LCDRect() const
{
    const int w = width(), h = height();
    return QRect(w * LCDLeft / 1000, h * LCDTop / 1000, w * LCDWidth / 1000, h * LCDHeight / 1000);
}

void TLumMimic::paintEvent(QPaintEvent *event)
{
    if (Canvas.size() != size())
        Paint();
    QPainter p(this);
    p.drawImage(event->rect(), Canvas, event->rect());
    // A disabled panel (a long operation runs) takes no presses: its keys look it, its glass stays
    // readable.
    if (!isEnabled()) {
        p.setClipRegion(QRegion(rect()) - QRegion(LCDRect()));
        p.fillRect(event->rect(), QColor(128, 128, 128, 120));
    }
}

void TLumMimic::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}

void TLumMimic::ReportFailure(const QString &message)
{
    if (message.isEmpty()) {
        LastFailure.clear();
        return;
    }
    if (message == LastFailure)
        return;
    LastFailure = message;
    emit Failed(message);
}
