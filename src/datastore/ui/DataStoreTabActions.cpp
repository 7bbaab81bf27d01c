// The Data Store tab's upload, extraction to CSV and printout.
#include "DataStoreTab.h"

#include "Progress.h"
#include "base/dmViewer.h"
#include "base/ui/maincontrols.h"
#include "base/ui/printfile.h"
#include "datastore/extract.h"
#include "datastore/upload.h"
#include "i18n/LumsLang.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "link/ui/radiogroup.h"
#include "settings/device.h"

#include <QDateEdit>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimeEdit>

namespace
{

// The long time format without its time-zone name: the pickers' times have no zone, and the name
// only lengthens the printed header past the page.
QString LongTimeWithoutZone(const QLocale &locale, const QTime &time)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    if (!format.contains(QLatin1Char('\'')))
        format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    return locale.toString(time, format.trimmed());
}

} // namespace

// --- upload and extraction -------------------------------------------------------------------------

void TDataStoreTab::DsdUploadOrRefreshClick()
{
    if (!Engine || !Device) {
        if (Reporter)
            Reporter->Error(
                LangText("Messages", "DsdNotConnected", "Com Port not open or instrument not connected"));
        return;
    }
    // Nothing else reaches the instrument or the store meanwhile; the progress window's Cancel
    // stays usable.
    TMainControlsGuard lock(this);
    TDsdUpload upload(*Engine, *Device, Store.Layout);
    upload.CheckInstrumentKnown = [this] { return CheckInstrumentKnown(); };
    upload.Reporter = Reporter;
    upload.Progress = Progress;
    upload.Log = Log;
    upload.ScrambleLines = ScrambleLines;
    upload.DebugMode = DebugMode;
    DsdUploadOrRefresh->setEnabled(false);
    TDsdUpload::TResult result = upload.DsdUploadOrRefreshClick();
    // The instrument's records no longer continue its store: nothing of them was mixed in. The
    // user may start a new store file for them, the old one kept unchanged beside it.
    if (result == TDsdUpload::Restarted && upload.Count == 0 && Reporter &&
        Reporter->Ask(
            upload.Message + QStringLiteral("\n\n") +
            LangText("Messages", "DsdNewSequence",
                     QStringLiteral("Start a new Data Store file for the instrument's new sequence of "
                                    "records? The current file is kept unchanged beside it, named "
                                    "with the time it was closed.")))) {
        upload.NewSequence = true;
        result = upload.DsdUploadOrRefreshClick();
    } else if (result == TDsdUpload::Restarted && upload.Count > 0 && Reporter) {
        Reporter->Error(upload.Message);
    }
    DsdUploadOrRefresh->setEnabled(true);
    if (result == TDsdUpload::Failed)
        return;
    if (result == TDsdUpload::Uploaded)
        ShowStatusText(upload.Message, !upload.Missing.isEmpty());
    // The list again, with the instrument just uploaded chosen and loaded.
    RebuildList();
    ChooseStore(ListedSerial(Device->SerialNumber));
    // An incomplete or refused upload, or one that found records gone, has its message, not the
    // count of the load, in the status bar, in red.
    if (result == TDsdUpload::Incomplete || result == TDsdUpload::Restarted ||
        (result == TDsdUpload::Uploaded && !upload.Missing.isEmpty()))
        ShowStatusText(upload.Message, true);
}

void TDataStoreTab::DsdExtractCsvBitBtnClick()
{
    const QString serial = Store.DsdIsnFromControl().trimmed();
    if (serial.isEmpty()) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "DsdNoSerial", NoSerialSelectedText));
        return;
    }
    if (Store.Records.RecordCount() == 0) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "DsdNoRecordsMatch", NoRecordsMatchText));
        return;
    }
    DsdScrollBitBtnClick(ScrollOldest);
    if (Store.Selection.Empty()) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "DsdNoRecordsMatch", NoRecordsMatchText));
        return;
    }
    const QString dir = Config ? Config->GetCsvDir() : QString();
    const QString path = AskSaveFile ? AskSaveFile(dir, DsdCsvFileName(serial)) : QString();
    if (path.isEmpty())
        return;
    TMainControlsGuard lock(this); // the store stays as it is while it is read
    const TDsdExtractResult result = DsdExtractCsvToFile(Store.Selection, serial, path, Progress);
    Progress->HideProgress();
    if (Config && result.Done)
        Config->SetCsvDir(QFileInfo(path).absolutePath());
    if (!result.Message.isEmpty() && Reporter) {
        if (result.Done || result.Cancelled)
            Reporter->Info(result.Message);
        else
            Reporter->Error(result.Message);
    }
    DsdRecordWindowPopulate();
}

namespace
{
// Printed lines one below the other in the printer's font, red or black.
class TPainterSink : public TDsdLineSink
{
public:
    TPainterSink(QPrinter &printer, QPainter &painter, int lineHeight)
        : Printer(printer), Painter(painter), LineHeight(lineHeight),
          Ascent(QFontMetrics(painter.font(), &printer).ascent()), PageWidth(printer.width())
    {
    }
    void PrintLine(const QByteArray &text, bool red) override
    {
        Painter.setPen(red ? QColor(Qt::red) : QColor(Qt::black));
        const QString line = QString::fromUtf8(text);
        // A line wider than the page (a long header, a large font) is drawn smaller to fit it,
        // measured as the painter itself lays it out.
        const qreal width =
            Painter.boundingRect(QRectF(0, 0, 1e7, 1e4), Qt::AlignLeft | Qt::AlignTop, line).width();
        if (width > PageWidth && PageWidth > 0) {
            const qreal scale = PageWidth / width;
            Painter.save();
            Painter.translate(0, Y + Ascent);
            Painter.scale(scale, scale);
            Painter.drawText(QPointF(0, 0), line);
            Painter.restore();
        } else {
            Painter.drawText(0, Y + Ascent, line);
        }
        Y += LineHeight;
    }
    void NewPage() override
    {
        Printer.newPage();
        Y = 0;
    }

private:
    QPrinter &Printer;
    QPainter &Painter;
    int LineHeight;
    int Ascent;
    int PageWidth;
    int Y = 0;
};
} // namespace

