// Uploads against the simulated instrument's faults: whatever goes wrong on the link, uploading
// again until the upload says it is complete leaves exactly the instrument's records, in order,
// each once; a cut-short upload says so and the next one continues.
#include "datastore/recordstore.h"
#include "datastore/storelayout.h"
#include "datastore/upload.h"
#include "fake_link.h"
#include "link/transact.h"
#include "settings/device.h"
#include "store_fixture.h"
#include "vornsim.h"

#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace
{

constexpr uint32_t FirstRecord = 101;

class UploadFaultTest : public ::testing::Test
{
protected:
    void StartSim()
    {
        Cfg.TcpPort = 0;
        Cfg.FirstRecord = FirstRecord;
        Sim = std::make_unique<TVornSim>(Cfg);
        QString error;
        ASSERT_TRUE(Sim->Start(&error)) << error.toStdString();
        Layout.SetStoreDir(Temp.filePath(QStringLiteral("store")));
        Upload.Reporter = &Reporter;
        // The identification has its own tests; here the records are what counts.
        Upload.CheckInstrumentKnown = [] { return true; };
        Device.OnExchange = [this](const QByteArray &r) { return Engine.TransactText(r); };
        Engine.Reporter = &Reporter;
        Engine.SetTickInterval(2);
        Engine.TimeoutTicks = 15; // 30 ms
    }
    // A new connection (the simulator drops clients with --disconnect-after).
    bool Connect()
    {
        auto link = std::make_unique<TIOIfaceSocket>();
        link->SetHostText(QStringLiteral("127.0.0.1"));
        link->SetPort(Sim->Port());
        Engine.SetLink(std::move(link));
        Engine.Link()->Open();
        return PumpUntil([&] { return Engine.LinkOpen(); });
    }
    void TearDown() override
    {
        Engine.SetLink(nullptr);
        Sim.reset();
    }
    QString StorePath() const { return Layout.DsdIsnToDataStoreName(QStringLiteral("1234567")); }
    // The plain lines a fault-free upload of every record writes, trailer included.
    QList<QByteArray> ExpectedLines() const
    {
        QList<QByteArray> lines;
        const TSimRecords &records = Sim->Instrument().Records();
        uint32_t seq = 0;
        for (uint32_t n = records.Oldest(); n <= records.Newest(); ++n)
            lines << DsdRecordLine(++seq, DsdRecordFixFormatting(records.Text(n)));
        lines << DsdRecordLine(seq, DsdTrailerRecord(records.Newest()));
        return lines;
    }
    QList<QByteArray> StoredLines() const
    {
        QList<QByteArray> lines;
        for (const QByteArray &line : ReadBytes(StorePath()).split('\n'))
            if (!line.isEmpty())
                lines << UnscrambleLine(line);
        return lines;
    }
    // Uploads until one says it is complete; every answer must be true to the store file.
    int UploadUntilComplete(const char *what, int limit = 30)
    {
        for (int k = 1; k <= limit; ++k) {
            if (!Engine.LinkOpen() && !Connect())
                continue;
            const TDsdUpload::TResult r = Upload.DsdUploadOrRefreshClick();
            const QList<QByteArray> stored = StoredLines();
            Reanchors += Upload.Reanchors;
            if (r != TDsdUpload::Failed) {
                EXPECT_FALSE(QFile::exists(StorePath() + ".tmp")) << what << ": work file left behind";
            }
            if (r == TDsdUpload::Uploaded || r == TDsdUpload::NothingNew) {
                EXPECT_EQ(stored, ExpectedLines()) << what << ": " << Upload.Message.toStdString();
                return k;
            }
            // Cut short: the records so far, in order, each once, sealed after the last one.
            if (!stored.isEmpty()) {
                const auto n = stored.size() - 1;
                EXPECT_EQ(stored.mid(0, n), ExpectedLines().mid(0, n)) << what;
                EXPECT_EQ(stored.last(), DsdRecordLine(n, DsdTrailerRecord(FirstRecord + n - 1))) << what;
            }
            if (r == TDsdUpload::Incomplete) {
                EXPECT_TRUE(Upload.Message.startsWith(QStringLiteral("Upload incomplete"))) << what;
                EXPECT_TRUE(Upload.Message.endsWith(QStringLiteral("Upload again to continue."))) << what;
            }
        }
        ADD_FAILURE() << what << ": not complete after " << limit << " uploads";
        return limit;
    }

    QTemporaryDir Temp;
    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    TTransactionEngine Engine;
    TDevice Device;
    TDsdStoreLayout Layout;
    TRecordingReporter Reporter;
    TDsdUpload Upload{Engine, Device, Layout};
    uint32_t Reanchors = 0;
};

} // namespace

