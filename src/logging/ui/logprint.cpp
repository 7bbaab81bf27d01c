// Weight logging's files and printouts: opening and saving log files, File > Print (the log page or
// the settings tree as text) and the chart as a picture.
#include "base/ui/printfile.h"
#include "base/ui/textprinter.h"
#include "base/wholefile.h"
#include "link/reporter.h"
#include "logging/printlines.h"
#include "logging/ui/logchart.h"
#include "logging/ui/logtab.h"
#include "logging/ui/logui.h"
#include "reports/chart/factorychart.h"
#include "settings/device.h"
#include "settings/settingstree.h"
#include "settings/ui/settingsui.h"
#include "shell/ui/main.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QTabWidget>
#include <algorithm>

namespace
{

const QString LogFilter = QStringLiteral("Log (*.CSV);;All Files (*.*)");

} // namespace

void TLogUi::OpenLogClick()
{
    // The log replaces the chart: an unsaved recording is offered for saving first.
    if (!AskUnsaved(QStringLiteral("a log file is opened")))
        return;
    const QString title = QStringLiteral("Open Log File");
    const QString path = AskOpenFile ? AskOpenFile(title, LogFilter)
                                     : QFileDialog::getOpenFileName(&Window, title, {}, LogFilter);
    if (path.isEmpty())
        return;
    // A settings session ends before the log replaces what the window shows: asked first.
    auto *settings = Window.findChild<TSettingsUi *>();
    if (settings && !settings->Model->IsEmpty()) {
        if (!Window.Reporter->Ask(QStringLiteral("Opening a log file ends the setup session (the instrument "
                                                 "is locked and its settings saved).\nOpen %1?")
                                      .arg(QFileInfo(path).fileName())))
            return;
        settings->EndSessionClick();
    }
    QList<QByteArray> lines;
    QString error;
    if (!LoadLogLines(path, &lines, &error)) {
        Window.Reporter->Error(error);
        return;
    }
    LoadLog(lines, false);
}

bool TLogUi::SaveLogClick()
{
    const QString title = QStringLiteral("Save Log to File");
    const QString chosen = AskSaveFile ? AskSaveFile(title, LogFilter)
                                       : QFileDialog::getSaveFileName(&Window, title, {}, LogFilter);
    if (chosen.isEmpty())
        return false;
    QList<QByteArray> lines;
    WriteLogCsv(Log, lines);
    QString error;
    if (!SaveLogLines(LogFileName(chosen), lines, &error)) {
        Window.Reporter->Error(error);
        return false;
    }
    // The recording is safe in its file now.
    if (Unsaved && Log.LogState == 0) {
        Recovery->Discard();
        Unsaved = false;
    }
    return true;
}

void TLogUi::Print1Click()
{
    QPrinter printer(QPrinter::HighResolution);
    const bool chosen = AskPrinter ? AskPrinter(printer) : [&] {
        QPrintDialog dialog(&printer, &Window);
        return dialog.exec() == QDialog::Accepted;
    }();
    if (!chosen)
        return;
    TBusyGuard busy(Window.Reporter);
    if (Window.PgCMain->currentWidget() == Window.TSLog)
        PrintLog(printer);
    else
        PrintSettings(printer);
}

