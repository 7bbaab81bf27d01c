// brellin-cli's store commands against instruments whose records no longer continue their store
// (numbering restarted, records changed, records gone), stores with tamper evidence, a store file
// that cannot be read, and serial numbers with the top bit set.
#include "datastore/recordstore.h"
#include "datastore/storelayout.h"
#include "run_program.h"
#include "store_fixture.h"
#include "vornsim.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

class StoreSequenceTest : public ::testing::Test
{
protected:
    void SetUp() override { Layout.SetStoreDir(StoreDir()); }
    QString StoreDir() const { return Temp.filePath(QStringLiteral("store")); }
    QString StorePath(const QString &serial = QStringLiteral("500")) const
    {
        return Layout.DsdIsnToDataStoreName(serial);
    }
    // An instrument of serial number 500 (unless told) holding `records` from `first`.
    std::unique_ptr<TVornSim> Instrument(uint32_t records, uint32_t seed, uint32_t first = 1,
                                         int64_t serial = 500)
    {
        TVornSimConfig cfg;
        cfg.TcpPort = 0;
        cfg.Records = records;
        cfg.Seed = seed;
        cfg.FirstRecord = first;
        cfg.SerialNumber = serial;
        auto sim = std::make_unique<TVornSim>(cfg);
        EXPECT_TRUE(sim->Start());
        return sim;
    }
    // The store file an upload of all of sim's records writes (scrambled, with its trailer).
    static QByteArray StoreOf(TVornSim &sim, const std::function<void(QByteArray &)> &changeLast = {})
    {
        const TSimRecords &r = sim.Instrument().Records();
        QByteArray bytes;
        uint32_t seq = 0;
        for (uint32_t n = r.Oldest(); n <= r.Newest(); ++n) {
            QByteArray record = DsdRecordFixFormatting(r.Text(n));
            if (n == r.Newest() && changeLast)
                changeLast(record);
            bytes += ScrambleLine(DsdRecordLine(++seq, record)) + '\n';
        }
        return bytes + ScrambleLine(DsdRecordLine(seq, DsdTrailerRecord(r.Newest()))) + '\n';
    }
    TProgramRun Run(const QStringList &args) { return RunCli(args, Temp.path()); }
    TProgramRun Upload(TVornSim &sim, const QStringList &more = {})
    {
        return Run(QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port()), "store", "upload",
                               "--store", StoreDir()} +
                   more);
    }
    static std::vector<uint32_t> Numbers(const QString &path) { return SoundRecordNumbers(path); }
    static std::vector<uint32_t> Range(uint32_t first, uint32_t last) { return NumberRange(first, last); }

    QTemporaryDir Temp;
    TDsdStoreLayout Layout;
};

} // namespace

TEST_F(StoreSequenceTest, AnInstrumentWhoseRecordsNoLongerContinueTheStoreStoresNothing)
{
    // The store holds records 1-50 of the instrument as it was (seed 1).
    auto before = Instrument(50, 1);
    const QByteArray stored = StoreOf(*before);
    const QByteArray alteredLast =
        StoreOf(*before, [](QByteArray &r) { r.replace(",kg,GROSS,", ",lb,GROSS,"); });
    struct TCase {
        const char *What;
        uint32_t Records, Seed, First;
        QByteArray Store;
        const char *Why;
    };
    const QList<TCase> cases = {
        {"reset, more records", 80, 99, 1, stored, "the instrument's record 50 is not the record 50 stored"},
        {"reset, fewer records", 10, 99, 1, stored,
         "the instrument no longer holds record 50, and its records now start at 1"},
        {"reset, the same count", 50, 99, 1, stored,
         "the instrument's record 50 is not the record 50 stored"},
        {"last stored record changed", 60, 1, 1, alteredLast,
         "the instrument's record 50 is not the record 50 stored"},
    };
    for (const TCase &c : cases) {
        ASSERT_TRUE(QDir().mkpath(StoreDir()));
        ASSERT_TRUE(WriteBytes(StorePath(), c.Store));
        auto after = Instrument(c.Records, c.Seed, c.First);
        const TProgramRun r = Upload(*after);
        EXPECT_EQ(r.Exit, 9) << c.What << "\n" << r.Err.toStdString();
        EXPECT_TRUE(r.Out.isEmpty()) << c.What << r.Out.toStdString();
        EXPECT_TRUE(r.Err.contains("The instrument's records no longer continue its Data Store file"))
            << c.What;
        EXPECT_TRUE(r.Err.contains(c.Why)) << c.What << "\n" << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains("Nothing was uploaded; the file is unchanged.")) << c.What;
        EXPECT_TRUE(r.Err.contains("store upload --new-sequence")) << c.What;
        // Nothing mixed in, nothing left beside it.
        EXPECT_EQ(ReadBytes(StorePath()), c.Store) << c.What;
        EXPECT_FALSE(QFile::exists(StorePath() + ".tmp")) << c.What;
        EXPECT_FALSE(QFile::exists(StorePath() + ".bak")) << c.What;
    }

    // The same instrument with more records of its own sequence continues the store.
    auto grown = Instrument(70, 1);
    ASSERT_TRUE(WriteBytes(StorePath(), stored));
    const TProgramRun r = Upload(*grown);
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out, "Uploaded 20 new records.\n");
    EXPECT_EQ(Numbers(StorePath()), Range(1, 70));
}