TEST_F(UploadFaultTest, RepeatedUploadsUnderEachFaultEndWithTheInstrumentsRecords)
{
    struct TCase {
        const char *Name;
        std::function<void(TVornSimConfig &)> Fault;
        uint32_t Records;
        bool Recovers; // the fault loses "next record" replies that the upload must recover
    };
    const TCase cases[] = {
        {"--drop", [](TVornSimConfig &c) { c.DropReply = 0.1; }, 40, true},
        // Whether a 45 ms delay outlasts the 30 ms time-out depends on how late the loaded
        // machine's timers fire, so only the records are checked here, not the re-anchoring.
        {"--delay above the time-out", [](TVornSimConfig &c) { c.DelayMs = 45; }, 10, false},
        {"--corrupt", [](TVornSimConfig &c) { c.CorruptCrc = 0.1; }, 40, true},
        {"--lowercase", [](TVornSimConfig &c) { c.LowerCaseCrc = 0.1; }, 40, true},
        {"--wrong-register", [](TVornSimConfig &c) { c.WrongRegister = 0.1; }, 40, true},
        {"--oversize", [](TVornSimConfig &c) { c.OversizedFrame = 0.1; }, 40, true},
        {"--duplicate", [](TVornSimConfig &c) { c.DuplicateReply = 0.3; }, 40, false},
        {"--garbage", [](TVornSimConfig &c) { c.Garbage = 0.3; }, 40, false},
        {"--disconnect-after", [](TVornSimConfig &c) { c.DisconnectAfter = 30; }, 40, false},
    };
    for (const TCase &c : cases) {
        TearDown();
        Cfg = TVornSimConfig();
        Cfg.Records = c.Records;
        Cfg.Seed = 3;
        c.Fault(Cfg);
        Temp.remove();
        ASSERT_TRUE(QDir().mkpath(Temp.path()));
        StartSim();
        ASSERT_TRUE(Connect()) << c.Name;
        Reanchors = 0;
        UploadUntilComplete(c.Name);
        if (c.Recovers) {
            EXPECT_GT(Reanchors, 0u) << c.Name;
        }

        // New records under the same fault: appended after the old ones, each once.
        for (int i = 0; i < 5; ++i)
            Sim->Instrument().Records().Append(QDateTime(QDate(2009, 1, 1), QTime(12, 0), Qt::UTC));
        UploadUntilComplete(c.Name);
        TDsdRecordStore store;
        TRecordingReporter quiet;
        store.Reporter = &quiet;
        ASSERT_TRUE(store.DsdMemMapFileInit(StorePath(), QStringLiteral("1234567"))) << c.Name;
        EXPECT_EQ(store.FileVerdict(), 0) << c.Name;
        EXPECT_EQ(store.RecordCount(), c.Records + 5) << c.Name;
    }
}