void TDataStoreTab::DsdExtractPrintBitBtnClick()
{
    const QString serial = Store.DsdIsnFromControl().trimmed();
    if (serial.isEmpty()) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "DsdNoSerial", NoSerialSelectedText));
        return;
    }
    TDsdSelection &s = Store.Selection;
    if (Store.Records.RecordCount() == 0 || s.Empty()) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "DsdNoRecordsMatch", NoRecordsMatchText));
        return;
    }
    DsdScrollBitBtnClick(ScrollOldest);
    if (s.Empty()) {
        if (Reporter)
            Reporter->Info(LangText("Messages", "DsdNoRecordsMatch", NoRecordsMatchText));
        return;
    }
    const int margin = DsdClampMargin(Config ? Config->GetLeftMargin() : 0);
    const int size = DsdClampFontSize(Config ? Config->GetFontSize() : 10);
    QPrinter printer;
    if (!AskPrinter || !AskPrinter(printer))
        return;

    QString range;
    if (s.Mode == SelectDateTime) {
        const QLocale locale;
        range = QStringLiteral("Records %1 %2 to %3 %4")
                    .arg(locale.toString(DsdDateFrom->date(), QLocale::ShortFormat),
                         LongTimeWithoutZone(locale, DsdTimeFrom->time()),
                         locale.toString(DsdDateTo->date(), QLocale::ShortFormat),
                         LongTimeWithoutZone(locale, DsdTimeTo->time()));
    } else {
        range = QStringLiteral("Records %1 to %2").arg(s.FirstNumber).arg(s.LastNumber);
    }
    printer.setDocName(QStringLiteral("ISN ") + serial + QLatin1Char(' ') + range);
    const TDsdPrintLayout layout =
        DsdPrintLayout(size, printer.resolution(), printer.pageRect(QPrinter::DevicePixel).toRect().height(),
                       s.FirstIndex, s.LastIndex);
    // Asked before the job starts, so that declining prints nothing at all.
    if (layout.AskFirst &&
        !(Reporter && Reporter->Ask(DsdPrintWarningText(layout.Records, range, layout.PageCount)))) {
        if (Reporter)
            Reporter->Info(DsdPrintRestrictRangeText());
        return;
    }
    TPrintFileGuard output(printer);
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (Reporter)
            Reporter->Error(LangText("Messages", "PrinterNotStarted", "The printer could not be started."));
        return;
    }
    QFont font("Courier New", size);
    font.setStyleHint(QFont::Monospace);
    painter.setFont(font);
    TPainterSink sink(printer, painter, layout.LineHeight);
    TDsdPrintPager pager(sink, layout, margin, "Instrument Serial Number:" + serial.toUtf8(),
                         "Report Date:" +
                             QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat).toUtf8(),
                         range.toUtf8(), Store.Records.FileVerdict());

    TMainControlsGuard lock(this);
    DsdShowExtractProgress(*Progress, s, serial, 5000);
    uint32_t count = 0;
    uint32_t i = s.FirstIndex;
    do {
        QByteArray gap;
        if (i > s.FirstIndex && Store.Records.AppendGapLine(i, gap))
            pager.PrintRecordLine(gap, true);
        const QByteArray text = Store.Records.DsdRecordObtain(i);
        if (text.isEmpty())
            break;
        pager.PrintRecordLine(text, Store.Records.Entry(i).Verdict != 0);
        if (++count % 10000 == 0) {
            Progress->ProcessEvents();
            Progress->StepProgress(QString::number(Store.Records.Entry(i).Number), i / 2);
        }
        ++i;
    } while (i <= s.LastIndex && i != 0 && !Progress->CancelRequested());
    if (Store.Records.FileVerdict() & VerdictFileIncomplete)
        pager.PrintRecordLine(FileIncompleteLine, true);
    pager.PrintRecordLine("EOJ", false);
    QString printError;
    if (!painter.end())
        printError = QStringLiteral("The printout could not be finished.");
    else
        output.Finish(&printError);
    const bool cancelled = Progress->CancelRequested();
    Progress->HideProgress();
    if (Config) {
        Config->SetLeftMargin(margin);
        Config->SetFontSize(size);
    }
    if (!printError.isEmpty()) {
        if (Reporter)
            Reporter->Error(printError);
    } else if (Store.Records.FileChanged()) {
        if (Reporter)
            Reporter->Error(LangText("Messages", "DsdStoreChanged", QString::fromLatin1(StoreChangedText)));
    } else if (Reporter) {
        Reporter->Info(
            cancelled ? LangText("Messages", "DsdExtractionCancelled", ExtractionCancelledText)
            : count == 1
                ? LangText("Messages", "DsdExtractedOne", QStringLiteral("Succesfully extracted 1 record."))
                : LangText("Messages", "DsdExtracted", QStringLiteral("Succesfully extracted %1 records."))
                      .arg(count));
    }
    DsdRecordWindowPopulate();
}
