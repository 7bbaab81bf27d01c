// TTextPrinter: the printer as a text device. Lines one below the other in one font, each in its
// own colour, and form feeds; a line that would run past the page's foot starts a new page.
// Line height = font size in printer pixels x 9 / 8, as the printouts of this program use it.
#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>

class QPainter;
class QPrinter;

class TTextPrinter
{
public:
    // The painter must be active on the printer; the font is set on it.
    TTextPrinter(QPrinter &printer, QPainter &painter, const QFont &font);

    int LineHeight() const { return Height; }
    // Whole lines on a page (at least 1).
    int LinesPerPage() const;
    void Line(const QString &text, const QColor &colour = Qt::black);
    void FormFeed();
    // Prints 8-bit lines; a line that is exactly a form feed character starts a new page.
    void Lines(const QList<QByteArray> &lines);
    int Pages() const { return Page; }

private:
    QPrinter &Printer;
    QPainter &Painter;
    int Height;
    int Ascent;
    int Y = 0;
    int Page = 1;
};
