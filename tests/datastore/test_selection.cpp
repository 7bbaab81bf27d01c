// Selections, scrolling and the record window over a loaded store; CSV extraction and the
// printout's pages.
#include "datastore/extract.h"
#include "datastore/progress.h"
#include "store_fixture.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

// Record text of n as the window shows it, for records of StoreLines.
QByteArray Shown(TDsdRecordStore &store, uint32_t i)
{
    return store.DsdRecordObtain(i);
}

struct TStore {
    explicit TStore(const QByteArray &bytes, bool scramble = true)
    {
        store.ScrambleLines = scramble;
        store.Locale = QLocale(QLocale::English, QLocale::UnitedKingdom);
        store.Reporter = &reporter;
        store.LoadBytes(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        selection.WindowLines = 10;
        selection.DsdScrollBitBtnClick(ScrollOldest);
    }
    // Record indexes shown in the window (the marker as -1).
    std::vector<int> Window()
    {
        std::vector<int> shown;
        for (const TDsdWindowLine &line : selection.DsdRecordWindowPopulate()) {
            if (line.Text == FileIncompleteLine) {
                shown.push_back(-1);
                continue;
            }
            for (uint32_t i = 0; i < store.RecordCount(); ++i)
                if (Shown(store, i) == line.Text)
                    shown.push_back(static_cast<int>(i));
        }
        return shown;
    }
    TRecordingReporter reporter;
    TDsdRecordStore store;
    TDsdSelection selection{store};
};

std::vector<int> Range(int from, int to)
{
    std::vector<int> r;
    for (int i = from; i <= to; ++i)
        r.push_back(i);
    return r;
}

class TRecordingProgress : public TProgress
{
public:
    void SetProgressRange(uint32_t min, uint32_t max, uint32_t step) override
    {
        Calls += QStringLiteral("range %1 %2 %3").arg(min).arg(max).arg(step);
    }
    void ShowProgress(const QString &a, const QString &b, const QString &c) override
    {
        Calls += QStringLiteral("show %1|%2|%3").arg(a, b, c);
    }
    void StepProgress(const QString &line3, uint32_t position) override
    {
        Calls += QStringLiteral("step %1 %2").arg(line3).arg(position);
        if (CancelAtStep)
            Cancel = true;
    }
    void HideProgress() override { Calls += QStringLiteral("hide"); }
    bool CancelRequested() const override { return Cancel; }
    QStringList Calls;
    bool Cancel = false;
    bool CancelAtStep = false;
};

} // namespace

TEST(Selection, ScrollingAllOfAHundredRecords)
{
    TStore s(StoreBytes(100, true));
    EXPECT_EQ(s.Window(), Range(0, 9));
    for (int k = 0; k < 3; ++k)
        s.selection.DsdScrollBitBtnClick(ScrollNext);
    EXPECT_EQ(s.Window(), Range(30, 39));
    s.selection.DsdScrollBitBtnClick(ScrollNewest);
    EXPECT_EQ(s.Window(), Range(91, 99)); // one line left free
    // Paging forward never skips a record: from 80..89 the next page starts at 90.
    s.selection.TopIndex = 80;
    s.selection.DsdScrollBitBtnClick(ScrollNext);
    EXPECT_EQ(s.Window(), Range(90, 99));
    s.selection.DsdScrollBitBtnClick(ScrollNext);
    EXPECT_EQ(s.selection.TopIndex, 91u);
    s.selection.DsdScrollBitBtnClick(ScrollOldest);
    s.selection.DsdScrollBitBtnClick(ScrollPrevious);
    EXPECT_EQ(s.selection.TopIndex, 0u);
    EXPECT_EQ(s.selection.FirstNumber, 1u);
    EXPECT_EQ(s.selection.LastNumber, 100u);

    // A window taller than the selection, and a window with no lines at all.
    TStore few(StoreBytes(5, false), false);
    EXPECT_EQ(few.Window(), Range(0, 4));
    few.selection.DsdScrollBitBtnClick(ScrollNewest);
    EXPECT_EQ(few.selection.TopIndex, 0u);
    few.selection.WindowLines = DsdLinesMemo(5, -12);
    EXPECT_EQ(few.selection.WindowLines, 0);
    EXPECT_TRUE(few.Window().empty());
    EXPECT_EQ(DsdLinesMemo(306, -12), 20);
}