TEST_F(StoreSequenceTest, ANewSequenceKeepsTheOldFileBesideTheNewOne)
{
    auto before = Instrument(50, 1);
    ASSERT_EQ(Upload(*before).Exit, 0);
    const QByteArray old = ReadBytes(StorePath());
    auto after = Instrument(80, 99);
    ASSERT_EQ(Upload(*after).Exit, 9);

    TProgramRun r = Upload(*after, {"--new-sequence"});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.endsWith("a new one was started. Uploaded 80 new records.\n")) << r.Out.toStdString();
    // The closed file: the old bytes under a name that says when it was closed.
    const QStringList closed =
        QDir(StoreDir())
            .entryList({QFileInfo(StorePath()).fileName() + ".closed-*"}, QDir::Files | QDir::Hidden);
    ASSERT_EQ(closed.size(), 1);
    const QString closedPath = QDir(StoreDir()).filePath(closed.first());
    EXPECT_TRUE(r.Out.contains(closedPath.toLatin1())) << r.Out.toStdString();
    EXPECT_EQ(ReadBytes(closedPath), old);
    EXPECT_EQ(Numbers(closedPath), Range(1, 50));
    // The new file: the new sequence alone, with the instrument's records.
    EXPECT_EQ(Numbers(StorePath()), Range(1, 80));
    EXPECT_EQ(ReadBytes(StorePath()), StoreOf(*after));

    // Both are listed, verify and extract.
    r = Run({"store", "list", "--store", StoreDir()});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QList<QByteArray> listed = r.Out.split('\n');
    ASSERT_EQ(listed.size(), 3) << r.Out.toStdString();
    EXPECT_EQ(listed[0], "       500");
    EXPECT_TRUE(listed[1].startsWith("       500 closed ")) << listed[1].toStdString();
    EXPECT_EQ(Layout.ListedPath(QString::fromLatin1(listed[1])), closedPath);
    for (const QString &path : {StorePath(), closedPath}) {
        r = Run({"store", "verify", path});
        EXPECT_EQ(r.Exit, 0) << path.toStdString();
        const QString csv = Temp.filePath(QFileInfo(path).fileName() + ".csv");
        r = Run({"store", "extract", path, "-o", csv});
        EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
        EXPECT_EQ(ReadBytes(csv).count("\r\n"), path == closedPath ? 50 : 80);
    }
    // The next upload continues the new file.
    after->Instrument().Records().Append(QDateTime(QDate(2030, 1, 1), QTime(0, 0), Qt::UTC));
    r = Upload(*after, {"--new-sequence"});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out, "Uploaded 1 new record.\n");
    EXPECT_EQ(Numbers(StorePath()), Range(1, 81));
}