void TLogUi::PrintLog(QPrinter &printer)
{
    TPrintFileGuard output(printer);
    QCPPainter painter;
    if (!painter.begin(&printer)) {
        Window.Reporter->Error(QStringLiteral("The printer could not be started."));
        return;
    }
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    const int W = printer.width();
    const int H = printer.height();
    QFont font(QStringLiteral("Arial"), 16);
    painter.setFont(font);
    const QFontMetrics metrics(painter.font(), &printer);
    const int line = metrics.height();
    const int gap = metrics.horizontalAdvance(QStringLiteral("  "));
    // The trace names in two columns at the bottom right. A column is at least as wide as its longest
    // name and a gap, so that "Motion" and "IO3" never run together; the pair moves left when it
    // would pass the page's edge.
    auto widest = [&](int a, int b) {
        return std::max(metrics.horizontalAdvance(Tab->LblDig[a]->text()),
                        metrics.horizontalAdvance(Tab->LblDig[b]->text()));
    };
    const int column = std::max(W / 12, widest(0, 2) + gap);
    const int x = std::max(0, std::min(W * 10 / 12, W - column - widest(1, 3)));
    const int y = H - H / 20;
    const QPoint places[4] = {{x, y - line}, {x + column, y - line}, {x, y}, {x + column, y}};
    for (int n = 0; n < 4; ++n) {
        painter.setPen(TLogChart::TraceColours[n]);
        painter.drawText(places[n], Tab->LblDig[n]->text());
    }
    // The comment under the chart, left of the trace names. A long one is wrapped over the room
    // between the chart and the page's foot, in smaller type when it needs it, and never runs into
    // the names.
    painter.setPen(Qt::black);
    const QString comment = Tab->LblLogComment->text();
    const bool names = std::any_of(std::begin(Tab->LblDig), std::end(Tab->LblDig),
                                   [](const QLabel *l) { return !l->text().isEmpty(); });
    const int right = (names ? x : W) - gap;
    if (W / 6 + metrics.horizontalAdvance(comment) <= right) {
        painter.drawText(W / 6, y, comment);
    } else {
        const QRect room(QPoint(W / 6, H - H / 10 + line / 4), QPoint(right, H - 1));
        const int flags = Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap | Qt::TextWrapAnywhere;
        for (int points = 16; points >= 7; --points) {
            font.setPointSize(points);
            painter.setFont(font);
            if (painter.boundingRect(room, flags, comment).height() <= room.height())
                break;
        }
        painter.save();
        painter.setClipRect(room);
        painter.drawText(room, flags, comment);
        painter.restore();
    }
    // The chart as the facility draws it into the rectangle (W/20, H/10) .. (W - W/20, H - H/10). It
    // is laid out as on a 96 dpi screen and scaled to the printer, with its type sized in pixels of
    // that layout: the room the layout keeps for the axis numbers and titles is then the room they
    // take on paper. The cursors are the screen's, not the paper's.
    const QRect area(QPoint(W / 20, H / 10), QPoint(W - W / 20, H - H / 10));
    TLogChart *chart = Tab->Chart;
    const bool shown[2] = {chart->Cursors[0]->Shown, chart->Cursors[1]->Shown};
    chart->Cursors[0]->Shown = chart->Cursors[1]->Shown = false;
    QCPAxis *const axes[] = {chart->xAxis, chart->yAxis};
    const QFont saved[] = {chart->xAxis->tickLabelFont(), chart->xAxis->labelFont(),
                           chart->yAxis->tickLabelFont(), chart->yAxis->labelFont()};
    auto inPixels = [](QFont f) {
        f.setPixelSize(std::max(1, qRound(QFontInfo(f).pointSizeF() * 96 / 72)));
        return f;
    };
    for (int a = 0; a < 2; ++a) {
        axes[a]->setTickLabelFont(inPixels(saved[2 * a]));
        axes[a]->setLabelFont(inPixels(saved[2 * a + 1]));
    }
    const double scale = std::max(1.0, printer.resolution() / 96.0);
    painter.save();
    painter.setMode(QCPPainter::pmNonCosmetic);
    painter.translate(area.topLeft());
    painter.scale(scale, scale);
    chart->toPainter(&painter, qRound(area.width() / scale), qRound(area.height() / scale));
    painter.restore();
    for (int a = 0; a < 2; ++a) {
        axes[a]->setTickLabelFont(saved[2 * a]);
        axes[a]->setLabelFont(saved[2 * a + 1]);
    }
    chart->Cursors[0]->Shown = shown[0];
    chart->Cursors[1]->Shown = shown[1];
    QString error;
    if (!painter.end())
        Window.Reporter->Error(QStringLiteral("The printout could not be finished."));
    else if (!output.Finish(&error))
        Window.Reporter->Error(error);
    chart->Refresh();
}

void TLogUi::PrintSettings(QPrinter &printer)
{
    TPrintFileGuard output(printer);
    QPainter painter;
    if (!painter.begin(&printer)) {
        Window.Reporter->Error(QStringLiteral("The printer could not be started."));
        return;
    }
    QFont font(QStringLiteral("Courier New"), 12);
    font.setStyleHint(QFont::Monospace);
    TTextPrinter text(printer, painter, font);
    const TDevice *device = Window.Device;
    const QByteArray header =
        device ? SettingsPrintHeader(device->ModelText, device->SerialNumber, device->VersionText)
               : SettingsPrintHeader({}, {}, {});
    QList<QByteArray> tree;
    if (auto *settings = Window.findChild<TSettingsUi *>())
        tree = SettingsTreePrintLines(settings->Model->Tree());
    // The three blank lines that open each page must fit on it too.
    text.Lines(SettingsPrintout(header, tree, std::max(1, text.LinesPerPage() - 3)));
    QString error;
    if (!painter.end())
        Window.Reporter->Error(QStringLiteral("The printout could not be finished."));
    else if (!output.Finish(&error))
        Window.Reporter->Error(error);
}

void TLogUi::SaveChartPicture()
{
    const QString title = QStringLiteral("Save Chart as Picture");
    const QString filter = QStringLiteral("PNG picture (*.png);;PDF document (*.pdf)");
    QString path =
        AskSaveFile ? AskSaveFile(title, filter) : QFileDialog::getSaveFileName(&Window, title, {}, filter);
    if (path.isEmpty())
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("pdf") && suffix != QLatin1String("png"))
        path += QStringLiteral(".png");
    TLogChart *chart = Tab->Chart;
    // Either way the file is written beside its place and put there only when complete.
    QString error;
    if (path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
        TPdfFile pdf(path);
        if (!chart->savePdf(pdf.WritePath(), chart->width(), chart->height()))
            error = QStringLiteral("The chart could not be saved to %1.").arg(path);
        else
            pdf.Finish(&error);
    } else {
        SavePngWhole(chart->toPixmap(chart->width(), chart->height()).toImage(), path, error);
    }
    if (!error.isEmpty())
        Window.Reporter->Error(error);
}