TEST(Selection, RedLinesAndTheIncompleteMarker)
{
    QList<QByteArray> lines = StoreLines(12, false);
    lines[3].replace("kg", "lb");
    lines.removeLast();
    TStore s(lines.join(), false);
    std::vector<TDsdWindowLine> window = s.selection.DsdRecordWindowPopulate();
    ASSERT_EQ(window.size(), 10u);
    EXPECT_TRUE(window[3].Red);
    EXPECT_TRUE(window[3].Text.startsWith("*****,RECORD TAMPER,4,"));
    EXPECT_FALSE(window[2].Red);
    s.selection.DsdScrollBitBtnClick(ScrollNewest); // records 3..11 and the marker on the free line
    EXPECT_EQ(s.Window(), (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10, 11, -1}));
    EXPECT_TRUE(s.selection.DsdRecordWindowPopulate().back().Red);

    TStore empty(QByteArray("garbage without LF"));
    EXPECT_EQ(empty.store.RecordCount(), 0u);
    EXPECT_EQ(empty.Window(), std::vector<int>{-1});
}

TEST(Selection, MissingNumbersTakeALineAndPagingSkipsNoRecord)
{
    // Records 1-5, then 9-12, then 3 again (a numbering that started over), 4 lines a window.
    QByteArray bytes;
    uint32_t seq = 0;
    for (uint32_t n : {1u, 2u, 3u, 4u, 5u, 9u, 10u, 11u, 12u, 3u})
        bytes += DsdRecordLine(++seq, DsdRecordFixFormatting(InstrumentRecord(n))) + '\n';
    bytes += DsdRecordLine(seq, DsdTrailerRecord(3)) + '\n';
    TStore s(bytes, false);
    s.selection.WindowLines = 4;
    auto texts = [&] {
        QList<QByteArray> t;
        for (const TDsdWindowLine &line : s.selection.DsdRecordWindowPopulate())
            t << (line.Text.startsWith("*****") ? line.Text : line.Text.left(line.Text.indexOf(',')));
        return t;
    };
    s.selection.DsdScrollBitBtnClick(ScrollOldest);
    EXPECT_EQ(texts(), (QList<QByteArray>{"1", "2", "3", "4"}));
    s.selection.DsdScrollBitBtnClick(ScrollNext);
    EXPECT_EQ(texts(), (QList<QByteArray>{"5", "*****,RECORDS 6 TO 8 ARE NOT IN THE STORE", "9", "10"}));
    s.selection.DsdScrollBitBtnClick(ScrollNext);
    EXPECT_EQ(texts(),
              (QList<QByteArray>{"11", "12", "*****,RECORD NUMBERS START AGAIN: 3 FOLLOWS 12", "3"}));
    // A selection that starts right after the gap does not show it; one record gone is singular.
    s.selection.Mode = SelectRecordNumber;
    s.selection.FromText = "9";
    s.selection.ToText = "12";
    s.selection.DsdScrollBitBtnClick(ScrollOldest);
    EXPECT_EQ(texts(), (QList<QByteArray>{"9", "10", "11", "12"}));
    QByteArray one;
    EXPECT_FALSE(s.store.AppendGapLine(1, one));
    TStore t(DsdRecordLine(1, DsdRecordFixFormatting(InstrumentRecord(1))) + '\n' +
                 DsdRecordLine(2, DsdRecordFixFormatting(InstrumentRecord(3))) + '\n',
             false);
    EXPECT_TRUE(t.store.AppendGapLine(1, one));
    EXPECT_EQ(one, "*****,RECORD 2 IS NOT IN THE STORE");
}

TEST(Selection, RecordNumberRanges)
{
    TStore s(StoreBytes(100, true, 1001)); // records 1001..1100
    s.selection.Mode = SelectRecordNumber;
    s.selection.FromText = "1050";
    s.selection.ToText = " \t1059 please"; // blanks before the number, anything after it
    s.selection.DsdScrollBitBtnClick(ScrollOldest);
    EXPECT_EQ(s.Window(), Range(49, 58));
    EXPECT_EQ(s.selection.FirstNumber, 1050u);
    EXPECT_EQ(s.selection.LastNumber, 1059u);
    s.selection.DsdScrollBitBtnClick(ScrollNext);
    EXPECT_EQ(s.Window(), Range(50, 58));           // the newest position, with its free line
    s.selection.DsdScrollBitBtnClick(ScrollOldest); // a selection of exactly one window shows whole
    EXPECT_EQ(s.Window(), Range(49, 58));

    s.selection.FromText = "5000"; // above every record: nothing selected
    s.selection.DsdScrollBitBtnClick(ScrollOldest);
    EXPECT_EQ(s.selection.FirstIndex, 100u);
    EXPECT_TRUE(s.selection.Empty());
    EXPECT_TRUE(s.Window().empty());

    s.selection.FromText = "0";
    s.selection.ToText = "1001"; // below the second record's number
    s.selection.DsdScrollBitBtnClick(ScrollOldest);
    EXPECT_EQ(s.selection.LastIndex, 0u);
    EXPECT_EQ(s.Window(), std::vector<int>{0});

    // Numbers between stored ones snap to the records found.
    s.selection.FromText = "1009x";
    s.selection.ToText = "999999";
    s.selection.DsdViewFromToParse();
    EXPECT_EQ(s.selection.FirstIndex, 8u);
    EXPECT_EQ(s.selection.LastIndex, 99u);
    EXPECT_EQ(s.selection.LastNumber, 1100u);
}