TEST_F(UploadFaultTest, ACutShortUploadSaysAfterWhichRecordAndTheNextOneContinues)
{
    Cfg.Records = 25;
    StartSim();
    ASSERT_TRUE(Connect());
    ASSERT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    for (int i = 0; i < 10; ++i)
        Sim->Instrument().Records().Append(QDateTime(QDate(2009, 1, 1), QTime(12, 0), Qt::UTC));

    // The link goes the moment the first "next record" is asked for: records are waiting, so
    // this is no "No new records".
    int nextAsked = 0;
    auto cutAt = [&](int k) {
        nextAsked = 0;
        Engine.OnFrameSent = [&, k](const QByteArray &frame) {
            if (frame.contains("8292:") && ++nextAsked == k)
                Engine.Link()->Close();
        };
    };
    cutAt(1);
    Reporter.Errors.clear();
    EXPECT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Incomplete);
    EXPECT_EQ(Upload.Message, QStringLiteral("Upload incomplete after record 125 (0 new records stored): the "
                                             "connection was lost. Upload again to continue."));
    EXPECT_EQ(Reporter.Errors.last(), Upload.Message);
    EXPECT_EQ(StoredLines(),
              ExpectedLines().mid(0, 25) + QList<QByteArray>{DsdRecordLine(25, DsdTrailerRecord(125))});

    // Cut after four new records: they are committed, sealed, and the message names the last.
    ASSERT_TRUE(Connect());
    cutAt(5);
    EXPECT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Incomplete);
    EXPECT_EQ(Upload.Message, QStringLiteral("Upload incomplete after record 129 (4 new records stored): the "
                                             "connection was lost. Upload again to continue."));
    EXPECT_EQ(StoredLines(),
              ExpectedLines().mid(0, 29) + QList<QByteArray>{DsdRecordLine(29, DsdTrailerRecord(129))});

    // The next upload continues after it.
    Engine.OnFrameSent = nullptr;
    ASSERT_TRUE(Connect());
    EXPECT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Uploaded);
    EXPECT_EQ(Upload.Message, QStringLiteral("Uploaded 6 new records."));
    EXPECT_EQ(StoredLines(), ExpectedLines());
}

TEST_F(UploadFaultTest, WithoutTheSerialNumberNothingIsUploaded)
{
    // Records must not go to the store file of serial number 0 when the serial number is lost.
    Cfg.Records = 25;
    Cfg.DropReply = 1;
    StartSim();
    ASSERT_TRUE(Connect());
    Upload.CheckInstrumentKnown = [] { return true; };
    EXPECT_EQ(Upload.DsdUploadOrRefreshClick(), TDsdUpload::Failed);
    EXPECT_EQ(Upload.Message,
              QStringLiteral("Could not read the instrument's serial number: no record was uploaded."));
    EXPECT_TRUE(Layout.StoredInstruments().isEmpty());
}

TEST(UploadRefusals, ARefusalOtherThanNoSuchRecordIsNoEndOfTheRecords)
{
    // An instrument that gives its oldest record, then refuses "next record" with a lapsed session:
    // that is no "No new records" and no success.
    QTemporaryDir temp;
    TTransactionEngine engine;
    auto link = std::make_unique<TFakeLink>();
    TFakeLink *fake = link.get();
    engine.SetLink(std::move(link));
    engine.SetTickInterval(2);
    engine.TimeoutTicks = 10;
    TRecordingReporter reporter;
    engine.Reporter = &reporter;
    fake->Open();
    const QByteArray record = "1,2008/02/18,15:25:21,    2975,kg,GROSS,       0,kg,TARE,19,p";
    fake->Responder = [&](const QByteArray &frame) {
        const QByteArray request = FrameText(frame).mid(2);
        if (request == "110005:")
            fake->Deliver(CrcFrame("00110005:12D687"));
        else if (request == "108294:" || request == "108291:1")
            fake->Deliver(CrcFrame("0010" + request.mid(2, 4) + ":" + record));
        else if (request == "108295:") // the newest record is 2: record 1 is not the last one
            fake->Deliver(CrcFrame("00108295:2" + record.mid(1)));
        else if (request == "108292:")
            fake->Deliver(CrcFrame("40108292:0010"));
    };
    TDevice device;
    device.OnExchange = [&](const QByteArray &r) { return engine.TransactText(r); };
    TDsdStoreLayout layout;
    layout.SetStoreDir(temp.filePath(QStringLiteral("store")));
    TDsdUpload upload(engine, device, layout);
    upload.Reporter = &reporter;
    upload.CheckInstrumentKnown = [] { return true; };
    EXPECT_EQ(upload.DsdUploadOrRefreshClick(), TDsdUpload::Incomplete);
    EXPECT_TRUE(upload.Message.startsWith(
        QStringLiteral("Upload incomplete after record 1 (1 new record stored): the instrument refused (")))
        << upload.Message.toStdString();
    ASSERT_EQ(reporter.Errors.size(), 2); // the engine's refusal text, then the upload's message
    EXPECT_TRUE(reporter.Errors[0].startsWith("Error :- Register 8292:"));
    EXPECT_EQ(reporter.Errors[1], upload.Message);
}
