// The printer as a text device (see textprinter.h).
#include "base/ui/textprinter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

TTextPrinter::TTextPrinter(QPrinter &printer, QPainter &painter, const QFont &font)
    : Printer(printer), Painter(painter)
{
    Painter.setFont(font);
    const int pixels = font.pointSize() * printer.resolution() / 72;
    Height = std::max(1, pixels * 9 / 8);
    Ascent = QFontMetrics(Painter.font(), &printer).ascent();
}

int TTextPrinter::LinesPerPage() const
{
    return std::max(1, Printer.height() / Height);
}

void TTextPrinter::Line(const QString &text, const QColor &colour)
{
    if (Y + Height > Printer.height() && Y > 0)
        FormFeed();
    if (!text.isEmpty()) {
        Painter.setPen(colour);
        Painter.drawText(0, Y + Ascent, text);
    }
    Y += Height;
}

void TTextPrinter::FormFeed()
{
    Printer.newPage();
    ++Page;
    Y = 0;
}

void TTextPrinter::Lines(const QList<QByteArray> &lines)
{
    for (const QByteArray &line : lines) {
        if (line == "\f")
            FormFeed();
        else
            Line(QString::fromLatin1(line));
    }
}