TEST(Selection, SearchesAreCachedAndForgottenAtTheRightTimes)
{
    TStore s(StoreBytes(50, false, 10), false);
    s.selection.Mode = SelectRecordNumber;
    s.selection.FromText = "15";
    s.selection.ToText = "30";
    s.selection.DsdViewFromToParse();
    const int scans = s.selection.Scans;
    EXPECT_EQ(scans, 2);
    s.selection.DsdScrollBitBtnClick(ScrollOldest); // View again, same inputs: no scan
    s.selection.DsdScrollBitBtnClick(ScrollNext);
    EXPECT_EQ(s.selection.Scans, scans);
    s.selection.FromText = "16"; // only the changed end is searched again
    s.selection.DsdViewFromToParse();
    EXPECT_EQ(s.selection.Scans, scans + 1);
    EXPECT_EQ(s.selection.FirstIndex, 6u);

    // A fresh cache is never mistaken for a search: the largest number is a search like any other.
    TStore t(StoreBytes(5, false), false);
    t.selection.Mode = SelectRecordNumber;
    t.selection.ResetCaches();
    t.selection.FromText = "4294967295";
    t.selection.ToText = "0";
    t.selection.DsdViewFromToParse();
    EXPECT_EQ(t.selection.FirstIndex, 5u);
    EXPECT_EQ(t.selection.LastIndex, 0u);
    EXPECT_TRUE(t.selection.Empty());
}

TEST(Selection, DateTimeRangesRunFromMomentToMoment)
{
    // Records 7 minutes apart from 18 Feb 2008 00:07:07; 400 records reach 19 Feb 22:47.
    TStore s(StoreBytes(400, true));
    s.selection.Mode = SelectDateTime;
    s.selection.FromDate = 20080218;
    s.selection.FromTime = 100000;
    s.selection.ToDate = 20080219;
    s.selection.ToTime = 90000;
    s.selection.DsdScrollBitBtnClick(ScrollOldest);
    // The first record at or after 10:00 (10:02:07, record 86) to the last at or before 09:00
    // next day (08:54:07, record 282): records of 19 Feb before 10:00 are not skipped.
    EXPECT_EQ(s.selection.FirstIndex, 85u);
    EXPECT_EQ(s.selection.LastIndex, 281u);
    EXPECT_EQ(s.selection.FirstNumber, 86u);
    EXPECT_EQ(s.selection.LastNumber, 282u);
    EXPECT_EQ(s.store.Entry(85).Time, 100207u);
    EXPECT_EQ(s.store.Entry(281).Date, 20080219u);
    EXPECT_EQ(s.store.Entry(281).Time, 85407u);

    // Switching to "All" and back searches again.
    const int scans = s.selection.Scans;
    s.selection.Mode = SelectAll;
    s.selection.DsdViewFromToParse();
    EXPECT_EQ(s.selection.LastIndex, 399u);
    s.selection.Mode = SelectDateTime;
    s.selection.DsdViewFromToParse();
    EXPECT_EQ(s.selection.Scans, scans + 2);
    EXPECT_EQ(s.selection.FirstIndex, 85u);
}