TEST_F(StoreSequenceTest, RecordsNoLongerOnTheInstrumentAreNamedAndShownAsAGap)
{
    auto before = Instrument(50, 1);
    ASSERT_TRUE(QDir().mkpath(StoreDir()));
    ASSERT_TRUE(WriteBytes(StorePath(), StoreOf(*before)));
    // The instrument now holds records 60-69 only.
    auto after = Instrument(10, 1, 60);
    TProgramRun r = Upload(*after);
    EXPECT_EQ(r.Exit, 10) << r.Err.toStdString();
    EXPECT_EQ(r.Out, "Uploaded 10 new records. Records 51 to 59 were no longer on the instrument.\n");
    std::vector<uint32_t> expected = Range(1, 50);
    for (uint32_t n = 60; n <= 69; ++n)
        expected.push_back(n);
    EXPECT_EQ(Numbers(StorePath()), expected);

    // The extraction says where the numbers are missing, and only inside the range extracted.
    const QString csv = Temp.filePath(QStringLiteral("gap.csv"));
    r = Run({"store", "extract", StorePath(), "--records", "49:61", "-o", csv});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QList<QByteArray> lines = ReadBytes(csv).split('\n');
    ASSERT_EQ(lines.size(), 6) << ReadBytes(csv).toStdString();
    EXPECT_TRUE(lines[1].startsWith("50,"));
    EXPECT_EQ(lines[2], "*****,RECORDS 51 TO 59 ARE NOT IN THE STORE\r");
    EXPECT_TRUE(lines[3].startsWith("60,"));
    r = Run({"store", "extract", StorePath(), "--records", "60:69", "-o", csv});
    EXPECT_FALSE(ReadBytes(csv).contains("*****"));

    // One record gone: said in the singular.
    auto later = Instrument(10, 1, 71);
    r = Upload(*later);
    EXPECT_EQ(r.Exit, 10);
    EXPECT_EQ(r.Out, "Uploaded 10 new records. Record 70 was no longer on the instrument.\n");
}

TEST_F(StoreSequenceTest, EveryCommandThatReadsAStoreGivesItsTamperVerdict)
{
    const QByteArray good = StoreOf(*Instrument(20, 1));
    QList<QByteArray> lines = good.split('\n');
    QList<QByteArray> changed = lines;
    changed[6][20] = char(changed[6][20] + 1);
    QList<QByteArray> removed = lines;
    removed.removeAt(4);
    QList<QByteArray> noTrailer = lines.mid(0, lines.size() - 2);
    noTrailer << QByteArray();
    struct TCase {
        const char *What;
        QByteArray Bytes;
        const char *Verdict;
    };
    const QList<TCase> cases = {
        {"a changed byte", changed.join('\n'), "RECORD TAMPER: 1 records, first: 7"},
        {"a removed line", removed.join('\n'), "FILE TAMPER: 1 records, first: 6"},
        {"no trailer", noTrailer.join('\n'), "TAMPER: FILE INCOMPLETE: the store file has no trailer"},
    };
    for (const TCase &c : cases) {
        ASSERT_TRUE(QDir().mkpath(StoreDir()));
        ASSERT_TRUE(WriteBytes(StorePath(), c.Bytes));
        const QString csv = Temp.filePath(QStringLiteral("t.csv"));
        QFile::remove(csv);
        TProgramRun r = Run({"store", "extract", StorePath(), "-o", csv});
        EXPECT_EQ(r.Exit, 4) << c.What;
        EXPECT_TRUE(r.Out.startsWith("Succesfully extracted")) << c.What;
        EXPECT_TRUE(r.Err.startsWith("***** FILE SHOWS EVIDENCE OF TAMPERING *****\n")) << c.What;
        EXPECT_TRUE(r.Err.contains(c.Verdict)) << c.What << r.Err.toStdString();
        EXPECT_TRUE(QFile::exists(csv)) << c.What;

        r = Run({"store", "list", "--store", StoreDir()});
        EXPECT_EQ(r.Exit, 4) << c.What;
        EXPECT_EQ(r.Out, "       500\n");
        EXPECT_TRUE(r.Err.startsWith("       500: ***** FILE SHOWS EVIDENCE OF TAMPERING *****\n")) << c.What;

        // The upload goes on (the last record is sound) and says what the store now shows.
        r = Upload(*Instrument(21, 1));
        EXPECT_EQ(r.Exit, 4) << c.What << r.Err.toStdString();
        EXPECT_EQ(r.Out, "Uploaded 1 new record.\n") << c.What;
        EXPECT_TRUE(r.Err.contains("***** FILE SHOWS EVIDENCE OF TAMPERING *****\n")) << c.What;
        QFile::remove(StorePath() + ".bak");
    }
    // A clean store says so.
    ASSERT_TRUE(WriteBytes(StorePath(), good));
    TProgramRun r = Run({"store", "extract", StorePath(), "-o", Temp.filePath(QStringLiteral("c.csv"))});
    EXPECT_EQ(r.Exit, 0);
    EXPECT_EQ(r.Err, "Found 20 records, no evidence of tampering\n");
}

