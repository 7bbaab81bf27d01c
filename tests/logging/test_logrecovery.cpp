// Recovery files of several windows in one folder (locked, taken over only when their window is
// gone), log texts in UTF-8 with Latin-1 files of older versions, numbers a log cannot hold, and
// a log save that fails keeping the earlier file.
#include "logging/logfile.h"
#include "logging/logrecovery.h"
#include "values/tools.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace
{

QByteArray FileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TLogModel Recording(const QByteArray &comment)
{
    TLogModel log;
    log.BeginRecording();
    log.ResetLogChart(true, {0, {}});
    log.Comment = comment;
    log.AddLogSample("00000000000000640000000000000000");
    return log;
}

// A process id that no process has: a child that has ended and been reaped.
qint64 DeadPid()
{
    QProcess p;
    p.start(QStringLiteral("/bin/true"));
    p.waitForStarted();
    const qint64 pid = p.processId();
    p.waitForFinished();
    return pid;
}

} // namespace

TEST(LogRecovery, EachWindowHoldsItsOwnFileUntilItsOwnerIsGone)
{
    QTemporaryDir dir;
    const TLogModel log = Recording("a");
    TLogRecovery a(dir.path()), b(dir.path());
    QString error;
    ASSERT_TRUE(a.Begin(log, &error)) << error.toStdString();
    ASSERT_TRUE(b.Begin(log, &error)) << error.toStdString();
    ASSERT_NE(a.Path(), b.Path());
    ASSERT_TRUE(a.AppendLast(log));
    EXPECT_EQ(FileText(a.Path()), "a\r\nTime,Weight(),\r\n0.00,100\r\n");

    // Each sees the other's file and cannot take it while it is held.
    EXPECT_EQ(a.Candidates(), QStringList{b.Path()});
    TLogRecovery c(dir.path());
    EXPECT_EQ(c.Candidates().size(), 2);
    for (const QString &path : c.Candidates())
        EXPECT_FALSE(c.TryTake(path)) << path.toStdString();
    EXPECT_TRUE(c.Path().isEmpty());

    // How the file's window went decides whether another takes it over.
    const QString legacy = dir.filePath("unsaved-log.CSV"); // an older version's: no lock at all
    QFile(legacy).open(QIODevice::WriteOnly);
    const QString dead = dir.filePath("unsaved-log-dead.CSV"); // its window was killed
    QFile(dead).open(QIODevice::WriteOnly);
    {
        QLockFile model(dir.filePath("model.lock"));
        ASSERT_TRUE(model.tryLock(0));
        QList<QByteArray> lines = FileText(dir.filePath("model.lock")).split('\n');
        lines[0] = QByteArray::number(DeadPid());
        QFile lock(dead + ".lock");
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(lines.join('\n'));
    }
    const QString released = b.Path();
    b.Release(); // its window ended with the recording unsaved and nobody to ask
    const struct {
        QString Path;
        bool Taken;
    } rows[] = {{a.Path(), false}, {legacy, true}, {dead, true}, {released, true}};
    for (const auto &row : rows) {
        TLogRecovery next(dir.path());
        EXPECT_EQ(next.TryTake(row.Path), row.Taken) << row.Path.toStdString();
        // While taken, no third one gets it; released, the file stays.
        TLogRecovery third(dir.path());
        EXPECT_FALSE(third.TryTake(row.Path)) << row.Path.toStdString();
        EXPECT_TRUE(QFile::exists(row.Path));
    }
    // Discarded: file and lock go; the running window's file was never touched.
    TLogRecovery last(dir.path());
    ASSERT_TRUE(last.TryTake(dead));
    last.Discard();
    EXPECT_FALSE(QFile::exists(dead));
    EXPECT_FALSE(QFile::exists(dead + ".lock"));
    EXPECT_EQ(FileText(a.Path()), "a\r\nTime,Weight(),\r\n0.00,100\r\n");
}

TEST(LogFile, TextsAreUtf8AndOlderLatin1FilesStillRead)
{
    const struct {
        QByteArray Comment, Header;
        QString Shown, Unit, Label;
    } rows[] = {
        {"Pr\xc3\xbc"
         "fung",
         "Time,Weight(kg),IO1", QStringLiteral(u"Prüfung"), "kg", "IO1"},
        {"\xc5\x81\xc3\xb3"
         "d\xc5\xba \xe2\x82\xac",
         "Time,Weight(\xc2\xb5g),Z\xc3\xa4hler", QStringLiteral(u"Łódź €"), QStringLiteral(u"µg"),
         QStringLiteral(u"Zähler")},
        // Latin-1, as older versions wrote it: read as the same characters.
        {"Pr\xfc"
         "fung",
         "Time,Weight(\xb5g),Z\xe4hler", QStringLiteral(u"Prüfung"), QStringLiteral(u"µg"),
         QStringLiteral(u"Zähler")},
    };
    for (const auto &row : rows) {
        TLogModel log;
        ASSERT_TRUE(ReadLogCsv(log, {row.Comment, row.Header, "0.00,1,1.00"}));
        EXPECT_EQ(QString::fromUtf8(log.Comment), row.Shown);
        EXPECT_EQ(QString::fromUtf8(log.LogUnits), row.Unit);
        EXPECT_EQ(QString::fromUtf8(log.Labels[0]), row.Label);
        // Written back as UTF-8.
        QList<QByteArray> lines;
        WriteLogCsv(log, lines);
        EXPECT_EQ(lines[0], row.Shown.toUtf8());
        EXPECT_EQ(lines[1], "Time,Weight," + row.Label.toUtf8() + ",");
    }
    // The instrument's units are Latin-1 on the link.
    TLogModel live;
    live.TakeFormattedWeight("  1.25 \xb5g G");
    EXPECT_EQ(QString::fromUtf8(live.LogUnits), QStringLiteral(u"µg"));
}