TEST(Selection, EmptySelectionsShowAndExtractNothing)
{
    // Records 1..100, 7 minutes apart from 18 Feb 2008 00:07:07, the file incomplete.
    QList<QByteArray> lines = StoreLines(100, true);
    lines.removeLast();
    struct TCase {
        const char *What;
        int Mode;
        QByteArray From, To;
        uint32_t FromDate, FromTime, ToDate, ToTime;
    };
    const TCase cases[] = {
        {"records 50:40", SelectRecordNumber, "50", "40", 0, 0, 0, 0},
        {"records 0:0", SelectRecordNumber, "0", "0", 0, 0, 0, 0},
        {"records above the newest", SelectRecordNumber, "500", "600", 0, 0, 0, 0},
        {"dates before the first record", SelectDateTime, "", "", 20070101, 0, 20080217, 235959},
        {"dates after the last record", SelectDateTime, "", "", 20090101, 0, 20090102, 0},
        {"an end before the start", SelectDateTime, "", "", 20080218, 120000, 20080218, 110000},
    };
    QTemporaryDir temp;
    for (const TCase &c : cases) {
        TStore s(lines.join());
        s.selection.Mode = c.Mode;
        s.selection.FromText = c.From;
        s.selection.ToText = c.To;
        s.selection.FromDate = c.FromDate;
        s.selection.FromTime = c.FromTime;
        s.selection.ToDate = c.ToDate;
        s.selection.ToTime = c.ToTime;
        s.selection.DsdScrollBitBtnClick(ScrollOldest);
        EXPECT_TRUE(s.selection.Empty()) << c.What;
        EXPECT_TRUE(s.Window().empty()) << c.What;
        const QString path = temp.filePath(QStringLiteral("out.csv"));
        const TDsdExtractResult r = DsdExtractCsvToFile(s.selection, QStringLiteral("1"), path, nullptr);
        EXPECT_FALSE(r.Done) << c.What;
        EXPECT_TRUE(r.NothingSelected) << c.What;
        EXPECT_EQ(r.Count, 0u) << c.What;
        EXPECT_EQ(r.Message, QString::fromLatin1(NoRecordsMatchText)) << c.What;
        EXPECT_FALSE(QFile::exists(path)) << c.What;
    }
    // A range of one record still holds it.
    TStore one(lines.join());
    one.selection.Mode = SelectRecordNumber;
    one.selection.FromText = one.selection.ToText = "1";
    one.selection.DsdScrollBitBtnClick(ScrollOldest);
    EXPECT_FALSE(one.selection.Empty());
    EXPECT_EQ(one.Window(), std::vector<int>{0});
}

