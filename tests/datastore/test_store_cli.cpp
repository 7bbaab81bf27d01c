// brellin-cli's store commands as a process against the simulated instrument, and the crash
// safety of the upload: killed at many points, the store file is always one complete version.
#include "datastore/extract.h"
#include "datastore/recordstore.h"
#include "datastore/storelayout.h"
#include "run_program.h"
#include "store_fixture.h"
#include "vornsim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

class StoreCliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Cfg.TcpPort = 0;
        Cfg.Records = 30;
        Cfg.Verbose = true; // the request log tells where an upload is
        Sim = std::make_unique<TVornSim>(Cfg);
        QString error;
        ASSERT_TRUE(Sim->Start(&error)) << error.toStdString();
        Sim->OnLog = [this](const QString &line) {
            if (line.startsWith(QStringLiteral("<<< ")) && line.contains(QStringLiteral("8292:")))
                ++NextRequests;
        };
        Layout.SetStoreDir(StoreDir());
    }
    QString StoreDir() const { return Temp.filePath(QStringLiteral("store")); }
    QString StorePath() const { return Layout.DsdIsnToDataStoreName(QStringLiteral("1234567")); }
    QStringList Connection() const { return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(Sim->Port())}; }
    void Start(QProcess &p, const QStringList &args)
    {
        p.setWorkingDirectory(Temp.path());
        p.start(QStringLiteral(BRELLIN_BIN_DIR "/brellin-cli"), args);
        ASSERT_TRUE(p.waitForStarted(5000));
    }
    TProgramRun Run(const QStringList &args) { return RunCli(args, Temp.path()); }
    TProgramRun Upload() { return Run(Connection() + QStringList{"store", "upload", "--store", StoreDir()}); }
    void AddRecords(int n)
    {
        for (int i = 0; i < n; ++i)
            Sim->Instrument().Records().Append(QDateTime(QDate(2009, 3, 1), QTime(8, 0), Qt::UTC));
    }
    // The store file's records: none when it is damaged or does not load.
    uint32_t CleanRecords(const QString &path)
    {
        TRecordingReporter quiet;
        TDsdRecordStore store;
        store.Reporter = &quiet;
        if (!store.DsdMemMapFileInit(path, QStringLiteral("1234567")) || store.FileVerdict() != 0)
            return 0;
        for (uint32_t i = 0; i < store.RecordCount(); ++i)
            if (store.Entry(i).Number != i + 1)
                return 0;
        return store.RecordCount();
    }

    QTemporaryDir Temp;
    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    TDsdStoreLayout Layout;
    int NextRequests = 0;
};

} // namespace

TEST_F(StoreCliTest, UploadListVerifyExtract)
{
    TProgramRun r = Upload();
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out, "Uploaded 30 new records.\n");
    r = Upload();
    EXPECT_EQ(r.Exit, 0);
    EXPECT_EQ(r.Out, "No new records to upload from instrument.\n");

    r = Run({"store", "list", "--store", StoreDir()});
    EXPECT_EQ(r.Exit, 0);
    EXPECT_EQ(r.Out, "   1234567\n");

    r = Run({"store", "verify", "--serial", "1234567", "--store", StoreDir()});
    EXPECT_EQ(r.Exit, 0);
    EXPECT_EQ(r.Out, "Found 30 records\n");

    // Extraction: the lines the record window shows, for a range of record numbers.
    r = Run({"store", "extract", "--serial", "   1234567", "--store", StoreDir(), "--records", "5:9"});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out, "Succesfully extracted 5 records to\nInstrument_1234567.csv\n");
    TDsdRecordStore store;
    ASSERT_TRUE(store.DsdMemMapFileInit(StorePath(), QString()));
    QByteArray expected;
    for (uint32_t i = 4; i < 9; ++i)
        expected += store.DsdRecordObtain(i) + "\r\n";
    EXPECT_EQ(ReadBytes(Temp.filePath(QStringLiteral("Instrument_1234567.csv"))), expected);

    r = Run({"store", "extract", StorePath(), "--from", "2008-02-18 00:00:00", "--to", "2100-01-01 00:00:00",
             "-o", Temp.filePath(QStringLiteral("all.csv"))});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(ReadBytes(Temp.filePath(QStringLiteral("all.csv"))).count("\r\n"), 30);

    // Empty selections: nothing extracted, no file, exit 7.
    for (const QStringList &range :
         {QStringList{"--records", "50:40"}, QStringList{"--records", "0:0"},
          QStringList{"--from", "2001-01-01 00:00:00", "--to", "2002-01-01 00:00:00"}}) {
        const QString out = Temp.filePath(QStringLiteral("empty.csv"));
        r = Run(QStringList{"store", "extract", StorePath(), "-o", out} + range);
        EXPECT_EQ(r.Exit, 7) << range.join(' ').toStdString();
        EXPECT_EQ(r.Err,
                  "No records match the selection criteria.\nFound 30 records, no evidence of tampering\n");
        EXPECT_FALSE(QFile::exists(out));
    }

    // A damaged record: exit 4, the message, and the record named.
    QList<QByteArray> lines = ReadBytes(StorePath()).split('\n');
    lines[6][20] = char(lines[6][20] + 1);
    ASSERT_TRUE(WriteBytes(StorePath(), lines.join('\n')));
    r = Run({"store", "verify", StorePath()});
    EXPECT_EQ(r.Exit, 4);
    EXPECT_EQ(r.Out, "***** FILE SHOWS EVIDENCE OF TAMPERING *****\n found 30 records\nRECORD TAMPER: 1 "
                     "records, first: 7\n");

    r = Run({"store", "verify", "--serial", "1234567", "--store", StoreDir(), "--max-store-size", "100"});
    EXPECT_EQ(r.Exit, 5);
    EXPECT_EQ(r.Err, "file size exceeds max allowed (100)\n");
    r = Run({"store", "verify", StorePath(), "--serial", "1"});
    EXPECT_EQ(r.Exit, 2);
    r = Run({"store", "upload", "--store", StoreDir()});
    EXPECT_EQ(r.Exit, 2);

    // Wrong names are said, not taken for an empty or a tampered store.
    const QString text = Temp.filePath(QStringLiteral("notes.txt"));
    ASSERT_TRUE(WriteBytes(text, "hello\nworld\n"));
    struct {
        QStringList args;
        int exit;
        QByteArray out, err;
    } const wrong[] = {
        {{"store", "list", "--store", Temp.filePath(QStringLiteral("nowhere"))},
         5,
         "",
         "No such store folder: " + Temp.filePath(QStringLiteral("nowhere")).toLocal8Bit() + "\n"},
        {{"store", "list", "--store", Temp.path()},
         0,
         "",
         "No record stores in " + Temp.path().toLocal8Bit() + "\n"},
        {{"store", "verify", text},
         5,
         "",
         text.toLocal8Bit() + " is not a store file: none of its lines reads as a record\n"},
    };
    for (const auto &w : wrong) {
        r = Run(w.args);
        EXPECT_EQ(r.Exit, w.exit) << w.args.join(' ').toStdString();
        EXPECT_EQ(r.Out, w.out) << w.args.join(' ').toStdString();
        EXPECT_EQ(r.Err, w.err) << w.args.join(' ').toStdString();
    }
}

