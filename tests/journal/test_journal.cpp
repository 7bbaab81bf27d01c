// The journal file on its own: the chain finds edited, removed and moved lines; an intent without
// outcome reads as unknown; passcodes never reach the file; values of any byte come back unchanged.
#include "journal/journal.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

class JournalTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(Dir.isValid()); }
    std::unique_ptr<TChangeJournal> Open()
    {
        auto journal = std::make_unique<TChangeJournal>();
        QString error;
        EXPECT_TRUE(
            journal->Open(Dir.path(), TJournalIdentity::OfThisProcess("1234567", "V500", "V1.04"), &error))
            << error.toStdString();
        return journal;
    }
    // A change with its outcome.
    static void Change(TChangeJournal &j, int reg, const QByteArray &before, const QByteArray &asked)
    {
        TChangeEvent e;
        e.Kind = "write";
        e.Command = 0x12;
        e.Register = reg;
        e.Before = before;
        e.Asked = asked;
        const int64_t id = j.Intent(e);
        ASSERT_NE(id, 0);
        TChangeResult r;
        r.Outcome = TChangeOutcome::Confirmed;
        r.ReadBack = asked;
        j.Outcome(id, r);
    }
    QList<QByteArray> FileLines(const QString &path)
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = f.readAll().split('\n');
        lines.removeLast();
        return lines;
    }
    void WriteLines(const QString &path, const QList<QByteArray> &lines)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(lines.join('\n') + '\n');
    }
    QTemporaryDir Dir;
};

} // namespace

TEST_F(JournalTest, TheChainFindsEveryEditRemovalAndMove)
{
    auto j = Open();
    for (int i = 0; i < 4; ++i)
        Change(*j, 0x1311 + i, QByteArray::number(i), QByteArray::number(i + 1));
    const QString path = j->FilePath();
    const QList<QByteArray> original = FileLines(path);
    ASSERT_EQ(original.size(), 9); // header, four intents, four outcomes
    QString error;
    EXPECT_TRUE(VerifyJournal(path, &error).Intact());

    const struct {
        const char *Name;
        std::function<QList<QByteArray>(QList<QByteArray>)> Change;
        int FirstBadLine;
    } cases[] = {
        {"a value edited",
         [](QList<QByteArray> l) {
             l[3].replace("\t2\t", "\t7\t");
             return l;
         },
         4},
        {"a line removed",
         [](QList<QByteArray> l) {
             l.removeAt(4);
             return l;
         },
         5},
        {"two lines swapped",
         [](QList<QByteArray> l) {
             l.swapItemsAt(5, 6);
             return l;
         },
         6},
        {"the last line removed with its hash fixed up nowhere",
         [](QList<QByteArray> l) {
             l.removeAt(7);
             return l;
         },
         8},
        {"the header edited",
         [](QList<QByteArray> l) {
             l[0].replace("V500", "V600");
             return l;
         },
         1},
        {"a line copied",
         [](QList<QByteArray> l) {
             l.insert(3, l.at(2));
             return l;
         },
         4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        WriteLines(path, c.Change(original));
        const TJournalVerdict v = VerifyJournal(path, &error);
        ASSERT_FALSE(v.Intact());
        EXPECT_TRUE(v.Problems.first().startsWith(QStringLiteral("line %1:").arg(c.FirstBadLine)))
            << v.Problems.first().toStdString();
    }
    WriteLines(path, original);
    EXPECT_TRUE(VerifyJournal(path, &error).Intact());
}

TEST_F(JournalTest, AnIntentWithoutOutcomeReadsAsUnknownAfterARestart)
{
    QString path;
    {
        auto j = Open();
        Change(*j, 0x1311, "2", "3");
        TChangeEvent e;
        e.Kind = "key";
        e.Register = 8;
        e.Asked = "000E";
        ASSERT_NE(j->Intent(e), 0); // the program dies here
        path = j->FilePath();
    }
    auto again = Open(); // the next run goes on with the same file
    Change(*again, 0x1312, "0", "1");
    QList<TJournalLine> lines;
    QString error;
    ASSERT_TRUE(ReadJournalFile(path, lines, &error));
    const QList<TJournalEvent> events = JournalEvents(lines);
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[0].Outcome, "confirmed");
    EXPECT_EQ(events[1].Outcome, OutcomeUnknownText);
    EXPECT_EQ(events[1].Line.Kind, "key");
    EXPECT_EQ(events[2].Outcome, "confirmed");
    EXPECT_EQ(events[2].Line.Before, "0");
    EXPECT_TRUE(VerifyJournal(path, &error).Intact());
}