TEST(CsvExtraction, DatesKeepEveryCharacterOfTheLocale)
{
    // Record 1 of 18 Feb 2008 00:07:07 and a record with a Latin-1 byte of the instrument's.
    QList<QByteArray> lines = StoreLines(2, false);
    lines[1] = DsdRecordLine(2, DsdRecordFixFormatting("2,2008/02/18,00:14:07,    1074,kg,GROSS,       0,kg,"
                                                       "TARE,2,\xb0p")) +
               '\n';
    const QByteArray bytes = lines.join();
    struct TCase {
        QLocale Locale;
        QByteArray Csv; // empty: the locale's own texts, UTF-8
    };
    const TCase cases[] = {
        // English: the bytes as ever; an instrument byte outside ASCII is UTF-8 like the line.
        {QLocale(QLocale::English, QLocale::UnitedKingdom),
         "1,18/02/2008,00:07:07,1037,kg,GROSS,0,kg,TARE,1,p\r\n"
         "2,18/02/2008,00:14:07,1074,kg,GROSS,0,kg,TARE,2,\xc2\xb0p\r\n"},
        {QLocale::c(), ""},
        {QLocale(QLocale::Arabic, QLocale::Egypt), ""},
        {QLocale(QLocale::Korean, QLocale::SouthKorea), ""},
        {QLocale(QLocale::Russian, QLocale::Russia), ""},
    };
    for (const TCase &c : cases) {
        TStore s(bytes, false);
        s.store.Locale = c.Locale;
        s.store.LoadBytes(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        ASSERT_TRUE(DsdExtractCsv(s.selection, QStringLiteral("1"), out, QStringLiteral("x"), nullptr).Done);
        const QString date = c.Locale.toString(QDate(2008, 2, 18), QLocale::ShortFormat);
        const QString csv = QString::fromUtf8(out.data());
        // "?" is what a locale's character forced into Latin-1 turns into (times too: 오전, م).
        EXPECT_TRUE(csv.startsWith(QStringLiteral("1,") + date + ',')) << csv.toStdString();
        EXPECT_FALSE(csv.contains('?')) << csv.toStdString();
        EXPECT_TRUE(csv.contains(QStringLiteral(u"\u00b0p"))) << csv.toStdString();
        if (!c.Csv.isEmpty()) {
            EXPECT_EQ(out.data(), c.Csv);
        }
        // The window shows the same text.
        EXPECT_EQ(QString::fromUtf8(s.selection.DsdRecordWindowPopulate().front().Text) + "\r\n",
                  csv.section('\n', 0, 0) + '\n');
    }
}

TEST(CsvExtraction, LinesAreTheWindowLinesOfTheSelection)
{
    QList<QByteArray> lines = StoreLines(30, true);
    lines[4] = ScrambleLine(UnscrambleLine(lines[4].chopped(1)).replace("GROSS", "NET")) + "\n";
    lines.removeLast(); // incomplete
    TStore s(lines.join());
    s.selection.Mode = SelectRecordNumber;
    s.selection.FromText = "3";
    s.selection.ToText = "7";
    s.selection.WindowLines = 100;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    TRecordingProgress progress;
    const TDsdExtractResult r =
        DsdExtractCsv(s.selection, QStringLiteral("       123"), out, QStringLiteral("x.csv"), &progress);
    EXPECT_TRUE(r.Done);
    EXPECT_EQ(r.Count, 5u);
    EXPECT_EQ(r.Message, QStringLiteral("Succesfully extracted 5 records to\r\nx.csv"));
    QByteArray expected;
    for (const TDsdWindowLine &line : s.selection.DsdRecordWindowPopulate())
        expected += line.Text + "\r\n";
    EXPECT_EQ(out.data(), expected + "*****,TAMPER: FILE INCOMPLETE\r\n"); // marker whatever the range
    EXPECT_TRUE(out.data().contains("\r\n*****,RECORD TAMPER,5,18/02/2008,00:35:07,1185,kg,NET,"));
    EXPECT_EQ(progress.Calls,
              (QStringList{QStringLiteral("range 1 3 10000"),
                           QStringLiteral("show Instrument Serial Number: 123|Extracting Records "
                                          "from 3 to 7|3"),
                           QStringLiteral("hide")}));
    EXPECT_EQ(DsdCsvFileName(QStringLiteral("       123")), QStringLiteral("Instrument_123.csv"));

    s.selection.FromText = s.selection.ToText = "9";
    QBuffer one;
    one.open(QIODevice::WriteOnly);
    EXPECT_EQ(DsdExtractCsv(s.selection, QStringLiteral("1"), one, QStringLiteral("y"), nullptr).Message,
              QStringLiteral("Succesfully extracted 1 record to\r\ny"));

    QBuffer none;
    none.open(QIODevice::WriteOnly);
    EXPECT_EQ(DsdExtractCsv(s.selection, QStringLiteral("   "), none, QString(), nullptr).Message,
              QString::fromLatin1(NoSerialSelectedText));
    TStore empty(QByteArray{});
    EXPECT_EQ(DsdExtractCsv(empty.selection, QStringLiteral("1"), none, QString(), nullptr).Message,
              QString::fromLatin1(NoRecordsMatchText));
    EXPECT_TRUE(none.data().isEmpty());
}

TEST(CsvExtraction, ProgressCancelAndWriteFailures)
{
    TStore s(StoreBytes(45000, false), false);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    TRecordingProgress progress;
    TDsdExtractResult r =
        DsdExtractCsv(s.selection, QStringLiteral("5"), out, QStringLiteral("f"), &progress);
    EXPECT_EQ(r.Count, 45000u);
    EXPECT_TRUE(progress.Calls.contains(QStringLiteral("step 20000 9999")));
    EXPECT_TRUE(progress.Calls.contains(QStringLiteral("step 40000 19999")));

    progress.CancelAtStep = true; // the cancel is seen at the first progress update
    QBuffer cut;
    cut.open(QIODevice::WriteOnly);
    r = DsdExtractCsv(s.selection, QStringLiteral("5"), cut, QStringLiteral("f"), &progress);
    EXPECT_TRUE(r.Done);
    EXPECT_TRUE(r.Cancelled);
    EXPECT_EQ(r.Count, 20000u);
    EXPECT_EQ(r.Message, QString::fromLatin1(ExtractionCancelledText));
    EXPECT_EQ(cut.data().count('\n'), 20000);

    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("out.csv"));
    ASSERT_TRUE(WriteBytes(path, "previous"));
    r = DsdExtractCsvToFile(s.selection, QStringLiteral("5"),
                            temp.filePath(QStringLiteral("no/such/dir/x.csv")), nullptr);
    EXPECT_FALSE(r.Done);
    EXPECT_TRUE(r.Message.startsWith(QStringLiteral("Could not create ")));
    // Nothing to extract: the old file stays as it was.
    TStore empty(QByteArray{});
    r = DsdExtractCsvToFile(empty.selection, QStringLiteral("5"), path, nullptr);
    EXPECT_FALSE(r.Done);
    EXPECT_EQ(ReadBytes(path), "previous");
    r = DsdExtractCsvToFile(s.selection, QStringLiteral("5"), path, nullptr);
    EXPECT_TRUE(r.Done);
    EXPECT_EQ(ReadBytes(path).count('\n'), 45000);
}