TEST_F(StoreCliTest, KilledUploadsLeaveACompleteStoreFile)
{
    // A first version to start from.
    ASSERT_EQ(Upload().Exit, 0);
    QByteArray previous = ReadBytes(StorePath());
    ASSERT_EQ(CleanRecords(StorePath()), 30u);

    // Each round: 20 new records, an upload killed after the k-th record request (the 21st is
    // the refusal that ends the loop) and then a moment later, then a complete upload.
    const QList<QPair<int, int>> killPoints = {{0, 0},  {1, 0},   {2, 0},   {5, 0},   {10, 0}, {19, 0},
                                               {20, 0}, {21, 0},  {21, 1},  {21, 2},  {21, 3}, {21, 5},
                                               {21, 8}, {21, 15}, {21, 25}, {21, 40}, {21, 80}};
    int committed = 0;
    for (const auto &[k, delayMs] : killPoints) {
        AddRecords(20);
        const uint32_t total = Sim->Instrument().Records().Count();
        NextRequests = 0;
        QProcess p;
        Start(p, Connection() + QStringList{"store", "upload", "--store", StoreDir()});
        PumpUntil([&] { return NextRequests >= k || p.state() == QProcess::NotRunning; }, 20000);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < delayMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        p.kill();
        p.waitForFinished(5000);

        const QByteArray afterKill = ReadBytes(StorePath());
        const TProgramRun r = Upload();
        ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
        const QByteArray complete = ReadBytes(StorePath());
        ASSERT_EQ(CleanRecords(StorePath()), total) << "kill point " << k << "+" << delayMs;
        // Killed, the store file was the previous version or the new complete one, never a mix.
        ASSERT_TRUE(afterKill == previous || afterKill == complete) << "kill point " << k << "+" << delayMs;
        committed += afterKill == complete;
        previous = complete;
    }
    std::printf("kill points: %lld, of which the killed upload had already committed: %d\n",
                static_cast<long long>(killPoints.size()), committed);
}

TEST_F(StoreCliTest, ACutShortUploadExitsThreeAndTheNextOneContinues)
{
    // An instrument that drops the connection after 20 requests.
    TVornSimConfig cfg = Cfg;
    cfg.DisconnectAfter = 20;
    TVornSim cutting(cfg);
    ASSERT_TRUE(cutting.Start());
    const QStringList upload = {"--tcp",   QStringLiteral("127.0.0.1:%1").arg(cutting.Port()),
                                "store",   "upload",
                                "--store", StoreDir()};
    TProgramRun r = Run(upload);
    EXPECT_EQ(r.Exit, 3);
    EXPECT_TRUE(r.Out.isEmpty()) << r.Out.toStdString();
    const uint32_t stored = CleanRecords(StorePath());
    ASSERT_GT(stored, 0u);
    ASSERT_LT(stored, 30u);
    EXPECT_TRUE(
        r.Err.contains(QStringLiteral("Upload incomplete after record %1 (%1 new records stored): the "
                                      "connection was lost. Upload again to continue.\n")
                           .arg(stored)
                           .toLatin1()))
        << r.Err.toStdString();
    int runs = 1;
    while (r.Exit == 3 && runs < 10) {
        r = Run(upload);
        ++runs;
    }
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.startsWith("Uploaded ")) << r.Out.toStdString();
    EXPECT_EQ(CleanRecords(StorePath()), 30u);
}

TEST_F(StoreCliTest, ASecondUploadIntoTheSameStoreFileFailsAtOnce)
{
    ASSERT_EQ(Upload().Exit, 0);
    AddRecords(5);
    const QByteArray before = ReadBytes(StorePath());
    {
        // Another upload holds the store file.
        QLockFile other(StorePath() + ".lock");
        ASSERT_TRUE(other.tryLock(0));
        const TProgramRun r = Upload();
        EXPECT_EQ(r.Exit, 5);
        EXPECT_EQ(r.Err, QStringLiteral("Another upload into this Data Store file is running: %1. Try again "
                                        "when it has finished.\n")
                             .arg(StorePath())
                             .toLatin1());
        EXPECT_EQ(ReadBytes(StorePath()), before);
    }
    const TProgramRun r = Upload();
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out, "Uploaded 5 new records.\n");
}
