// CSV extraction of the selected records and the layout of their printout.
#include "extract.h"

#include "base/wholefile.h"
#include "i18n/LumsLang.h"
#include "progress.h"
#include "storelayout.h"
#include "upload.h"

#include <QFileInfo>
#include <QIODevice>
#include <cstdlib>

QString DsdCsvFileName(const QString &serial)
{
    // A closed store file's entry names its closing moment in a form every file system takes.
    const TListedStore listed = ParseListedStore(serial.trimmed());
    return QStringLiteral("Instrument_") + listed.Serial.trimmed() +
           (listed.Closed.isEmpty() ? QString() : QStringLiteral("_closed-") + listed.Closed) +
           QStringLiteral(".csv");
}

namespace
{

QString ExtractedText(uint32_t count)
{
    return QStringLiteral("Succesfully extracted %1 record%2").arg(count).arg(count == 1 ? "" : "s");
}

} // namespace

TDsdExtractResult DsdExtractCsv(TDsdSelection &selection, const QString &serial, QIODevice &out,
                                const QString &fileName, TProgress *progress)
{
    TDsdExtractResult result;
    const QString isn = serial.trimmed();
    TDsdRecordStore &store = selection.Store();
    if (isn.isEmpty()) {
        result.Message = QString::fromLatin1(NoSerialSelectedText);
        return result;
    }
    if (store.FileChanged()) {
        result.Message = QString::fromLatin1(StoreChangedText);
        return result;
    }
    if (store.RecordCount() == 0) {
        result.NothingSelected = true;
        result.Message = QString::fromLatin1(NoRecordsMatchText);
        return result;
    }
    selection.DsdScrollBitBtnClick(ScrollOldest);
    if (selection.Empty()) {
        result.NothingSelected = true;
        result.Message = QString::fromLatin1(NoRecordsMatchText);
        return result;
    }
    const uint32_t first = selection.FirstIndex;
    const uint32_t last = selection.LastIndex;
    if (progress)
        DsdShowExtractProgress(*progress, selection, isn, 10000);
    // The lines gather in one buffer that goes out a megabyte at a time.
    constexpr qsizetype chunk = 1 << 20;
    QByteArray buffer;
    buffer.reserve(chunk + 4096);
    bool ok = true;
    auto flush = [&] {
        ok = ok && out.write(buffer) == buffer.size();
        buffer.clear();
        return ok;
    };
    for (uint64_t i = first; i < store.RecordCount(); ++i) {
        // Numbers missing inside the selection are said where they are missing.
        if (i > first && store.AppendGapLine(static_cast<uint32_t>(i), buffer))
            buffer += "\r\n";
        const qsizetype before = buffer.size();
        store.AppendRecordText(static_cast<uint32_t>(i), buffer);
        if (buffer.size() == before)
            break;
        buffer += "\r\n";
        if (buffer.size() >= chunk && !flush())
            break;
        ++result.Count;
        if (progress && result.Count % 20000 == 0) {
            progress->ProcessEvents();
            progress->StepProgress(QString::number(store.Entry(static_cast<uint32_t>(i)).Number),
                                   static_cast<uint32_t>(i / 2));
        }
        if (i + 1 > last)
            break;
        if (progress && progress->CancelRequested()) {
            result.Cancelled = true;
            break;
        }
    }
    if (ok && (store.FileVerdict() & VerdictFileIncomplete))
        buffer += QByteArray(FileIncompleteLine) + "\r\n";
    if (ok)
        flush();
    if (progress)
        progress->HideProgress();
    if (!ok) {
        result.Message = QStringLiteral("Could not write %1: %2").arg(fileName, out.errorString());
        return result;
    }
    // Lines read after another program changed the file are not the records that were checked.
    if (store.FileChanged()) {
        result.Message = QString::fromLatin1(StoreChangedText);
        return result;
    }
    result.Done = true;
    result.Message = result.Cancelled ? QString::fromLatin1(ExtractionCancelledText)
                                      : ExtractedText(result.Count) + QStringLiteral(" to\r\n") + fileName;
    return result;
}

TDsdExtractResult DsdExtractCsvToFile(TDsdSelection &selection, const QString &serial, const QString &path,
                                      TProgress *progress)
{
    TWholeFile file(path);
    if (!file.Open()) {
        TDsdExtractResult result;
        result.Message = file.ErrorText();
        return result;
    }
    TDsdExtractResult result = DsdExtractCsv(selection, serial, file.Device(), path, progress);
    if (!result.Done) {
        file.Cancel();
        if (result.Message.startsWith(QStringLiteral("Could not write")))
            result.Message += QStringLiteral(". Nothing was extracted; an earlier %1 is kept as it was.")
                                  .arg(QFileInfo(path).fileName());
    } else if (!file.Commit()) {
        result.Done = false;
        result.Message = file.ErrorText() + QStringLiteral(" Nothing was extracted.");
    }
    return result;
}

