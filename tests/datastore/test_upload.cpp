// Upload from the simulated instrument over loopback: first, empty, resumed, cancelled and
// damaged-file uploads, and the files they leave behind.
#include "datastore/progress.h"
#include "datastore/recordstore.h"
#include "datastore/storelayout.h"
#include "datastore/upload.h"
#include "link/transact.h"
#include "settings/device.h"
#include "store_fixture.h"
#include "vornsim.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{

class TCancellingProgress : public TProgress
{
public:
    void SetProgressRange(uint32_t min, uint32_t max, uint32_t) override { Range = {min, max}; }
    void ShowProgress(const QString &a, const QString &b, const QString &) override
    {
        Shown << a + "|" + b;
        Cancel = false;
    }
    void StepProgress(const QString &, uint32_t) override
    {
        if (++Steps == CancelAtStep)
            Cancel = true;
    }
    void HideProgress() override { Hidden = true; }
    bool CancelRequested() const override { return Cancel; }
    QStringList Shown;
    QPair<uint32_t, uint32_t> Range;
    int Steps = 0;
    int CancelAtStep = -1;
    bool Cancel = false;
    bool Hidden = false;
};

class UploadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Cfg.TcpPort = 0;
        Cfg.Records = 25;
        Cfg.FirstRecord = 101;
    }
    void Connect()
    {
        Sim = std::make_unique<TVornSim>(Cfg);
        QString error;
        ASSERT_TRUE(Sim->Start(&error)) << error.toStdString();
        auto link = std::make_unique<TIOIfaceSocket>();
        link->SetHostText(QStringLiteral("127.0.0.1"));
        link->SetPort(Sim->Port());
        Engine.SetLink(std::move(link));
        Engine.Reporter = &Reporter;
        Engine.Link()->Open();
        ASSERT_TRUE(PumpUntil([&] { return Engine.LinkOpen(); }));
        Device.OnExchange = [this](const QByteArray &r) { return Engine.TransactText(r); };
        Layout.SetStoreDir(Temp.filePath(QStringLiteral("store")));
        Upload.Reporter = &Reporter;
        Upload.Progress = &Progress;
    }
    QString StorePath() const { return Layout.DsdIsnToDataStoreName(QStringLiteral("1234567")); }
    // The store file loaded and checked.
    std::unique_ptr<TDsdRecordStore> Load(const QString &path)
    {
        auto store = std::make_unique<TDsdRecordStore>();
        store->Reporter = &LoadReporter;
        EXPECT_TRUE(store->DsdMemMapFileInit(path, QStringLiteral("1234567")));
        return store;
    }
    // Plain lines of a scrambled store file.
    QList<QByteArray> PlainLines(const QString &path)
    {
        QList<QByteArray> lines;
        for (const QByteArray &line : ReadBytes(path).split('\n'))
            if (!line.isEmpty())
                lines << UnscrambleLine(line);
        return lines;
    }
    void AddRecords(int n)
    {
        for (int i = 0; i < n; ++i)
            Sim->Instrument().Records().Append(QDateTime(QDate(2009, 1, 1), QTime(12, 0), Qt::UTC));
    }

    QTemporaryDir Temp;
    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    TTransactionEngine Engine;
    TDevice Device;
    TDsdStoreLayout Layout;
    TRecordingReporter Reporter, LoadReporter;
    TCancellingProgress Progress;
    TDsdUpload Upload{Engine, Device, Layout};
};

} // namespace

