// The recovery file with several windows: a window killed mid-recording has its recording offered
// once, to the next start, complete, and never by a window running beside it; a recording left
// behind is offered only where someone can answer; an unsaved recording is offered for saving on
// Exit, File > Open and a new Start.
#include "log_support.h"

#include "logging/logfile.h"

#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <cstdio>

namespace
{

QList<QByteArray> Lines(const QString &path)
{
    QList<QByteArray> lines;
    QString error;
    LoadLogLines(path, &lines, &error);
    return lines;
}

// Answers the unsaved-recording box with `answer` and every other dialog with Cancel.
std::function<int(QDialog *)> Answering(QMessageBox::StandardButton answer, QStringList *asked = nullptr)
{
    return [answer, asked](QDialog *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (!box)
            return int(QDialog::Rejected);
        if (asked)
            *asked << box->text();
        return int(answer);
    };
}

} // namespace

// Run only as the child of the recovery test: records from the simulator until it is killed,
// saying every 20 ms how many samples it has accepted.
TEST_F(LogTabTest, RecoveryChildRecordsUntilKilled)
{
    if (qEnvironmentVariableIsEmpty("BRELLIN_LOG_CHILD"))
        GTEST_SKIP() << "the recovery test's child";
    Cfg.LogBurstSamples = 10;
    ConnectSim();
    Channels = {7, 0, 0, 0};
    Ui->Log.Comment = "before the crash";
    QTimer say;
    QObject::connect(&say, &QTimer::timeout, [&] {
        std::printf("recording %lld\n", static_cast<long long>(Points()));
        std::fflush(stdout);
    });
    RecordUntil([&] { return Points() >= 6; },
                [&] {
                    say.start(20);
                    return false; // records on until killed
                });
}

TEST_F(LogTabTest, TwoWindowsRecordAndTheKilledOnesRecordingIsOfferedOnceToTheNextStart)
{
    // Window A: a child process recording into the same per-user folder.
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("BRELLIN_LOG_CHILD", "1");
    env.insert("XDG_DATA_HOME", DataHome.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=LogTabTest.RecoveryChildRecordsUntilKilled"});
    ASSERT_TRUE(child.waitForStarted(5000));
    QByteArray out;
    ASSERT_TRUE(PumpUntil(
        [&] {
            out += child.readAllStandardOutput();
            return out.contains("recording ") || child.state() == QProcess::NotRunning;
        },
        30000));
    ASSERT_TRUE(out.contains("recording ")) << out.constData();
    const QStringList others = Ui->Recovery->Candidates();
    ASSERT_EQ(others.size(), 1);
    const QString childFile = others[0];

    // Window B (this one) records at the same time, into a file of its own.
    Cfg.LogBurstSamples = 10;
    ConnectSim();
    RecordUntil([&] { return Points() >= 4; }, [] { return true; });
    const QString own = Ui->RecoveryFile();
    ASSERT_FALSE(own.isEmpty());
    EXPECT_NE(own, childFile);

    // A window started while A records is asked nothing, even when it looks again.
    TProgramFolder folder{"[Options]\nFirstRun=0\n"};
    TdatViewer config(folder.Ini());
    auto startWindow = [&](TRecordingReporter &reporter) {
        auto w = CreateMainWindow(config, {}, &reporter);
        w->show();
        PumpUntil([&] { return !reporter.Questions.isEmpty(); }, 300);
        return w;
    };
    {
        TRecordingReporter reporter;
        auto c = startWindow(reporter);
        EXPECT_FALSE(c->findChild<TLogUi *>()->OfferRecovery());
        EXPECT_TRUE(reporter.Questions.isEmpty()) << reporter.Questions.join('\n').toStdString();
    }
    const qsizetype before = Lines(childFile).size();

    // A is killed (SIGKILL): every sample it had accepted is in its file.
    PumpUntil([&] { return (out += child.readAllStandardOutput()).count("recording ") > 3; }, 2000);
    child.kill();
    child.waitForFinished(5000);
    out += child.readAllStandardOutput();
    const QList<QByteArray> said = out.trimmed().split('\n');
    const long long accepted = said.last().mid(10).toLongLong();
    const QList<QByteArray> kept = Lines(childFile);
    EXPECT_GE(kept.size(), before);
    EXPECT_GE(kept.size() - 2, accepted) << said.last().constData();
    ASSERT_GE(kept.size(), 8);
    EXPECT_EQ(kept[0], "before the crash");

    // B, running all along, neither offers nor deletes it.
    EXPECT_TRUE(Reporter.Questions.isEmpty());
    EXPECT_TRUE(QFile::exists(childFile));

    // The next start offers it once, complete.
    TRecordingReporter next;
    auto d = startWindow(next);
    ASSERT_EQ(next.Questions.size(), 1);
    EXPECT_TRUE(next.Questions[0].contains(QString("A recording of %1 samples").arg(kept.size() - 2)))
        << next.Questions[0].toStdString();
    auto *recovered = d->findChild<TLogUi *>();
    EXPECT_EQ(recovered->Log.Weight().Count(), kept.size() - 2);
    EXPECT_EQ(recovered->Tab->LblLogComment->text(), "before the crash");
    EXPECT_EQ(recovered->RecoveryFile(), childFile);
    // Saved, it is what A would have saved: live header and all.
    QList<QByteArray> again;
    WriteLogCsv(recovered->Log, again);
    EXPECT_EQ(again, kept);
    // Held by that window now: one started beside it is not offered the recording.
    {
        TRecordingReporter beside;
        auto e = startWindow(beside);
        EXPECT_TRUE(beside.Questions.isEmpty());
    }
    EXPECT_TRUE(QFile::exists(childFile));
    // That window's Exit asks about the recording; Discard lets it go.
    QStringList asked;
    d->Hooks.ExecModal = Answering(QMessageBox::Discard, &asked);
    d->close();
    EXPECT_FALSE(d->isVisible());
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains("has not been saved")) << asked[0].toStdString();
    EXPECT_FALSE(QFile::exists(childFile));
    d.reset();

    // B's own recording went on untouched beside all of it.
    QList<QByteArray> saved;
    WriteLogCsv(Ui->Log, saved);
    EXPECT_EQ(Lines(own), saved);
}

