// The keys around a pictured LCD: hit-tests clicks against key rectangles in per mille of the
// control, shades the held key on the control's canvas, and reports press, release and the
// time the key was held.
#pragma once

#include "display/LumTypes.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <functional>
#include <vector>

class QWidget;

class TLumLCDButtons : public QObject
{
public:
    TLumLCDButtons();
    ~TLumLCDButtons() override;

    // Raised on release, after OnButtonUp, with the held time in milliseconds.
    std::function<void(TLumLCDButtons *sender, int key, int heldMs)> OnButtonPressed;
    std::function<void(TLumLCDButtons *sender, int key)> OnButtonUp;
    std::function<void(TLumLCDButtons *sender, int key)> OnButtonDown;

    // Pictures stamped (AND) over a pressed key: 0 white, 1 white with a grey ellipse, 2 grey.
    std::vector<QImage> Images;
    QWidget *Mimic = nullptr; // not owned
    QImage *Canvas = nullptr; // the mimic's picture, drawn on; not owned
    qint64 PressTime = 0;
    int PressedKey = -1;
    QImage SavedBackground;
    QRect PressedRect;
    std::array<TLcdKey, LcdMaxKeys> Keys{};
    int KeyCount = 0;

    // Milliseconds of a steady clock; tests replace it.
    std::function<qint64()> Clock;

    int AddImage(const QImage &bitmap);
    // Listens to the mimic's mouse and draws on its canvas.
    void Attach(QWidget *mimic, QImage *canvas);
    void PressKey(int index);
    // Lets the pressed key go: the press is reported (OnButtonPressed) unless `send` is false.
    void ReleaseKey(bool send = true);
    // A click at a point of the mimic: presses the first key there, if any.
    void MouseDown(int x, int y);
    // After the canvas was drawn afresh (a resize), shade the held key again at its new place.
    void Restamp();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Shade();
};