TEST_F(UploadTest, FirstEmptyAndResumedUploads)
{
    Connect();
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    EXPECT_EQ(Upload.Message, QStringLiteral("Uploaded 25 new records."));
    EXPECT_EQ(Reporter.Infos, QStringList{Upload.Message});
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
    EXPECT_EQ(Upload.StorePath, StorePath());
    EXPECT_EQ(Progress.Shown.last(),
              QStringLiteral("Instrument Serial Number: 1234567|Uploading Records from 101 to 125"));
    EXPECT_EQ(Progress.Range, qMakePair(50u, 62u));
    EXPECT_TRUE(Progress.Hidden);
    EXPECT_FALSE(Engine.SuppressUnknownErrors);

    // N record lines with seq 1..N, the instrument's records, then the trailer.
    QList<QByteArray> lines = PlainLines(StorePath());
    ASSERT_EQ(lines.size(), 26);
    for (int i = 0; i < 25; ++i) {
        const uint32_t n = 101 + i;
        EXPECT_EQ(lines[i],
                  DsdRecordLine(i + 1, DsdRecordFixFormatting(Sim->Instrument().Records().Text(n))));
    }
    EXPECT_EQ(lines[25], DsdRecordLine(25, "125,20080132,240101,1321,kg,GROSS,0,kg,TARE,3,px"));
    auto store = Load(StorePath());
    EXPECT_EQ(store->RecordCount(), 25u);
    EXPECT_EQ(store->FileVerdict(), 0);
    EXPECT_FALSE(QFile::exists(StorePath() + ".tmp"));
    EXPECT_FALSE(QFile::exists(StorePath() + ".bak"));
    EXPECT_EQ(Layout.StoredInstruments(), QStringList{QStringLiteral("   1234567")});

    // Nothing new: the files stay as they are.
    const QByteArray first = ReadBytes(StorePath());
    Reporter.Infos.clear();
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::NothingNew);
    EXPECT_EQ(Reporter.Infos, QStringList{QStringLiteral("No new records to upload from instrument.")});
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString(); // refusals kept quiet
    EXPECT_EQ(ReadBytes(StorePath()), first);
    EXPECT_FALSE(QFile::exists(StorePath() + ".bak"));
    EXPECT_FALSE(QFile::exists(StorePath() + ".tmp")); // no work file left behind

    // New records: the old lines, the new ones with seq going on, a new trailer; .bak is the old file.
    AddRecords(3);
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    EXPECT_EQ(Upload.Message, QStringLiteral("Uploaded 3 new records."));
    EXPECT_EQ(ReadBytes(StorePath() + ".bak"), first);
    lines = PlainLines(StorePath());
    ASSERT_EQ(lines.size(), 29);
    EXPECT_EQ(lines.mid(0, 25), PlainLines(StorePath() + ".bak").mid(0, 25));
    EXPECT_TRUE(lines[25].contains(",Q,126,20090101,120000,")) << lines[25].constData(); // seq 26
    EXPECT_EQ(lines[28], DsdRecordLine(28, "128,20080132,240101,1321,kg,GROSS,0,kg,TARE,3,px"));
    store = Load(StorePath());
    EXPECT_EQ(store->RecordCount(), 28u);
    EXPECT_EQ(store->FileVerdict(), 0);

    // One more: "record" without the s; the backup is the previous file and no longer the same inode.
    const QByteArray second = ReadBytes(StorePath());
    AddRecords(1);
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    EXPECT_EQ(Upload.Message, QStringLiteral("Uploaded 1 new record."));
    EXPECT_EQ(ReadBytes(StorePath() + ".bak"), second);
    struct stat a {
    }, b{};
    ASSERT_EQ(stat(QFile::encodeName(StorePath()).constData(), &a), 0);
    ASSERT_EQ(stat(QFile::encodeName(StorePath() + ".bak").constData(), &b), 0);
    EXPECT_NE(a.st_ino, b.st_ino);
}

TEST_F(UploadTest, CancelCommitsExactlyTheRecordsReceived)
{
    Connect();
    Progress.CancelAtStep = 8; // the oldest record, then seven more
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Incomplete);
    EXPECT_EQ(Upload.Message, QStringLiteral("Upload incomplete after record 108 (8 new records stored): "
                                             "cancelled by request. Upload again to continue."));
    EXPECT_EQ(Reporter.Infos.last(), Upload.Message);
    auto store = Load(StorePath());
    EXPECT_EQ(store->RecordCount(), 8u);
    EXPECT_EQ(store->FileVerdict(), 0);
    EXPECT_EQ(store->Entry(7).Number, 108u);

    Progress.CancelAtStep = -1; // the rest follows on
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    EXPECT_EQ(Upload.Message, QStringLiteral("Uploaded 17 new records."));
    store = Load(StorePath());
    EXPECT_EQ(store->RecordCount(), 25u);
    EXPECT_EQ(store->FileVerdict(), 0);
    for (uint32_t i = 0; i < 25; ++i)
        EXPECT_EQ(store->Entry(i).Number, 101 + i);
}