TEST_F(LogTabTest, ALeftRecordingIsOfferedOnlyWhereSomeoneCanAnswer)
{
    PumpUntil([] { return false; }, 50); // this window has looked for recordings to offer
    // An older version's file, without a lock: its window is gone.
    const QString orphan = QDir(Ui->Recovery->Folder()).filePath("unsaved-log.CSV");
    const QByteArray text = "left\r\nTime,Weight(kg),\r\n0.00,1\r\n0.10,2\r\n";
    auto leave = [&] {
        QDir().mkpath(Ui->Recovery->Folder());
        QFile f(orphan);
        f.open(QIODevice::WriteOnly);
        f.write(text);
    };
    TProgramFolder folder{"[Options]\nFirstRun=0\n"};
    TdatViewer config(folder.Ini());
    TStartOptions picture;
    picture.Screenshot = DataHome.filePath("shot.png");
    const struct {
        const char *Name;
        bool Screenshot, Unattended, Answer;
        bool Asked, Loaded, FileKept;
    } rows[] = {
        {"a run that takes a picture", true, false, true, false, false, true},
        {"no screen", false, true, true, false, false, true},
        {"declined", false, false, false, true, false, false},
        {"opened", false, false, true, true, true, true},
    };
    for (const auto &row : rows) {
        leave();
        TRecordingReporter reporter;
        reporter.Unattended = row.Unattended;
        reporter.Answer = row.Answer;
        auto w = CreateMainWindow(config, row.Screenshot ? picture : TStartOptions{}, &reporter);
        w->show();
        PumpUntil([&] { return !reporter.Questions.isEmpty() || !reporter.Infos.isEmpty(); }, 300);
        auto *ui = w->findChild<TLogUi *>();
        EXPECT_EQ(!reporter.Questions.isEmpty(), row.Asked) << row.Name;
        EXPECT_EQ(ui->Log.Weight().Count(), row.Loaded ? 2 : 0) << row.Name;
        EXPECT_EQ(QFile::exists(orphan), row.FileKept) << row.Name;
        if (row.Unattended) { // where it is kept is said
            EXPECT_TRUE(reporter.Infos.join('\n').contains(QDir::toNativeSeparators(orphan))) << row.Name;
        }
        // The window ends with nobody to ask: what was opened and not saved stays for the next start.
        reporter.Unattended = true;
        w->close();
        w.reset();
        EXPECT_EQ(QFile::exists(orphan), row.FileKept) << row.Name;
    }
}

