// Key hit tests, press shading and held-time reporting of a pictured front panel.
#include "LumLCDButtons.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <cmath>

namespace
{

QImage Square(QColor fill)
{
    QImage img(50, 50, QImage::Format_RGB32);
    img.fill(fill);
    return img;
}

qint64 SteadyMs()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

} // namespace

TLumLCDButtons::TLumLCDButtons() : Clock(SteadyMs)
{
    Images.push_back(Square(Qt::white));
    QImage ellipse = Square(Qt::white);
    {
        QPainter p(&ellipse);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xC0, 0xC0, 0xC0));
        p.drawEllipse(QRectF(0, 0, 50, 50));
    }
    Images.push_back(ellipse);
    Images.push_back(Square(QColor(0xC0, 0xC0, 0xC0)));
}

TLumLCDButtons::~TLumLCDButtons()
{
    if (Mimic)
        Mimic->removeEventFilter(this);
}

int TLumLCDButtons::AddImage(const QImage &bitmap)
{
    Images.push_back(bitmap.copy());
    return int(Images.size()) - 1;
}

void TLumLCDButtons::Attach(QWidget *mimic, QImage *canvas)
{
    if (Mimic)
        Mimic->removeEventFilter(this);
    Mimic = mimic;
    Canvas = canvas;
    if (Mimic)
        Mimic->installEventFilter(this);
}

bool TLumLCDButtons::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != Mimic)
        return false;
    // A disabled panel (an operation runs) takes no presses: this filter sees the mouse before the
    // widget itself would ignore it. A key held while the panel was disabled goes up unsent.
    if (!Mimic->isEnabled()) {
        switch (event->type()) {
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonPress:
            return true;
        case QEvent::MouseButtonRelease:
            ReleaseKey(false);
            return true;
        default:
            return false;
        }
    }
    switch (event->type()) {
    case QEvent::MouseButtonDblClick: // the second press of a double click comes as this event
    case QEvent::MouseButtonPress: {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton) {
            const QPoint p = me->position().toPoint();
            MouseDown(p.x(), p.y());
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            ReleaseKey();
            return true;
        }
        break;
    default:
        break;
    }
    return false;
}

void TLumLCDButtons::MouseDown(int x, int y)
{
    if (!Mimic)
        return;
    const int key = LcdKeyAtPixel(Keys.data(), std::clamp(KeyCount, 0, LcdMaxKeys), x, y, Mimic->width(),
                                  Mimic->height());
    if (key >= 0)
        PressKey(key);
}

void TLumLCDButtons::PressKey(int index)
{
    if (index < 0 || index >= std::clamp(KeyCount, 0, LcdMaxKeys))
        return;
    if (PressedKey >= 0)
        ReleaseKey();
    if (OnButtonDown)
        OnButtonDown(this, index);
    PressTime = Clock();
    PressedKey = index;
    Shade();
}

void TLumLCDButtons::Shade()
{
    SavedBackground = QImage();
    PressedRect = QRect();
    if (!Mimic || PressedKey < 0)
        return;
    const TLcdKey &k = Keys[size_t(PressedKey)];
    const int w = Mimic->width(), h = Mimic->height();
    PressedRect =
        QRect(QPoint(k.Left * w / 1000, k.Top * h / 1000), QPoint(k.Right * w / 1000, k.Bottom * h / 1000))
            .adjusted(0, 0, -1, -1); // right and bottom as edges, not pixels
    if (!Canvas || Canvas->isNull() || PressedRect.isEmpty())
        return;
    SavedBackground = Canvas->copy(PressedRect);
    if (k.ImageIndex >= 0 && k.ImageIndex < int(Images.size())) {
        QPainter p(Canvas);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        p.drawImage(PressedRect, Images[size_t(k.ImageIndex)].convertToFormat(QImage::Format_RGB32));
    }
    Mimic->update(PressedRect);
}

void TLumLCDButtons::Restamp()
{
    if (PressedKey >= 0)
        Shade();
}

void TLumLCDButtons::ReleaseKey(bool send)
{
    if (PressedKey < 0)
        return;
    const int key = PressedKey;
    const qint64 held = std::max<qint64>(0, Clock() - PressTime);
    // The panel is put back and the state cleared before the handlers run: sending the key waits
    // for the instrument, and a click meanwhile must find the panel idle and unshaded.
    if (Canvas && !SavedBackground.isNull() && SavedBackground.size() == PressedRect.size()) {
        QPainter p(Canvas);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(PressedRect.topLeft(), SavedBackground);
    }
    if (Mimic && !PressedRect.isEmpty())
        Mimic->update(PressedRect);
    SavedBackground = QImage();
    PressedRect = QRect();
    PressedKey = -1;
    if (OnButtonUp)
        OnButtonUp(this, key);
    if (send && OnButtonPressed)
        OnButtonPressed(this, key, int(std::min<qint64>(held, INT32_MAX)));
}