TEST_F(UploadTest, AStoreFileWithoutTrailerKeepsItsRecords)
{
    Connect();
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    // Cut the trailer off, and for a second case the LF of the last record too.
    QList<QByteArray> stored = ReadBytes(StorePath()).split('\n');
    stored.removeLast(); // after the final LF
    stored.removeLast(); // the trailer
    const QByteArray noTrailer = stored.join('\n') + '\n';
    ASSERT_TRUE(WriteBytes(StorePath(), noTrailer));
    AddRecords(2);
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    auto store = Load(StorePath());
    ASSERT_EQ(store->RecordCount(), 27u);
    EXPECT_EQ(store->Entry(24).Number, 125u); // the last old record is still there
    EXPECT_EQ(store->Entry(24).Verdict, 0);
    EXPECT_EQ(store->Entry(25).Verdict, VerdictFileTamper); // numbering started again
    EXPECT_EQ(store->Entry(26).Verdict, 0);
    EXPECT_EQ(store->FileVerdict(), VerdictFileTamper);
    EXPECT_TRUE(ReadBytes(StorePath()).startsWith(noTrailer));

    // An unfinished last line (no LF) is left out; every complete record line stays.
    ASSERT_TRUE(WriteBytes(StorePath(), noTrailer + "partial line without LF"));
    AddRecords(1);
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    EXPECT_TRUE(ReadBytes(StorePath()).startsWith(noTrailer));
    store = Load(StorePath());
    EXPECT_EQ(store->RecordCount(), 25u + 3u);
    EXPECT_EQ(store->Entry(27).Number, 128u);
}

TEST_F(UploadTest, DamagedStoreFilesLoseNoLine)
{
    Connect();
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    const QByteArray good = ReadBytes(StorePath());
    const qsizetype trailerStart = good.lastIndexOf('\n', good.size() - 2) + 1;
    struct TCase {
        const char *What;
        QByteArray Bytes;
        QByteArray Kept; // what the new store file must start with
        uint32_t Records;
    };
    const QList<TCase> cases = {
        // Lines after the trailer stay, evidence that the file was altered; the new lines follow
        // them and every line loads.
        {"junk after the trailer", good + "junk\nmore junk\n", good + "junk\nmore junk\n", 28},
        // A damaged trailer gives way to the new lines.
        {"damaged trailer", good.left(good.size() - 3) + "#\n", good.left(trailerStart), 27},
        // A long damaged line last and no trailer: kept whole, the new records follow it.
        {"long last line", good.left(trailerStart) + QByteArray(300, 'x') + "\n",
         good.left(trailerStart) + QByteArray(300, 'x') + "\n", 29},
        {"empty lines only", "\n\n\n", "\n\n\n", 0},
        {"no LF at all", "no line here", "", 0},
    };
    for (const TCase &c : cases) {
        ASSERT_TRUE(WriteBytes(StorePath(), c.Bytes));
        AddRecords(1);
        ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded) << c.What;
        const QByteArray now = ReadBytes(StorePath());
        EXPECT_TRUE(now.startsWith(c.Kept)) << c.What;
        EXPECT_EQ(ReadBytes(StorePath() + ".bak"), c.Bytes) << c.What;
        auto store = Load(StorePath());
        if (c.Records > 0) {
            ASSERT_EQ(store->RecordCount(), c.Records) << c.What;
            EXPECT_EQ(store->Entry(c.Records - 1).Number, Sim->Instrument().Records().Newest()) << c.What;
        }
        EXPECT_EQ(store->FileVerdict() & VerdictFileIncomplete, 0) << c.What;
    }
}