TEST(LogFile, NumbersALogCannotHoldAreRefusedNotWrapped)
{
    const struct {
        QByteArray Line;
        bool Read;
        QString Says;
        QByteArray Written; // the weight as saved again
    } rows[] = {
        {"0.00,99999999999999999999", false, "Line 4: the weight 99999999999999999999", {}},
        {"0.00,-1234567890123456", false, "Line 4: the weight -1234567890123456", {}},
        {"123456789012345678.00,1", false, "Line 4: the time 123456789012345678.00", {}},
        {"1.00,1,1.00,0.00,12345678901234567", false, "Line 4: the trace 3", {}},
        // Fits as given, not as a save writes it (two decimals): the saved file would not open again.
        {"1.00,1,99999999999998", false, "Line 4: the trace 1 99999999999998", {}},
        {"99999999999999.5,1", false, "Line 4: the time 99999999999999.5", {}},
        {"1.00,1,9999999999999", true, {}, "1"},
        {"0.00,999999999999999", true, {}, "999999999999999"},
        {"0.00,-12345678901.2345", true, {}, "-12345678901.2345"},
        {"0.00,0000000000000000000012.5", true, {}, "12.5"}, // leading zeros are no digits
    };
    for (const auto &row : rows) {
        TLogModel log;
        log.AddWeightPoint(3, 3); // a refused file leaves the log as it was
        QString error;
        EXPECT_EQ(ReadLogCsv(log, {"c", "Time,Weight(kg),", "0.00,1", row.Line}, &error), row.Read)
            << row.Line.constData();
        EXPECT_TRUE(error.startsWith(row.Says)) << error.toStdString();
        if (!row.Read) {
            EXPECT_EQ(log.Weight().Count(), 1);
            continue;
        }
        // What fits is written back as it was read.
        QList<QByteArray> lines;
        WriteLogCsv(log, lines);
        EXPECT_EQ(NthField(lines[3], 2, ','), row.Written);
    }
}

TEST(LogFile, AFailedSaveKeepsTheEarlierFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("LOG.CSV");
    QString error;
    ASSERT_TRUE(SaveLogLines(path, {"earlier", "Time,Weight,", "0.00,1"}, &error));
    const QByteArray earlier = FileText(path);
    // A file may grow to 64 bytes only: the write fails, as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = SaveLogLines(path, {"later", "Time,Weight,", QByteArray(200, '1')}, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(written);
    EXPECT_TRUE(error.contains("Cannot write") && error.contains("earlier file of that name is unchanged"))
        << error.toStdString();
    EXPECT_EQ(FileText(path), earlier);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"LOG.CSV"}); // no half file beside it
}

TEST(LogFile, ARecoveredRecordingIsSavedAsItWasRecorded)
{
    const struct {
        QByteArray Header;
        bool Live;
    } rows[] = {
        {"Time,Weight(kg),Motion,IO3,", true},   {"Time,Weight(kg),CofZ,Zero,Net,IO32", true},
        {"Time,Weight,Motion,IO3,", false},      // a loaded log's header
        {"Time,Weight(kg),Motion,Pump,", false}, // no channel of ours
        {"Time,Weight(kg),Motion,IO3", false},   // not as a recording writes it
    };
    for (const auto &row : rows) {
        TLogModel log;
        const QList<QByteArray> file{"c", row.Header, "0.00,1.5,1.00,0.00,1.00,0.00"};
        ASSERT_TRUE(ReadLogCsv(log, file));
        EXPECT_EQ(TakeLiveHeader(log, row.Header), row.Live) << row.Header.constData();
        EXPECT_EQ(log.LiveLog, row.Live);
        QList<QByteArray> saved;
        WriteLogCsv(log, saved);
        if (row.Live) {
            EXPECT_EQ(saved[1], row.Header);
        } else {
            EXPECT_TRUE(saved[1].startsWith("Time,Weight,")) << saved[1].constData();
        }
    }
}