int DsdClampMargin(int leftMargin)
{
    return leftMargin < 0 ? 0 : leftMargin > 50 ? 50 : leftMargin;
}

int DsdClampFontSize(int fontSize)
{
    return fontSize < 6 ? 6 : fontSize > 16 ? 16 : fontSize;
}

TDsdPrintLayout DsdPrintLayout(int fontSize, int dotsPerInch, int pageHeight, uint32_t firstIndex,
                               uint32_t lastIndex)
{
    TDsdPrintLayout layout;
    layout.LineHeight = (fontSize * dotsPerInch / 72) * 9 / 8;
    // A page too small for even one line still prints one per page rather than dividing by zero.
    if (layout.LineHeight < 1)
        layout.LineHeight = 1;
    layout.LinesPerPage = std::abs(pageHeight / layout.LineHeight) - 4;
    if (layout.LinesPerPage < 1)
        layout.LinesPerPage = 1;
    layout.Records = lastIndex - firstIndex + 1;
    layout.PageCount = layout.Records / static_cast<uint32_t>(layout.LinesPerPage) + 1;
    layout.AskFirst = layout.PageCount > 50;
    return layout;
}

QString DsdPrintWarningText(uint32_t records, const QString &rangeLine, uint32_t pageCount)
{
    return QStringLiteral(" WARNING: you have requested %1 records.").arg(records) + QStringLiteral("\r\n") +
           QStringLiteral("\r\n ") + rangeLine + QStringLiteral("\r\n") +
           QStringLiteral("\r\n >>>>> THIS WILL REQUIRE  %1 PAGES. <<<<<").arg(pageCount) +
           QStringLiteral("\r\n") +
           QStringLiteral("\r\n Click \"Yes\" to start printing, else \"Cancel\" then select a smaller range "
                          "of records.");
}

QString DsdPrintRestrictRangeText()
{
    return QStringLiteral(
        u"Use the \"From/To Record N\u00ba\" or \"From/To Date/Time\" fields to restrict the range of "
        u"records.");
}

TDsdPrintPager::TDsdPrintPager(TDsdLineSink &sink, const TDsdPrintLayout &layout, int margin,
                               const QByteArray &serialLine, const QByteArray &reportDateLine,
                               const QByteArray &rangeLine, uint8_t fileVerdict)
    : Sink(sink), Layout(layout), MarginText(DsdClampMargin(margin), ' '), SerialLine(serialLine),
      ReportDateLine(reportDateLine), RangeLine(rangeLine), FileVerdict(fileVerdict)
{
}

void TDsdPrintPager::PrintTamperBanner()
{
    if (FileVerdict != 0)
        Sink.PrintLine(MarginText + TamperEvidenceText, true);
    else
        Sink.PrintLine(QByteArray(), false);
}

void TDsdPrintPager::PrintFooter()
{
    Sink.PrintLine(MarginText + ReportDateLine + "  Page:" + QByteArray::number(PageNumber) + " of " +
                       QByteArray::number(Layout.PageCount),
                   false);
}

void TDsdPrintPager::PrintRecordLine(const QByteArray &text, bool red)
{
    const bool nothingYet = LineCounter == 0x7FFFFFFF;
    if (text == "EOJ") {
        // Without a single line there is no page to finish.
        if (nothingYet)
            return;
        do {
            Sink.PrintLine(QByteArray(), false);
            ++LineCounter;
        } while (LineCounter < Layout.LinesPerPage + 1);
        PrintFooter();
        return;
    }
    if (LineCounter >= Layout.LinesPerPage) {
        if (nothingYet) {
            Sink.PrintLine(" ", false);
        } else {
            PrintTamperBanner();
            PrintFooter();
            Sink.NewPage();
        }
        Sink.PrintLine(MarginText + SerialLine + "  " + RangeLine, false);
        PrintTamperBanner();
        LineCounter = 0;
        ++PageNumber;
    }
    Sink.PrintLine(MarginText + text, red);
    ++LineCounter;
}

void DsdShowExtractProgress(TProgress &progress, const TDsdSelection &selection, const QString &serial,
                            uint32_t step)
{
    progress.SetProgressRange(selection.FirstIndex / 2, selection.LastIndex / 2, step);
    progress.ShowProgress(
        LangText("TFrmProgress", "ProgressSerial", "Instrument Serial Number: %1").arg(serial),
        LangText("TFrmProgress", "ProgressExtracting", "Extracting Records from %1 to %2")
            .arg(selection.FirstNumber)
            .arg(selection.LastNumber),
        QString::number(selection.FirstNumber));
}