TEST_F(UploadTest, ADamagedTrailerHidesNoLaterUpload)
{
    Connect();
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    // The trailer fails its check but still carries the trailer's date and time.
    QList<QByteArray> lines = PlainLines(StorePath());
    lines.last().replace("GROSS", "GRASS");
    QByteArray damaged;
    for (const QByteArray &line : lines)
        damaged += ScrambleLine(line) + '\n';
    ASSERT_TRUE(WriteBytes(StorePath(), damaged));

    // Two uploads: every record, in order, and the verdict that the file was altered.
    AddRecords(3);
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    EXPECT_EQ(Upload.Message, QStringLiteral("Uploaded 3 new records."));
    AddRecords(2);
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    EXPECT_EQ(Upload.Message, QStringLiteral("Uploaded 2 new records."));
    auto store = Load(StorePath());
    ASSERT_EQ(store->RecordCount(), 30u);
    for (uint32_t i = 0; i < 30; ++i) {
        EXPECT_EQ(store->Entry(i).Number, 101 + i);
        EXPECT_EQ(store->Entry(i).Verdict, i == 25 ? VerdictFileTamper : 0) << i; // numbering restarted
    }
    EXPECT_EQ(store->FileVerdict(), VerdictFileTamper);

    // A file in which earlier uploads went on after the damaged trailer shows them all too, and
    // the next upload continues after the last of them.
    QByteArray older = damaged;
    for (uint32_t n = 126; n <= 128; ++n)
        older += ScrambleLine(
                     DsdRecordLine(n - 125, DsdRecordFixFormatting(Sim->Instrument().Records().Text(n)))) +
                 '\n';
    older += ScrambleLine(DsdRecordLine(3, DsdTrailerRecord(128))) + '\n';
    ASSERT_TRUE(WriteBytes(StorePath(), older));
    store = Load(StorePath());
    EXPECT_EQ(store->RecordCount(), 28u);
    EXPECT_EQ(store->FileVerdict(), VerdictFileTamper);
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    EXPECT_EQ(Upload.Message, QStringLiteral("Uploaded 2 new records."));
    store = Load(StorePath());
    ASSERT_EQ(store->RecordCount(), 30u);
    EXPECT_EQ(store->Entry(29).Number, 130u);
    EXPECT_EQ(store->Entry(29).Verdict, 0);
}

TEST_F(UploadTest, FailuresLeaveTheStoreAlone)
{
    Connect();
    Engine.Link()->Close();
    PumpUntil([&] { return !Engine.LinkOpen(); });
    EXPECT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Failed);
    EXPECT_EQ(Reporter.Errors.last(), QStringLiteral("Com Port not open or instrument not connected"));
    EXPECT_TRUE(Progress.Hidden);
    EXPECT_FALSE(QFile::exists(StorePath()));

    // The store directory cannot be made where a file stands in its way.
    Engine.Link()->Open();
    ASSERT_TRUE(PumpUntil([&] { return Engine.LinkOpen(); }));
    ASSERT_TRUE(WriteBytes(Temp.filePath(QStringLiteral("blocked")), "x"));
    Layout.SetStoreDir(Temp.filePath(QStringLiteral("blocked/store")));
    EXPECT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Failed);
    EXPECT_EQ(Reporter.Errors.last(),
              QStringLiteral("Could not create Data Store database in ") + Temp.filePath("blocked"));

    // A work file that cannot be made: the store file is not touched.
    Layout.SetStoreDir(Temp.filePath(QStringLiteral("store")));
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    const QByteArray before = ReadBytes(StorePath());
    QDir().mkdir(StorePath() + ".tmp");
    AddRecords(1);
    EXPECT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Failed);
    EXPECT_TRUE(Reporter.Errors.last().startsWith(QStringLiteral("Unable to create temporary work file: ") +
                                                  StorePath() + ".tmp ("))
        << Reporter.Errors.last().toStdString();
    EXPECT_EQ(ReadBytes(StorePath()), before);
    EXPECT_FALSE(Engine.SuppressUnknownErrors);
}

