// Extraction of the selected records in their display form: to a CSV file, and the page
// arithmetic and page layout of the printed extraction (the printing itself is the program's).
#pragma once

#include "selection.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

class QIODevice;
class TProgress;

inline const char NoSerialSelectedText[] = "No Instrument Serial Number has been selected.";
inline const char NoRecordsMatchText[] = "No records match the selection criteria.";
inline const char ExtractionCancelledText[] = "Extraction of records cancelled by request.";

// "Instrument_<serial>.csv", the serial trimmed of its blanks.
QString DsdCsvFileName(const QString &serial);

struct TDsdExtractResult {
    bool Done = false; // false: nothing written (the message says why) or a write error
    bool Cancelled = false;
    bool NothingSelected = false; // no record lies in the selection: nothing was written
    uint32_t Count = 0;
    QString Message;
};

// Writes the selected records (UTF-8 lines ending CR LF) and the incomplete marker to `out`, with
// progress and cancel every 20000 records. The selection is evaluated and scrolled to its start.
// `fileName` is named in the closing message.
TDsdExtractResult DsdExtractCsv(TDsdSelection &selection, const QString &serial, QIODevice &out,
                                const QString &fileName, TProgress *progress);
// The same into a file, replaced only when the extraction has written it completely.
TDsdExtractResult DsdExtractCsvToFile(TDsdSelection &selection, const QString &serial, const QString &path,
                                      TProgress *progress);

// Starts the progress of an extraction of the selected records (its range at `step` and its texts).
void DsdShowExtractProgress(TProgress &progress, const TDsdSelection &selection, const QString &serial,
                            uint32_t step);

// --- printed extraction -----------------------------------------------------------------------
int DsdClampMargin(int leftMargin); // 0..50
int DsdClampFontSize(int fontSize); // 6..16

struct TDsdPrintLayout {
    int LineHeight = 1;   // device units
    int LinesPerPage = 1; // record lines per page
    uint32_t Records = 0; // records selected
    uint32_t PageCount = 1;
    bool AskFirst = false; // more than 50 pages
};
TDsdPrintLayout DsdPrintLayout(int fontSize, int dotsPerInch, int pageHeight, uint32_t firstIndex,
                               uint32_t lastIndex);
// The question asked before printing more than 50 pages.
QString DsdPrintWarningText(uint32_t records, const QString &rangeLine, uint32_t pageCount);
// The advice given when the user declines a long printout.
QString DsdPrintRestrictRangeText();

// Where the printed lines go: one line of text in one colour, and a new page.
class TDsdLineSink
{
public:
    virtual ~TDsdLineSink() = default;
    virtual void PrintLine(const QByteArray &text, bool red) = 0; // UTF-8
    virtual void NewPage() = 0;
};

// Pages of the printed extraction: header, tamper banner, record lines, banner, footer.
class TDsdPrintPager
{
public:
    TDsdPrintPager(TDsdLineSink &sink, const TDsdPrintLayout &layout, int margin,
                   const QByteArray &serialLine, const QByteArray &reportDateLine,
                   const QByteArray &rangeLine, uint8_t fileVerdict);
    // One line; "EOJ" ends the last page.
    void PrintRecordLine(const QByteArray &text, bool red);

private:
    void PrintTamperBanner();
    void PrintFooter();
    TDsdLineSink &Sink;
    TDsdPrintLayout Layout;
    QByteArray MarginText, SerialLine, ReportDateLine, RangeLine;
    uint8_t FileVerdict;
    int64_t LineCounter = 0x7FFFFFFF; // nothing printed yet: the first line opens a page
    uint32_t PageNumber = 0;
};