TEST_F(LogTabTest, AnUnsavedRecordingIsOfferedForSavingBeforeItIsReplaced)
{
    Cfg.LogBurstSamples = 10;
    ConnectSim();
    const QString logFile = WriteFile("other.CSV", {"other log", "Time,Weight(kg),", "0.00,5", "1.00,6"});
    enum TAction { Open, Start, Exit };
    const struct {
        TAction Action;
        QMessageBox::StandardButton Answer;
    } rows[] = {{Open, QMessageBox::Cancel},  {Open, QMessageBox::Discard}, {Open, QMessageBox::Save},
                {Start, QMessageBox::Cancel}, {Start, QMessageBox::Save},   {Start, QMessageBox::Discard},
                {Exit, QMessageBox::Cancel},  {Exit, QMessageBox::Save}};
    int n = 0;
    for (const auto &row : rows) {
        const std::string name = std::to_string(n);
        if (!Ui->HasUnsavedRecording())
            RecordUntil([&] { return Points() >= 3; }, [] { return true; });
        ASSERT_TRUE(Ui->HasUnsavedRecording()) << name;
        const QString recovery = Ui->RecoveryFile();
        const int64_t points = Points();
        const QString savedAs = Folder.File(QString("saved%1.CSV").arg(++n));
        Ui->AskSaveFile = [&](const QString &, const QString &) { return savedAs; };
        bool openAsked = false;
        Ui->AskOpenFile = [&](const QString &, const QString &) {
            openAsked = true;
            return logFile;
        };
        QStringList asked;
        Other = Answering(row.Answer, &asked);
        if (row.Action == Open)
            Ui->OpenLogClick();
        else if (row.Action == Start)
            RecordUntil([&] { return Points() >= 3; }, [] { return true; });
        else
            W->close();
        ASSERT_EQ(asked.size(), 1) << name;
        EXPECT_TRUE(asked[0].contains(QString("The recording of %1 samples has not been saved").arg(points)))
            << asked[0].toStdString();
        const bool cancelled = row.Answer == QMessageBox::Cancel;
        // Cancel: nothing happens; the recording and its file stay.
        EXPECT_EQ(QFile::exists(recovery), cancelled) << name;
        EXPECT_EQ(QFile::exists(savedAs), row.Answer == QMessageBox::Save) << name;
        if (row.Answer == QMessageBox::Save) {
            EXPECT_EQ(Lines(savedAs).size(), points + 2) << name;
        }
        if (cancelled) {
            EXPECT_EQ(Ui->RecoveryFile(), recovery) << name;
            EXPECT_EQ(Points(), points) << name;
            EXPECT_FALSE(openAsked) << name;
            EXPECT_TRUE(W->isVisible()) << name;
        } else if (row.Action == Open) {
            EXPECT_EQ(Ui->Tab->LblLogComment->text(), "other log") << name;
            EXPECT_FALSE(Ui->HasUnsavedRecording()) << name;
        } else if (row.Action == Start) {
            EXPECT_TRUE(Ui->HasUnsavedRecording()) << name;
            EXPECT_NE(Ui->RecoveryFile(), recovery) << name;
        } else {
            EXPECT_FALSE(W->isVisible()) << name;
        }
    }
    EXPECT_TRUE(Reporter.Errors.isEmpty()) << Reporter.Errors.join('\n').toStdString();
}
