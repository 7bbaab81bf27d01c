// brellin-cli against hostile instruments and files (menus, records, store files): each case stops within its
// documented limit with a message, and nothing is written that the store cannot read back.
#include "datastore/storelayout.h"
#include "run_program.h"
#include "store_fixture.h"
#include "vornsim.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace
{

TEST(StoreLimits, HostileInstrumentsAndFilesStopWithinTheirLimitsWithAMessage)
{
    QTemporaryDir temp;
    const QString storeDir = temp.filePath(QStringLiteral("store"));
    TDsdStoreLayout layout;
    layout.SetStoreDir(storeDir);
    const QString storePath = layout.DsdIsnToDataStoreName(QStringLiteral("500"));
    const QString lineFeeds = temp.filePath(QStringLiteral("linefeeds"));
    {
        // 64 MB of line feeds: an index entry per line would take more than a gigabyte.
        QFile f(lineFeeds);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray block(1 << 20, '\n');
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(f.write(block), block.size());
    }
    const struct {
        const char *What;
        std::function<void(TVornSimConfig &)> Fault; // null: no instrument
        QStringList Args;
        int Exit;
        const char *Said;
        std::vector<uint32_t> Stored; // the store file afterwards (sound), when looked at
        bool LookAtStore;
    } rows[] = {
        {"menus that each list 30 submenus",
         [](TVornSimConfig &c) { c.MenuFanout = 30; },
         {"settings", "dump", "--passcode", "1234"},
         11,
         "the menus were not read further",
         {},
         false},
        {"a chain of submenus without end",
         [](TVornSimConfig &c) { c.MenuFanout = 1; },
         {"settings", "save", temp.filePath("deep.WSD"), "--passcode", "1234"},
         11,
         "deeper than 32 levels",
         {},
         false},
        {"a store that never ends",
         [](TVornSimConfig &c) { c.EndlessStore = true; },
         {"store", "upload", "--store", storeDir},
         0,
         "Uploaded 40 new records",
         NumberRange(1, 40),
         true},
        {"a record longer than a store line holds",
         [](TVornSimConfig &c) {
             c.LongRecord = 25;
             c.LongRecordLength = 250;
         },
         {"store", "upload", "--store", storeDir},
         11,
         "record 25 is 250 characters long",
         NumberRange(1, 24),
         true},
        {"a file of line feeds",
         nullptr,
         {"store", "verify", lineFeeds},
         5,
         "is not a store file",
         {},
         false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.What);
        QFile::remove(storePath);
        std::unique_ptr<TVornSim> sim;
        QStringList args = r.Args;
        if (r.Fault) {
            TVornSimConfig cfg;
            cfg.TcpPort = 0;
            cfg.Records = 40;
            cfg.SerialNumber = 500;
            r.Fault(cfg);
            sim = std::make_unique<TVornSim>(cfg);
            ASSERT_TRUE(sim->Start());
            args = QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim->Port())} + args;
        }
        const TProgramRun run = RunProgram(QStringLiteral("brellin-cli"), args, temp.path(), 90000);
        EXPECT_EQ(run.Exit, r.Exit) << run.Out.constData() << run.Err.constData();
        EXPECT_TRUE((run.Out + run.Err).contains(r.Said)) << run.Out.constData() << run.Err.constData();
        if (r.Exit == 11 && r.Args.first() == "settings") {
            EXPECT_TRUE(run.Out.isEmpty()) << run.Out.left(300).constData();
            EXPECT_FALSE(QFile::exists(temp.filePath("deep.WSD")));
        }
        if (r.LookAtStore) {
            EXPECT_EQ(SoundRecordNumbers(storePath), r.Stored);
            // No record past the newest one was asked for: the store that never ends did not grow.
            EXPECT_EQ(sim->Instrument().Records().Newest(), 40u);
        }
    }
    // None of the runs took more than a few hundred megabytes (an index of every line feed would).
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 400L * 1024) << usage.ru_maxrss << " kB";
}

} // namespace