TEST_F(StoreSequenceTest, AStoreFileThatCannotBeReadFailsTheUploadAndStaysAsItWas)
{
    auto sim = Instrument(30, 1);
    ASSERT_TRUE(QDir().mkpath(StoreDir()));
    auto first = Instrument(20, 1);
    const QByteArray stored = StoreOf(*first);
    struct TCase {
        const char *What;
        QString Env;
        bool MustFail; // false: the failed read came after every byte had been read, and the read
                       // after it finds the end of the file; the upload may then go on
    };
    // The upload opens the store file to copy it, then to find its end; each read may fail.
    const QList<TCase> cases = {
        {"first open", "BRELLIN_EIO_OPEN=1", true}, {"second open", "BRELLIN_EIO_OPEN=2", true},
        {"read 1", "BRELLIN_EIO_READ=1", true},     {"read 2", "BRELLIN_EIO_READ=2", false},
        {"read 3", "BRELLIN_EIO_READ=3", true},     {"read 4", "BRELLIN_EIO_READ=4", true},
        {"read 5", "BRELLIN_EIO_READ=5", false},
    };
    for (const TCase &c : cases) {
        ASSERT_TRUE(WriteBytes(StorePath(), stored));
        QFile::remove(StorePath() + ".bak");
        const TProgramRun r =
            RunCliWithIoErrors({"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim->Port()), "store", "upload",
                                "--store", StoreDir()},
                               Temp.path(), {QStringLiteral("BRELLIN_EIO_PATH=") + StorePath(), c.Env});
        // Either the upload failed and said why, the store as it was, or it is complete and sound:
        // never records uploaded again or a numbering restarted.
        if (r.Exit == 5 || c.MustFail) {
            EXPECT_EQ(r.Exit, 5) << c.What << "\n" << r.Out.toStdString() << r.Err.toStdString();
            EXPECT_TRUE(r.Err.contains("Could not read the Data Store file " + StorePath().toLatin1()))
                << c.What << "\n"
                << r.Err.toStdString();
            EXPECT_TRUE(r.Err.contains("Input/output error")) << c.What;
            EXPECT_TRUE(r.Err.contains("Nothing was uploaded; the file is unchanged.")) << c.What;
            EXPECT_EQ(ReadBytes(StorePath()), stored) << c.What;
        } else {
            EXPECT_EQ(r.Exit, 0) << c.What << "\n" << r.Err.toStdString();
            EXPECT_EQ(Numbers(StorePath()), Range(1, 30)) << c.What;
            EXPECT_TRUE(
                ReadBytes(StorePath()).startsWith(stored.left(stored.lastIndexOf('\n', stored.size() - 2))))
                << c.What;
        }
        EXPECT_FALSE(QFile::exists(StorePath() + ".tmp")) << c.What;
    }
    ASSERT_TRUE(WriteBytes(StorePath(), stored));
    // Without the fault the same upload continues the store.
    const TProgramRun r = Upload(*sim);
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(Numbers(StorePath()), Range(1, 30));
}