TEST(UploadFiles, ReadPreviousLineAndOldFileInfo)
{
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("f"));
    ASSERT_TRUE(WriteBytes(path, "one\ntwo\r\n" + QByteArray(300, 'x')));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    file.seek(file.size());
    bool start = false;
    EXPECT_EQ(ReadPreviousLine(file, start), QByteArray(300, 'x')); // longer than one block, read whole
    EXPECT_FALSE(start);
    EXPECT_EQ(file.pos(), 8);
    file.seek(9);
    EXPECT_EQ(ReadPreviousLine(file, start), "");
    EXPECT_EQ(file.pos(), 8);
    EXPECT_EQ(ReadPreviousLine(file, start), "two\r"); // every byte stays
    EXPECT_FALSE(start);
    EXPECT_EQ(ReadPreviousLine(file, start), "one");
    EXPECT_TRUE(start);

    // The last sound line from the end: the trailer, or a record line when the trailer is gone.
    QList<QByteArray> lines = StoreLines(20, true, 500);
    ASSERT_TRUE(WriteBytes(path, lines.join()));
    TDsdOldFileInfo info = DsdUploadGetOldFileInfo(path, true);
    EXPECT_TRUE(info.TrailerFound);
    EXPECT_EQ(info.LastSequence, 20u);
    EXPECT_EQ(info.LastNumber, 519u);
    lines.removeLast();
    lines[19] = "damaged\n";
    ASSERT_TRUE(WriteBytes(path, lines.join()));
    info = DsdUploadGetOldFileInfo(path, true);
    EXPECT_FALSE(info.TrailerFound);
    EXPECT_EQ(info.LastSequence, 19u);
    EXPECT_EQ(info.LastNumber, 518u);
    EXPECT_FALSE(DsdUploadGetOldFileInfo(temp.filePath(QStringLiteral("none")), true).TrailerFound);

    // A long scrambled line may end in a CR, or hold a byte that became an LF: it is still the
    // sound last line. And a long damaged tail (one line of 3 MB, then many short lines) is passed
    // over to the last sound line.
    for (const bool inner : {false, true}) {
        lines = StoreLines(20, true, 500);
        QByteArray record = DsdRecordFixFormatting(InstrumentRecord(519)) + ",";
        auto wanted = [inner](const QByteArray &line) {
            return inner ? line.contains('\n') && line.lastIndexOf('\n') < 180
                         : line.endsWith('\r') && !line.contains('\n');
        };
        for (char pad = 'a'; !wanted(ScrambleLine(DsdRecordLine(20, record)));)
            if ((record += pad).size() > 190)
                record.chop(record.size() - 80), ++pad;
        lines[19] = ScrambleLine(DsdRecordLine(20, record)) + "\n";
        lines.removeLast();
        for (const QByteArray &tail :
             {QByteArray(), QByteArray(3 << 20, 'j') + "\n" + QByteArray(20000, '\n')}) {
            ASSERT_TRUE(WriteBytes(path, lines.join() + tail));
            info = DsdUploadGetOldFileInfo(path, true);
            EXPECT_TRUE(info.Found);
            EXPECT_EQ(info.LastSequence, 20u) << inner;
            EXPECT_EQ(info.LastNumber, 519u);
            EXPECT_EQ(info.LineStart, lines.join().size() - lines[19].size());
        }
    }

    // Copies are whole, across several blocks.
    const QByteArray big(262144 * 2 + 17, 'q');
    ASSERT_TRUE(WriteBytes(path, big));
    EXPECT_TRUE(CopyStoreFile(path, temp.filePath(QStringLiteral("copy"))));
    EXPECT_EQ(ReadBytes(temp.filePath(QStringLiteral("copy"))), big);
    EXPECT_FALSE(
        CopyStoreFile(temp.filePath(QStringLiteral("none")), temp.filePath(QStringLiteral("copy2"))));
}
