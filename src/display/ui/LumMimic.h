// A pictured front panel with a live segment LCD on it: the base of the instrument's mimic.
// It keeps its picture in a canvas of its own size; the LCD and the keys draw on that canvas
// and the widget shows it.
#pragma once

#include "LumLCD.h"
#include "LumLCDButtons.h"

#include <QImage>
#include <QWidget>
#include <memory>

class TLumMimic : public QWidget
{
    Q_OBJECT
public:
    explicit TLumMimic(QWidget *parent = nullptr);
    ~TLumMimic() override;

    // The LCD area: left and width in per mille of the control's width, top and height of its height.
    int LCDLeft = 0;
    int LCDTop = 0;
    int LCDWidth = 1000;
    int LCDHeight = 1000;
    std::unique_ptr<TLumLCD> LCD;
    std::unique_ptr<TLumLCDButtons> Buttons;
    QString PictureFile;
    QImage Canvas;

    // Draws the whole panel into the canvas.
    virtual void Paint() = 0;
    // Draws the LCD area into the canvas at once and shows it.
    virtual void DrawLCD() = 0;
    // The LCD area in pixels of the control.
    QRect LCDRect() const;
    QSize sizeHint() const override { return QSize(1000, 491); }

signals:
    // A picture or mask could not be read (said once until the message changes).
    void Failed(const QString &message);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void ReportFailure(const QString &message);

private:
    QString LastFailure;
};