TEST_F(StoreSequenceTest, EverySerialNumberHasItsOwnStoreFile)
{
    // Each instrument's upload lands in its own file; one below 0x80000000 keeps the name it had.
    const QList<QPair<int64_t, QString>> cases = {
        {0x7FFFFFFF, ".isn.dcgmgqfkgm"},
        {0x80000000, ".isn.dcgmgqfkgq"},
        {0x80000001, ".isn.dcgmgqfkgw"},
        {0xFFFFFFFF, ".isn.gdwgwkmdwj"},
    };
    for (const auto &[serial, name] : cases) {
        auto sim = Instrument(5 + uint32_t(serial % 7), 1, 1, serial);
        const TProgramRun r = Upload(*sim);
        EXPECT_EQ(r.Exit, 0) << serial << r.Err.toStdString();
        EXPECT_TRUE(r.Out.startsWith("Uploaded ")) << serial;
        EXPECT_EQ(Numbers(QDir(StoreDir()).filePath(name)).size(), 5 + size_t(serial % 7)) << serial;
    }
    EXPECT_EQ(QDir(StoreDir()).entryList({".isn.*"}, QDir::Files | QDir::Hidden).size(), cases.size());
}

TEST_F(StoreSequenceTest, WritesThatFailKeepTheEarlierFileAndSaySo)
{
    auto sim = Instrument(30, 1);
    auto first = Instrument(20, 1);
    const QByteArray stored = StoreOf(*first);
    // The extraction's folder is the full one: its temporary file may have no name of its own.
    const QString outDir = Temp.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(outDir));
    const QString csv = outDir + QStringLiteral("/out.csv");
    const QStringList upload = {
        "--tcp", QStringLiteral("127.0.0.1:%1").arg(sim->Port()), "store", "upload", "--store", StoreDir()};
    struct TCase {
        const char *What;
        QStringList Args;
        QString Full;      // the path whose writes fail
        QString Kept;      // the file that must stay as it was (or stay absent)
        QByteArray Before; // its bytes before (empty: absent)
        const char *Said;
    };
    const QList<TCase> cases = {
        {"extract to a new file",
         {"store", "extract", StorePath(), "-o", csv},
         outDir,
         csv,
         {},
         "Could not write"},
        {"extract over an earlier file",
         {"store", "extract", StorePath(), "-o", csv},
         outDir,
         csv,
         "earlier\n",
         "Could not write"},
        {"upload onto a store", upload, StorePath() + ".tmp", StorePath(), stored,
         "Unable to create temporary work file"},
        {"first upload", upload, StorePath() + ".tmp", StorePath(), {}, "Could not write the temporary"},
    };
    for (const TCase &c : cases) {
        ASSERT_TRUE(QDir().mkpath(StoreDir()));
        ASSERT_TRUE(WriteBytes(StorePath(), stored));
        QFile::remove(csv);
        if (c.Kept == csv && !c.Before.isEmpty()) {
            ASSERT_TRUE(WriteBytes(csv, c.Before));
        }
        if (c.Kept == StorePath() && c.Before.isEmpty())
            QFile::remove(StorePath());
        const TProgramRun r =
            RunCliWithIoErrors(c.Args, Temp.path(), {QStringLiteral("BRELLIN_FULL_PREFIX=") + c.Full});
        EXPECT_EQ(r.Exit, 5) << c.What << "\n" << r.Out.toStdString() << r.Err.toStdString();
        EXPECT_TRUE(r.Out.isEmpty()) << c.What << "\n" << r.Out.toStdString();
        EXPECT_TRUE(r.Err.contains(c.Said)) << c.What << "\n" << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains("No space left on device")) << c.What << "\n" << r.Err.toStdString();
        EXPECT_EQ(QFile::exists(c.Kept), !c.Before.isEmpty()) << c.What;
        EXPECT_EQ(ReadBytes(c.Kept), c.Before) << c.What;
        EXPECT_FALSE(QFile::exists(StorePath() + ".tmp")) << c.What;
        const QStringList left = QDir(outDir).entryList(QDir::Files | QDir::Hidden);
        EXPECT_EQ(left.size(), c.Kept == csv && !c.Before.isEmpty() ? 1 : 0)
            << c.What << left.join(' ').toStdString();
    }
}
