// Record lines and the loader: exact stored bytes, number parsing, normalising, and the verdicts
// a loaded file gets for each kind of damage.
#include "datastore/recordstore.h"
#include "store_fixture.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

uint32_t Parse(const QByteArray &text, int base, char terminator, bool *ok = nullptr,
               qsizetype *stop = nullptr)
{
    const char *p = text.constData();
    uint32_t value = 123;
    const bool r = ParseBaseNumber(p, text.constData() + text.size(), base, terminator, value);
    if (ok)
        *ok = r;
    if (stop)
        *stop = p - text.constData();
    return value;
}

// A store over in-memory bytes, plain lines unless told otherwise.
struct TLoaded {
    explicit TLoaded(const QByteArray &bytes, bool scramble = false)
    {
        store.ScrambleLines = scramble;
        store.Locale = QLocale(QLocale::English, QLocale::UnitedKingdom);
        store.Reporter = &reporter;
        store.LoadBytes(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    uint8_t Verdict(uint32_t i) const { return store.Entry(i).Verdict; }
    TRecordingReporter reporter;
    TDsdRecordStore store;
};

} // namespace

TEST(RecordNumbers, ParseBaseNumber)
{
    bool ok = false;
    qsizetype stop = 0;
    EXPECT_EQ(Parse("1Z141Z2,", 36, ',', &ok, &stop), 0xFFFFFFFEu);
    EXPECT_TRUE(ok);
    EXPECT_EQ(stop, 7);
    EXPECT_EQ(Parse("  1 2 3,", 10, ',', &ok), 123u); // leading and inner spaces skipped
    EXPECT_TRUE(ok);
    EXPECT_EQ(Parse("zz;", 36, ';', &ok), 35u * 36 + 35);
    EXPECT_EQ(Parse("12;", 10, ',', &ok, &stop), 12u); // stopped on something else
    EXPECT_FALSE(ok);
    EXPECT_EQ(stop, 2);
    EXPECT_EQ(Parse("12", 10, ',', &ok), 12u); // the end of the text is no terminator
    EXPECT_FALSE(ok);
    EXPECT_EQ(Parse("5,", 1, ',', &ok), 0u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Parse("5,", 37, ',', &ok), 0u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Parse("4294967296,", 10, ',', &ok), 0u); // wraps
    EXPECT_TRUE(ok);
    // After 20 characters it gives up looking for the terminator and succeeds.
    EXPECT_EQ(Parse(QByteArray(25, '1') + ",", 2, ',', &ok, &stop), 0xFFFFFu);
    EXPECT_TRUE(ok);
    EXPECT_EQ(stop, 20);
    // At most 20 leading spaces.
    EXPECT_EQ(Parse(QByteArray(20, ' ') + "7,", 10, ',', &ok), 7u);
    EXPECT_TRUE(ok);

    EXPECT_EQ(UnsignedToBase(0, 36), "0");
    EXPECT_EQ(UnsignedToBase(0xFFFFFFFFu, 16), "FFFFFFFF");
    EXPECT_EQ(UnsignedToBase(0xFFFFFFFEu, 36), "1Z141Z2");
    EXPECT_EQ(UnsignedToBase(5, 2), "101");
    EXPECT_EQ(UnsignedToBase(5, 1), "");
    EXPECT_EQ(UnsignedToBase(5, 37), "");
}

TEST(RecordLines, Normalising)
{
    EXPECT_EQ(DsdRecordFixFormatting("1,2008/02/18,15:25:21,    2975,kg,GROSS,       0,kg,TARE,19,p"),
              "1,20080218,152521,2975,kg,GROSS,0,kg,TARE,19,p");
    // A minus sign keeps its number; a comma met while skipping does not start another skip.
    EXPECT_EQ(DsdRecordFixFormatting("2,2008/02/18,09:05:01,-   25,kg, ,  x"),
              "2,20080218,090501,-25,kg,,  x");
    EXPECT_EQ(DsdRecordFixFormatting("3,2008/02/18,  - 4,kg"), "3,20080218,-4,kg");
    // The time as the last field: nothing after it is kept, and nothing is added.
    EXPECT_EQ(DsdRecordFixFormatting("4,2009/12/31,23:59:58"), "4,20091231,235958");
    EXPECT_EQ(DsdRecordFixFormatting("garbage"), "garbage");
}

TEST(RecordLines, ExactStoredBytes)
{
    const QByteArray record =
        DsdRecordFixFormatting("1,2008/02/18,15:25:21,    2975,kg,GROSS,       0,kg,TARE,19,p");
    EXPECT_EQ(DsdRecordLine(1, record), "1DLJ,1,1,20080218,152521,2975,kg,GROSS,0,kg,TARE,19,p");
    EXPECT_EQ(DsdRecordLine(1, DsdTrailerRecord(1)), "LJN,1,1,20080132,240101,1321,kg,GROSS,0,kg,TARE,3,px");
    // Byte i (1-based) goes up by i + 5; the LF is never touched.
    EXPECT_EQ(ScrambleLine("1DLJ,").toHex(), QByteArray("7KTS6").toHex());
    EXPECT_EQ(ScrambleLine(QByteArray(1, char(0xFA))), QByteArray(1, char(0x00)));
    QByteArray all(300, 0);
    for (int i = 0; i < all.size(); ++i)
        all[i] = char(i * 7);
    EXPECT_EQ(UnscrambleLine(ScrambleLine(all)), all);

    QTemporaryDir temp;
    QFile file(temp.filePath(QStringLiteral("f")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QStringList logged;
    EXPECT_TRUE(DsdRecordWriteToFile(file, 1, record, true, [&](const QString &t) { logged += t; }));
    EXPECT_TRUE(DsdRecordWriteToFile(file, 2, record, false));
    file.close();
    EXPECT_EQ(ReadBytes(file.fileName()),
              ScrambleLine(DsdRecordLine(1, record)) + "\n" + DsdRecordLine(2, record) + "\n");
    EXPECT_EQ(logged,
              QStringList{QStringLiteral(">>>:\"1DLJ,1,1,20080218,152521,2975,kg,GROSS,0,kg,TARE,19,p\"")});

    QFile readOnly(file.fileName());
    ASSERT_TRUE(readOnly.open(QIODevice::ReadOnly));
    EXPECT_FALSE(DsdRecordWriteToFile(readOnly, 3, record, true));
}

TEST(RecordLines, CheckValueCoversEverythingAfterTheFirstComma)
{
    uint32_t last = 0;
    const QByteArray line = DsdRecordLine(1, "7,20080218,152521,1,kg");
    EXPECT_EQ(DsdRecordParse(line.constData(), line.size(), last).Verdict, 0);
    // Two lines differing only in the check field compute the same value: the override passes,
    // anything else is tamper.
    const QByteArray body = line.mid(line.indexOf(','));
    last = 0;
    const QByteArray overridden = "V1J" + body;
    EXPECT_EQ(DsdRecordParse(overridden.constData(), overridden.size(), last).Verdict, 0);
    last = 0;
    const QByteArray wrong = "V1K" + body;
    EXPECT_EQ(DsdRecordParse(wrong.constData(), wrong.size(), last).Verdict, VerdictRecordTamper);
    // The override passes whatever follows.
    last = 0;
    const QByteArray nonsense = "v1j,1,7,20080218,152521,anything at all";
    EXPECT_EQ(DsdRecordParse(nonsense.constData(), nonsense.size(), last).Verdict, 0);

    // Fields: a missing comma after the time is a format fault, so is an unreadable check field.
    last = 0;
    const QByteArray noRest = DsdRecordLine(1, "7,20080218,152521");
    const TDsdParsedLine r = DsdRecordParse(noRest.constData(), noRest.size(), last);
    EXPECT_EQ(r.Verdict, VerdictRecordFormat);
    EXPECT_EQ(r.Number, 7u);
    EXPECT_EQ(r.Date, 20080218u);
    EXPECT_EQ(r.Time, 0u);
    last = 0;
    const QByteArray noCheck = "#,1,7,20080218,152521,x";
    EXPECT_EQ(DsdRecordParse(noCheck.constData(), noCheck.size(), last).Verdict,
              VerdictRecordFormat | VerdictRecordTamper | VerdictFileTamper);
}

TEST(RecordLines, SequenceTest)
{
    uint32_t last = 0;
    auto verdict = [&](uint32_t seq) {
        const QByteArray line = DsdRecordLine(seq, "1,20080218,000000,x");
        return DsdRecordParse(line.constData(), line.size(), last).Verdict;
    };
    EXPECT_EQ(verdict(2), VerdictFileTamper); // the first line must be 1
    last = 0;
    EXPECT_EQ(verdict(1), 0);
    EXPECT_EQ(verdict(SequenceWildcard), 0); // passes whatever came before
    EXPECT_EQ(verdict(0xFFFFFFFFu), 0);      // its successor
    EXPECT_EQ(verdict(SequenceWildcard), 0);
    EXPECT_EQ(verdict(5), VerdictFileTamper);
    EXPECT_EQ(verdict(6), 0);
}

TEST(RecordStore, WrittenFileReloadsClean)
{
    for (bool scramble : {true, false}) {
        TLoaded l(StoreBytes(1000, scramble), scramble);
        EXPECT_EQ(l.store.FileVerdict(), 0);
        EXPECT_EQ(l.store.RecordCount(), 1000u);
        EXPECT_EQ(l.store.Entry(0).Number, 1u);
        EXPECT_EQ(l.store.Entry(999).Number, 1000u);
        EXPECT_EQ(l.store.Entry(0).Date, 20080218u);
        EXPECT_EQ(l.store.Entry(0).Time, 7u + 420u / 60 * 100);
        EXPECT_EQ(l.store.StatusText, QStringLiteral("Found 1000 records"));
        EXPECT_FALSE(l.store.StatusTamper);
        EXPECT_TRUE(l.reporter.Errors.isEmpty());
        // The index grew by a third at a time from 5000 only when needed.
        EXPECT_EQ(l.store.RecordCapacity(), 5000u);
    }
    TLoaded big(StoreBytes(12000, true), true);
    EXPECT_EQ(big.store.RecordCount(), 12000u);
    EXPECT_EQ(big.store.RecordCapacity(), 5000u + 1666u + 2222u + 2962u + 3950u);
    EXPECT_EQ(big.store.FileVerdict(), 0);
}

TEST(RecordStore, DamageVerdicts)
{
    const QList<QByteArray> lines = StoreLines(5, false);
    auto join = [](QList<QByteArray> l) { return l.join(); };

    { // an edited byte after the check field
        QList<QByteArray> l = lines;
        l[2][l[2].indexOf("kg")] = 'K';
        TLoaded t(join(l));
        EXPECT_EQ(t.Verdict(2), VerdictRecordTamper);
        EXPECT_EQ(t.Verdict(1) | t.Verdict(3), 0);
        EXPECT_EQ(t.store.FileVerdict(), VerdictRecordTamper);
        EXPECT_TRUE(t.store.StatusTamper);
        EXPECT_EQ(t.store.StatusText, QString::fromLatin1(TamperEvidenceText));
        EXPECT_EQ(
            t.reporter.Errors,
            QStringList{QStringLiteral("***** FILE SHOWS EVIDENCE OF TAMPERING *****\r\n found 5 records")});
    }
    { // neighbours swapped: both and the line after them
        QList<QByteArray> l = lines;
        l.swapItemsAt(1, 2);
        TLoaded t(join(l));
        EXPECT_EQ(t.Verdict(0), 0);
        EXPECT_EQ(t.Verdict(1), VerdictFileTamper);
        EXPECT_EQ(t.Verdict(2), VerdictFileTamper);
        EXPECT_EQ(t.Verdict(3), VerdictFileTamper);
        EXPECT_EQ(t.Verdict(4), 0);
    }
    { // a deleted line: the one after the gap
        QList<QByteArray> l = lines;
        l.removeAt(1);
        TLoaded t(join(l));
        EXPECT_EQ(t.store.RecordCount(), 4u);
        EXPECT_EQ(t.Verdict(1), VerdictFileTamper);
        EXPECT_EQ(t.store.FileVerdict(), VerdictFileTamper);
    }
    { // the trailer removed
        QList<QByteArray> l = lines;
        l.removeLast();
        TLoaded t(join(l));
        EXPECT_EQ(t.store.RecordCount(), 5u);
        EXPECT_EQ(t.store.FileVerdict(), VerdictFileIncomplete);
        EXPECT_EQ(t.Verdict(5), VerdictFileIncomplete); // on the end marker, not on a record
    }
    { // the last record removed, or moved behind the trailer: the trailer no longer matches it
        QList<QByteArray> l = lines;
        l.removeAt(4);
        TLoaded t(join(l));
        EXPECT_EQ(t.Verdict(3), VerdictLastEntryTamper);
        QList<QByteArray> s = lines;
        s.swapItemsAt(4, 5);
        TLoaded u(join(s));
        ASSERT_EQ(u.store.RecordCount(), 5u); // the moved record still shows, marked
        EXPECT_EQ(u.Verdict(4), VerdictFileTamper);
        EXPECT_EQ(u.store.FileVerdict(), VerdictFileTamper | VerdictFileIncomplete);
        EXPECT_EQ(u.store.RawLine(3), lines[3].chopped(1)); // the trailer between them is no part of it
    }
    { // a trailer edited after its time field is not noticed
        QList<QByteArray> l = lines;
        l[5].replace("GROSS", "GRASS");
        TLoaded t(join(l));
        EXPECT_EQ(t.store.FileVerdict(), 0);
    }
    { // lines after a trailer are not hidden: they load, the first one marked
        TLoaded t(join(lines) + "garbage\n" + lines[0]);
        ASSERT_EQ(t.store.RecordCount(), 7u);
        EXPECT_EQ(t.Verdict(4), 0);
        EXPECT_TRUE(t.Verdict(5) & VerdictFileTamper);
        EXPECT_EQ(t.Verdict(6), 0); // seq 1 follows the unreadable seq of the garbage
        EXPECT_TRUE(t.store.FileVerdict() & VerdictFileIncomplete);
        // Two uploads' worth after one trailer: only the last trailer ends the file.
        TLoaded u(join(lines) + join(lines));
        ASSERT_EQ(u.store.RecordCount(), 10u);
        EXPECT_EQ(u.Verdict(5), VerdictFileTamper);
        EXPECT_EQ(u.store.FileVerdict(), VerdictFileTamper);
    }
    { // a last line without LF is not a line
        QByteArray bytes = join(lines.mid(0, 3));
        bytes.chop(1);
        TLoaded t(bytes);
        EXPECT_EQ(t.store.RecordCount(), 2u);
        EXPECT_EQ(t.store.FileVerdict(), VerdictFileIncomplete);
    }
    { // a line over 199 bytes is checked on its first 199 only
        QList<QByteArray> l = lines;
        const QByteArray longRecord =
            DsdRecordFixFormatting(InstrumentRecord(3)) + "," + QByteArray(200, 'x');
        l[2] = DsdRecordLine(3, longRecord) + "\n";
        TLoaded t(join(l));
        EXPECT_EQ(t.Verdict(2), VerdictRecordTamper);
        EXPECT_EQ(t.Verdict(3), 0);
        EXPECT_EQ(t.store.RawLine(2).size(), 199);
        EXPECT_TRUE(t.store.DsdRecordObtain(2).startsWith("*****,RECORD TAMPER,3,18/02/2008,00:21:07,"));
    }
    { // an empty file
        TLoaded t(QByteArray{});
        EXPECT_EQ(t.store.RecordCount(), 0u);
        EXPECT_EQ(t.store.FileVerdict(), VerdictFileIncomplete);
        EXPECT_EQ(
            t.reporter.Errors,
            QStringList{QStringLiteral("***** FILE SHOWS EVIDENCE OF TAMPERING *****\r\n found 0 records")});
        EXPECT_EQ(t.store.DsdRecordObtain(0), QByteArray());
    }
    { // a scrambled file read as plain, and the other way round, is all tamper
        TLoaded t(StoreBytes(5, true), false);
        EXPECT_NE(t.store.FileVerdict() & VerdictRecordTamper, 0);
        TLoaded u(StoreBytes(5, false), true);
        EXPECT_NE(u.store.FileVerdict() & VerdictRecordTamper, 0);
    }
}

TEST(RecordStore, DisplayText)
{
    QList<QByteArray> lines = StoreLines(3, true);
    lines[1] =
        ScrambleLine("V1J,2,2,20081340,256199,12,kg") + "\n";  // override check, impossible date and time
    lines[2] = ScrambleLine("V1J,3,3,20080219,090000") + "\n"; // no field after the time
    TLoaded t(lines.join(), true);
    EXPECT_EQ(t.store.DsdRecordObtain(0), "1,18/02/2008,00:07:07,1037,kg,GROSS,0,kg,TARE,1,p");
    EXPECT_EQ(t.store.DsdRecordObtain(1), "2,20081340,256199,12,kg");
    EXPECT_EQ(t.store.DsdRecordObtain(2), "*****,RECORD FORMAT,3,20080219,090000");
    EXPECT_EQ(t.store.DsdRecordObtain(3), "");
    EXPECT_EQ(VerdictPrefix(0x1F),
              "*****,FILE TAMPER,TAMPER: FILE INCOMPLETELAST ENTRY TAMPER,RECORD TAMPER,RECORD FORMAT,");

    // Dates follow the locale's short format; times its long format without a time zone.
    t.store.Locale = QLocale(QLocale::English, QLocale::UnitedStates);
    t.store.LoadBytes(lines.join().constData(), static_cast<std::size_t>(lines.join().size()));
    EXPECT_EQ(t.store.DsdRecordObtain(0), "1,2/18/08,12:07:07 AM,1037,kg,GROSS,0,kg,TARE,1,p");
}

TEST(RecordStore, FileLoading)
{
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("store"));
    TRecordingReporter reporter;
    TDsdRecordStore store;
    store.Reporter = &reporter;
    QStringList log;
    store.Log = [&](const QString &t) { log += t; };

    EXPECT_FALSE(store.DsdMemMapFileInit(path, QStringLiteral("123")));
    const QString notOpen = QStringLiteral("Error: file did not open properly: ") + path;
    EXPECT_EQ(reporter.Errors, QStringList{notOpen});
    EXPECT_EQ(store.WindowMessages, QStringList{notOpen});

    const QByteArray bytes = StoreBytes(10, true);
    ASSERT_TRUE(WriteBytes(path, bytes));
    reporter.Errors.clear();
    store.MaxStoreFileSize = static_cast<uint32_t>(bytes.size());
    EXPECT_TRUE(store.DsdMemMapFileInit(path, QStringLiteral("123")));
    EXPECT_EQ(store.RecordCount(), 10u);
    EXPECT_EQ(store.FileVerdict(), 0);
    EXPECT_TRUE(reporter.Errors.isEmpty());
    EXPECT_EQ(log.last(), QStringLiteral("file opened and mapped OK: found 10 records"));

    store.MaxStoreFileSize = static_cast<uint32_t>(bytes.size() - 1);
    EXPECT_FALSE(store.DsdMemMapFileInit(path, QStringLiteral("123")));
    EXPECT_EQ(store.RecordCount(), 0u);
    EXPECT_EQ(reporter.Errors,
              QStringList{QStringLiteral("file size exceeds max allowed (%1)").arg(bytes.size() - 1)});
}

TEST(RecordStore, AllocateOrReport)
{
    TRecordingReporter reporter;
    TDsdBlock block = AllocateOrReport(16, "test", true, &reporter);
    EXPECT_TRUE(block);
    FreeBlock(block);
    EXPECT_FALSE(block);
    FreeBlock(block); // nothing to free: nothing happens
    const std::size_t huge = std::size_t(1) << 62;
    EXPECT_FALSE(AllocateOrReport(huge, "huge", false, &reporter));
    ASSERT_EQ(reporter.Errors.size(), 1);
    EXPECT_EQ(reporter.Errors[0],
              QStringLiteral("ERROR:\r\nCould not allocate (\"malloc\") %1 bytes of memory for "
                             "\"huge\".\r\nContinuing...")
                  .arg(huge));
    TStderrReporter stderrReporter;
    EXPECT_EXIT(AllocateOrReport(huge, "DsdMemMapFileInit", true, &stderrReporter),
                testing::ExitedWithCode(1), "TERMINATING NOW");
}

TEST(RecordStore, LongLinesWhoseScramblingMakesAnLf)
{
    // Byte i of a line goes up by i + 5: an 'x' at position 141 and an 'a' at 164 become LFs.
    QList<QByteArray> lines = StoreLines(4, false);
    const QByteArray base = DsdRecordFixFormatting(InstrumentRecord(2)) + ",";
    QByteArray record = base + QByteArray(190 - base.size(), 'x');
    QByteArray line = DsdRecordLine(2, record);
    const qsizetype checkLength = line.size() - record.size();
    for (qsizetype i = 0; i < line.size(); ++i)
        if (i + 1 >= 150)
            line[i] = 'a'; // keeps position 141 an 'x', puts an 'a' at 164
    record = line.mid(checkLength);
    line = DsdRecordLine(2, record);
    ASSERT_EQ(line.size(), 190 + checkLength - base.size() + base.size());
    const QByteArray scrambled = ScrambleLine(line);
    ASSERT_EQ(scrambled.count('\n'), 2);

    QList<QByteArray> stored;
    for (const QByteArray &l : lines)
        stored << ScrambleLine(l.chopped(1)) + "\n";
    stored[1] = scrambled + "\n";
    TLoaded t(stored.join(), true);
    EXPECT_EQ(t.store.FileVerdict(), 0);
    ASSERT_EQ(t.store.RecordCount(), 4u);
    EXPECT_EQ(t.store.RawLine(1), line.left(MaxLineExamined));
    const QByteArray shown = t.store.DsdRecordObtain(1);
    EXPECT_TRUE(shown.startsWith("2,18/02/2008,00:14:07,1074,kg,GROSS,0,kg,TARE,2,p,xxx"))
        << shown.constData();
    EXPECT_TRUE(shown.endsWith("xxxa" + QByteArray(46, 'a'))) << shown.constData();

    // Damage in such a line still shows, and the pieces are not taken for records.
    stored[1][20] = char(stored[1][20] + 1);
    TLoaded d(stored.join(), true);
    EXPECT_EQ(d.store.RecordCount(), 6u);
    EXPECT_NE(d.store.FileVerdict() & VerdictRecordTamper, 0);
}

TEST(RecordStore, FieldsOutlookAgreesWithTheFullCheck)
{
    // Whatever follows a prefix the loader gave up on, the whole line fails its fields; after a
    // settled prefix the fields read the same seq and pass, whatever follows.
    QList<QByteArray> prefixes;
    for (const QByteArray &stored : StoreLines(3, false)) {
        const QByteArray line = stored.chopped(1);
        for (qsizetype cut = 0; cut <= line.size(); ++cut) {
            prefixes << line.left(cut);
            if (cut < line.size()) // one byte changed at the cut
                for (const char c : {'\n', ' ', ',', 'z', '\x04', '-'})
                    prefixes << line.left(cut) + c;
        }
    }
    prefixes << QByteArray(25, ' ') << QByteArray(25, '7') + ","
             << "  1 2 ,zz,";
    const QList<QByteArray> tails = {"", ",", "0", " ", "1,2,3,4,5,6,kg", QByteArray(30, '9'), "x,", "\n"};
    int failed = 0, settled = 0;
    for (const QByteArray &prefix : prefixes) {
        uint32_t seq = 12345;
        const TFieldsOutlook outlook =
            DsdRecordFieldsOutlook(prefix.constData(), static_cast<std::size_t>(prefix.size()), seq);
        failed += outlook == TFieldsOutlook::Failed;
        settled += outlook == TFieldsOutlook::Settled;
        for (const QByteArray &tail : tails) {
            const QByteArray line = prefix + tail;
            uint32_t last = 0;
            const TDsdParsedLine parsed =
                DsdRecordParse(line.constData(), static_cast<std::size_t>(line.size()), last);
            if (outlook == TFieldsOutlook::Failed) {
                EXPECT_NE(parsed.Verdict & VerdictRecordFormat, 0) << line.constData();
            }
            if (outlook == TFieldsOutlook::Settled) {
                EXPECT_EQ(parsed.Verdict & VerdictRecordFormat, 0) << line.constData();
                EXPECT_EQ(parsed.Seq, seq) << line.constData();
            }
        }
    }
    EXPECT_GT(failed, 50);
    EXPECT_GT(settled, 50);
}

TEST(RecordStore, BadlyDamagedScrambledFilesLoadAndShowIt)
{
    // Lines broken into many short pieces, and a file of nothing but LFs: each piece is a line
    // of its own and the file shows tampering. Before, every piece was re-checked joined with up
    // to 199 bytes of what followed, which took minutes on a few megabytes. Such a file is read
    // only as far as MaxUnreadableLines lines in a row that hold no record, and says so.
    QByteArray pieces;
    for (const QByteArray &stored : StoreLines(20000, true))
        for (qsizetype at = 0; at < stored.size(); at += 6)
            pieces += stored.mid(at, 6) + (stored.mid(at, 6).endsWith('\n') ? "" : "\n");
    const QByteArray lfs(2'000'000, '\n');
    for (const QByteArray *bytes : std::initializer_list<const QByteArray *>{&pieces, &lfs}) {
        TLoaded t(*bytes, true);
        EXPECT_EQ(t.store.RecordCount(), TDsdRecordStore::MaxUnreadableLines);
        EXPECT_EQ(t.store.WindowMessages.size(), 1);
        EXPECT_NE(t.store.FileVerdict() & VerdictRecordFormat, 0);
        EXPECT_TRUE(t.store.StatusTamper);
    }
}