namespace
{
class TRecordingSink : public TDsdLineSink
{
public:
    void PrintLine(const QByteArray &text, bool red) override { Lines += (red ? "R:" : "") + text; }
    void NewPage() override { Lines += "<FF>"; }
    QList<QByteArray> Lines;
};
} // namespace

TEST(PrintExtraction, PageArithmetic)
{
    TDsdPrintLayout layout = DsdPrintLayout(10, 600, 6600, 0, 99);
    EXPECT_EQ(layout.LineHeight, 93); // (10 * 600 / 72) * 9 / 8
    EXPECT_EQ(layout.LinesPerPage, 66);
    EXPECT_EQ(layout.Records, 100u);
    EXPECT_EQ(layout.PageCount, 2u);
    EXPECT_FALSE(layout.AskFirst);
    EXPECT_FALSE(DsdPrintLayout(10, 600, 6600, 10, 10 + 50 * 66 - 2).AskFirst); // 50 pages
    layout = DsdPrintLayout(10, 600, 6600, 10, 10 + 50 * 66 - 1);               // 51 pages
    EXPECT_TRUE(layout.AskFirst);
    EXPECT_EQ(layout.PageCount, 51u);
    EXPECT_EQ(DsdPrintLayout(10, 600, 6600, 5, 4).Records, 0u);    // an empty selection
    EXPECT_EQ(DsdPrintLayout(10, 600, 100, 0, 9).LinesPerPage, 1); // a tiny page still prints
    EXPECT_EQ(DsdPrintLayout(0, 0, 100, 0, 9).LineHeight, 1);

    EXPECT_EQ(DsdClampFontSize(30), 16);
    EXPECT_EQ(DsdClampFontSize(2), 6);
    EXPECT_EQ(DsdClampMargin(-5), 0);
    EXPECT_EQ(DsdClampMargin(80), 50);
    EXPECT_EQ(
        DsdPrintWarningText(3300, QStringLiteral("Records 1 to 3300"), 51),
        QStringLiteral(
            " WARNING: you have requested 3300 records.\r\n\r\n Records 1 to 3300\r\n\r\n >>>>> THIS WILL "
            "REQUIRE  51 PAGES. <<<<<\r\n\r\n Click \"Yes\" to start printing, else \"Cancel\" then "
            "select a smaller range of records."));
}

TEST(PrintExtraction, PagesOfAPrintout)
{
    TDsdPrintLayout layout = DsdPrintLayout(10, 72, 8 * 11, 0, 2); // line height 11, 8 lines: 4 per page
    layout.LinesPerPage = 2;
    layout.PageCount = 2;
    TRecordingSink sink;
    TDsdPrintPager pager(sink, layout, 2, "Instrument Serial Number:123", "Report Date:D", "Records 1 to 3",
                         VerdictRecordTamper);
    pager.PrintRecordLine("a", false);
    pager.PrintRecordLine("b", true);
    pager.PrintRecordLine("c", false);
    pager.PrintRecordLine("EOJ", false);
    const QList<QByteArray> expected = {" ",
                                        "  Instrument Serial Number:123  Records 1 to 3",
                                        "R:  ***** FILE SHOWS EVIDENCE OF TAMPERING *****",
                                        "  a",
                                        "R:  b",
                                        "R:  ***** FILE SHOWS EVIDENCE OF TAMPERING *****",
                                        "  Report Date:D  Page:1 of 2",
                                        "<FF>",
                                        "  Instrument Serial Number:123  Records 1 to 3",
                                        "R:  ***** FILE SHOWS EVIDENCE OF TAMPERING *****",
                                        "  c",
                                        "",
                                        "",
                                        "  Report Date:D  Page:2 of 2"};
    EXPECT_EQ(sink.Lines, expected);

    TRecordingSink nothing;
    TDsdPrintPager empty(nothing, layout, 0, "s", "d", "r", 0);
    empty.PrintRecordLine("EOJ", false);
    EXPECT_TRUE(nothing.Lines.isEmpty());
}