TEST_F(JournalTest, TwoWritersKeepOneChain)
{
    auto a = Open();
    auto b = Open();
    for (int i = 0; i < 5; ++i) {
        Change(*a, 0x1311, "a", QByteArray::number(i));
        Change(*b, 0x1312, "b", QByteArray::number(i));
    }
    QString error;
    const TJournalVerdict v = VerifyJournal(a->FilePath(), &error);
    EXPECT_TRUE(v.Intact()) << v.Problems.join('\n').toStdString();
    EXPECT_EQ(v.Lines, 21);
}

TEST_F(JournalTest, PasscodesNeverReachTheFile)
{
    auto j = Open();
    const struct {
        int Register;
        QByteArray Before, Asked, ReadBack;
    } cases[] = {
        {0x00D0, "162E", "4D2", "4D2"},
        {0x00D1, "4D2", "1A85", "1A85"},
        {0x0019, "", "162E", ""},
    };
    for (const auto &c : cases) {
        TChangeEvent e;
        e.Kind = "write";
        e.Register = c.Register;
        e.Before = c.Before;
        e.Asked = c.Asked;
        e.Action = QStringLiteral("brellin-cli write %1 %2")
                       .arg(c.Register, 4, 16)
                       .arg(QString::fromLatin1(c.Asked));
        const int64_t id = j->Intent(e);
        TChangeResult r;
        r.Outcome = TChangeOutcome::Confirmed;
        r.ReadBack = c.ReadBack;
        j->Outcome(id, r);
    }
    QFile f(j->FilePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll();
    for (const auto &c : cases) {
        EXPECT_FALSE(all.contains('\t' + c.Asked + '\t')) << c.Asked.constData();
        EXPECT_FALSE(all.contains(' ' + c.Asked + '\t')) << c.Asked.constData();
        if (!c.Before.isEmpty()) {
            EXPECT_FALSE(all.contains('\t' + c.Before + '\t')) << c.Before.constData();
        }
    }
    EXPECT_TRUE(all.contains("(passcode)"));

    const struct {
        QStringList Words;
        QString Kept;
    } lines[] = {
        {{"settings", "send", "a.WSD", "--passcode", "5678", "--yes"}, "settings send a.WSD --yes"},
        {{"calibration", "zero", "--passcode=5678"}, "calibration zero"},
        {{"settings", "send", "my file.WSD"}, "settings send \"my file.WSD\""},
    };
    for (const auto &l : lines)
        EXPECT_EQ(CommandLineWithoutPasscodes(l.Words), l.Kept);
}

TEST_F(JournalTest, ValuesOfAnyByteComeBackUnchanged)
{
    auto j = Open();
    const QByteArray values[] = {"a\tb",
                                 "line\r\nbreak",
                                 "back\\slash",
                                 QByteArray("\xB0"
                                            "C 12.5",
                                            7),
                                 QByteArray("\x01\x7F", 2),
                                 "",
                                 "   spaces  "};
    for (const QByteArray &v : values)
        Change(*j, 0x004D, v, v + "x");
    QList<TJournalLine> lines;
    QString error;
    ASSERT_TRUE(ReadJournalFile(j->FilePath(), lines, &error));
    const QList<TJournalEvent> events = JournalEvents(lines);
    ASSERT_EQ(events.size(), std::size(values));
    for (size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(events[i].Line.Before, values[i]);
        EXPECT_EQ(events[i].Line.Asked, values[i] + "x");
        EXPECT_EQ(events[i].Line.ReadBack, values[i] + "x");
    }
    EXPECT_EQ(FileLines(j->FilePath()).size(), 1 + 2 * int(std::size(values))); // one line each
    EXPECT_TRUE(VerifyJournal(j->FilePath(), &error).Intact());
}

TEST_F(JournalTest, AJournalThatCannotBeWrittenSaysSoAndRecordsNothing)
{
    QFile blocker(Dir.path() + "/journal");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    TChangeJournal j;
    QString error;
    EXPECT_FALSE(j.Open(Dir.path(), TJournalIdentity::OfThisProcess("1", "V", "1"), &error));
    EXPECT_FALSE(error.isEmpty());
    TChangeEvent e;
    e.Kind = "write";
    EXPECT_EQ(j.Intent(e), 0);
}
