// The configuration store: defaults, number forms, the no-file mode, write-back at exit and the
// per-user copy.
#include "base/dmViewer.h"
#include "base/inifile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

namespace
{

QByteArray ReadAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString &name, const QByteArray &text)
{
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

class TdatViewerTest : public ::testing::Test
{
protected:
    QString Ini(const QByteArray &text)
    {
        const QString name = Dir.filePath("brellin.ini");
        WriteAll(name, text);
        return name;
    }
    QTemporaryDir Dir;
};

TEST_F(TdatViewerTest, ReplyTimeoutFollowsTheConnectionType)
{
    {
        TdatViewer v(Ini("[Connection]\nConnectionType=1\n"));
        EXPECT_TRUE(v.IniPresent());
        EXPECT_EQ(v.ReplyTimeoutTicks(), 70);
    }
    {
        TdatViewer v(Ini("[Connection]\nConnectionType=0\n[Comms]\nSerTimeout=5\n"));
        EXPECT_EQ(v.ReplyTimeoutTicks(), 5);
    }
    {
        // The TCP time-out does not apply to a serial link, nor the serial one to TCP.
        TdatViewer v(Ini("[Connection]\nConnectionType=1\nTcpTimeout=33\n[Comms]\nSerTimeout=5\n"));
        EXPECT_EQ(v.ReplyTimeoutTicks(), 33);
        v.SetConnectionType(0);
        EXPECT_EQ(v.ReplyTimeoutTicks(), 5);
    }
}

TEST_F(TdatViewerTest, IntegersReadAsDecimalOrHexAndBadTextGivesTheDefault)
{
    TdatViewer v(Ini("[connection]\r\ntcpport = 0x8AE \r\nBaudRate=19k2\r\nDataBits=\r\nStopBits=-2\r\n"
                     "SerialAddress=0x\r\nTcpTimeout=99999999999\r\n[Comms]\r\nSerTimeout=0X0f\r\n"
                     "[DataStore]\r\nFontSize=12\r\n[Options]\r\nFirstRun=no\r\nFastOptoLink=2\r\n"));
    EXPECT_EQ(v.GetTcpPort(), 2222);    // hex, with blanks and any case of section and key
    EXPECT_EQ(v.GetBaudRate(), 9600);   // not a number
    EXPECT_EQ(v.GetDataBits(), 8);      // empty
    EXPECT_EQ(v.GetStopBits(), -2);     // a sign is a number
    EXPECT_EQ(v.GetSerialAddress(), 0); // a bare prefix is not
    EXPECT_EQ(v.GetTcpTimeout(), 70);   // beyond 32 bits
    EXPECT_EQ(v.GetSerTimeout(), 15);
    EXPECT_EQ(v.GetFontSize(), 12);
    EXPECT_TRUE(v.GetFirstRun());     // not a number: the default
    EXPECT_TRUE(v.GetFastOptoLink()); // any non-zero number is true
}

TEST_F(TdatViewerTest, DefaultsWithAnEmptyFileDifferFromTheFixedValuesWithoutOne)
{
    TdatViewer empty(Ini(""));
    EXPECT_TRUE(empty.IniPresent());
    EXPECT_EQ(empty.GetFontSize(), 10);
    EXPECT_EQ(empty.GetTcpHostname(), TdatViewer::DefaultTcpHost);
    EXPECT_EQ(empty.GetViewerName(), "ViewMarl");
    EXPECT_EQ(empty.GetInstrument(), Dir.path() + "/panel.jpg");
    EXPECT_EQ(empty.ImagePath("VX-200"), Dir.path() + "/panel.jpg");
    EXPECT_EQ(empty.GetLogo(), QString());

    const QString missing = Dir.filePath("none.ini");
    TdatViewer none(missing);
    EXPECT_FALSE(none.IniPresent());
    EXPECT_EQ(none.GetFontSize(), 9);
    EXPECT_EQ(none.GetTcpHostname(), QString());
    EXPECT_EQ(none.GetInstrument(), QString());
    EXPECT_EQ(none.ReplyTimeoutTicks(), 20);
    EXPECT_TRUE(none.GetReadAllSettings());
    EXPECT_TRUE(none.GetFirstRun());
    EXPECT_EQ(none.GetCurrentLang(), 1);
    EXPECT_EQ(none.GetViewerName(), "ViewMarl");
    // Writes are ignored, and nothing is created at exit.
    none.SetTcpPort(1234);
    none.SetViewerName("X");
    EXPECT_EQ(none.GetTcpPort(), 2222);
    EXPECT_EQ(none.GetViewerName(), "ViewMarl");
    EXPECT_TRUE(none.Save());
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(TdatViewerTest, WithoutAStoredSerialPortTheDefaultIsOneThisSystemHasAndIsNeverWritten)
{
#ifdef Q_OS_WIN
    EXPECT_EQ(TdatViewer::DefaultSerialPort({}), "COM1");
#else
    EXPECT_EQ(TdatViewer::DefaultSerialPort({}), "/dev/ttyS0");
    EXPECT_EQ(TdatViewer::DefaultSerialPort({"/dev/ttyUSB0", "/dev/ttyS0"}), "/dev/ttyUSB0");
    const QString name = Ini("[Connection]\nBaudRate=9600\n");
    {
        TdatViewer config(name);
        EXPECT_TRUE(config.GetSerialPort().startsWith("/dev/")) << config.GetSerialPort().toStdString();
        config.SetBaudRate(19200);
    }
    EXPECT_FALSE(ReadAll(name).contains("SerialPort")) << ReadAll(name).constData();
    EXPECT_TRUE(TdatViewer(Dir.filePath("none.ini")).GetSerialPort().startsWith("/dev/"));
#endif
    // A stored name is used as it is, whatever the system lists.
    for (const char *stored : {"COM1", "/dev/ttyACM3"})
        EXPECT_EQ(TdatViewer(Ini(QByteArray("[Connection]\nSerialPort=") + stored + "\n")).GetSerialPort(),
                  stored);
}

TEST_F(TdatViewerTest, SettersKeepTheLowSevenBitsWhereTheKeyIsASmallCode)
{
    TdatViewer v(Ini("[Connection]\n"));
    v.SetConnectionType(0x81);
    v.SetParityBits(0x102);
    v.SetSerialCable(0xFF);
    v.SetSerialAddress(0x81); // an ordinary integer key keeps its value
    EXPECT_EQ(v.GetConnectionType(), 1);
    EXPECT_EQ(v.GetParityBits(), 2);
    EXPECT_EQ(v.GetSerialCable(), 0x7F);
    EXPECT_EQ(v.GetSerialAddress(), 0x81);
}

TEST_F(TdatViewerTest, PicturesNamedByModelTextAreRelativeToTheProgramFolder)
{
    TdatViewer v(Ini("[Images]\nInstrument=front.jpg\nVX 200=vx200.jpg\nFormIcon=icon.png\n"
                     "[About]\nLogo=logo.png\n"));
    EXPECT_EQ(v.GetInstrument(), Dir.path() + "/front.jpg");
    EXPECT_EQ(v.ImagePath("vx 200"), Dir.path() + "/vx200.jpg");
    EXPECT_EQ(v.ImagePath("VX 300"), Dir.path() + "/panel.jpg");
    EXPECT_EQ(v.ImagePath(""), Dir.path() + "/panel.jpg");
    EXPECT_EQ(v.GetFormIcon(), Dir.path() + "/icon.png");
    EXPECT_EQ(v.GetLogo(), Dir.path() + "/logo.png");
}

TEST_F(TdatViewerTest, ChangesReachTheFileOnlyAtExitAndLeaveTheRestOfItAlone)
{
    // Comments, unknown keys, odd spacing and 8-bit text survive; only changed values are rewritten.
    const QByteArray original = "; Brellin settings\r\n[About]\r\nViewerName = Br\xe9llin\r\n"
                                "Extra=keep me\r\n\r\n[Connection]\r\nTcpPort=0x8AE\r\n";
    const QString name = Ini(original);
    {
        TdatViewer v(name);
        EXPECT_EQ(v.GetViewerName(), QString::fromLatin1("Br\xe9llin"));
        v.SetTcpPort(2222);    // the same number in another form is still a change of text
        v.SetSerTimeout(30);   // a new key in a new section
        v.SetCsvDir("/tmp/ä"); // non-ASCII text is written as UTF-8
        EXPECT_EQ(ReadAll(name), original);
    }
    const QByteArray after = ReadAll(name);
    EXPECT_TRUE(
        after.startsWith("; Brellin settings\r\n[About]\r\nViewerName = Br\xe9llin\r\nExtra=keep me\r\n"))
        << after.constData();
    EXPECT_TRUE(after.contains("[Connection]\r\nTcpPort=2222\r\n"));
    EXPECT_TRUE(after.contains("[Comms]\r\nSerTimeout=30\r\n"));
    TdatViewer again(name);
    EXPECT_EQ(again.GetSerTimeout(), 30);
    EXPECT_EQ(again.GetCsvDir(), QString("/tmp/ä"));
    EXPECT_FALSE(again.Modified());
}

TEST_F(TdatViewerTest, NothingIsWrittenWhenNothingChanged)
{
    const QString name = Ini("[Connection]\nTcpPort=2222\n");
    const QDateTime before = QFileInfo(name).lastModified();
    {
        TdatViewer v(name);
        v.SetTcpPort(2222);
        EXPECT_FALSE(v.Modified());
    }
    EXPECT_EQ(QFileInfo(name).lastModified(), before);
}

TEST_F(TdatViewerTest, WriteBackReplacesTheFileWhole)
{
    // The new text goes to a temporary file that is renamed over the old one: a reader holding the
    // old file keeps the old text, and no partial file can ever be seen under the name.
    const QString name = Ini("[Connection]\nTcpPort=1\n");
    QFile held(name);
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    TdatViewer v(name);
    v.SetTcpPort(2);
    ASSERT_TRUE(v.Save());
    EXPECT_EQ(held.readAll(), QByteArray("[Connection]\nTcpPort=1\n"));
    EXPECT_EQ(ReadAll(name), QByteArray("[Connection]\nTcpPort=2\n"));
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), QStringList{"brellin.ini"});
}

TEST_F(TdatViewerTest, AFailedWriteKeepsTheOldFileAndSaysWhy)
{
    const QString name = Ini("[Connection]\nTcpPort=1\n");
    TdatViewer v(name);
    v.SetTcpPort(2);
    // The file's place becomes a folder: no temporary file can be renamed over it.
    QFile::remove(name);
    QDir().mkdir(name);
    QString why;
    EXPECT_FALSE(v.Save(&why));
    EXPECT_TRUE(why.contains(name)) << why.toStdString();
    EXPECT_TRUE(v.Modified());
    QDir().rmdir(name);
}

TEST_F(TdatViewerTest, PerUserFileHoldsOnlyTheChangesOverTheShippedIniAndOnlyForAReadOnlyProgramFolder)
{
    const QString progDir = Dir.filePath("prog");
    const QString user = Dir.filePath("user/brellin/brellin.ini");
    QDir().mkpath(progDir);
    const QString prog = progDir + "/brellin.ini";
    WriteAll(prog, "[About]\nViewerName=Brellin\n[Connection]\nTcpPort=2222\nTcpHostname=10.0.0.9\n");
    {
        TdatViewer v(prog, user, true);
        EXPECT_EQ(v.IniFileName(), prog);
        EXPECT_EQ(v.SaveFileName(), user);
        v.SetTcpPort(3333);
        v.SetTcpHostname("10.0.0.9"); // set to what is shipped: no change of the user's
    }
    EXPECT_EQ(ReadAll(prog),
              QByteArray("[About]\nViewerName=Brellin\n[Connection]\nTcpPort=2222\nTcpHostname=10.0.0.9\n"));
    EXPECT_EQ(ReadAll(user), QByteArray("[Connection]\nTcpPort=3333\n"));

    // A new version ships other texts: the user's change stays, the rest follows the new ini.
    WriteAll(prog, "[About]\nViewerName=Brellin 2\n[Connection]\nTcpPort=2222\nTcpHostname=10.0.0.7\n");
    {
        TdatViewer v(prog, user, true);
        EXPECT_EQ(v.GetTcpPort(), 3333);
        EXPECT_EQ(v.GetViewerName(), "Brellin 2");
        EXPECT_EQ(v.GetTcpHostname(), "10.0.0.7");
        EXPECT_EQ(v.GetInstrument(), progDir + "/panel.jpg"); // pictures stay beside the program
        v.SetTcpPort(2222); // back to what is shipped: the user's file forgets it
        v.SetBaudRate(19200);
    }
    EXPECT_EQ(ReadAll(user), QByteArray("[Connection]\nBaudRate=19200\n"));

    // A program folder that can be written: its ini is the only one, the per-user file is not read.
    TdatViewer v(prog, user);
    EXPECT_EQ(v.GetBaudRate(), 9600);
    EXPECT_EQ(v.SaveFileName(), prog);
    EXPECT_EQ(v.IniFileName(), prog);
}

TEST_F(TdatViewerTest, PerUserCopyTakesOverWhenTheProgramFileCannotBeReplaced)
{
    // The same fall-back found at the write itself (a folder that only looks writable).
    const QString prog = Dir.filePath("brellin.ini");
    const QString user = Dir.filePath("user/brellin.ini");
    WriteAll(prog, "[Connection]\nTcpPort=1\n");
    TdatViewer v(prog, user);
    EXPECT_EQ(v.SaveFileName(), prog);
    v.SetTcpPort(2);
    QFile::remove(prog);
    QDir().mkdir(prog);
    ASSERT_TRUE(v.Save());
    EXPECT_EQ(v.SaveFileName(), user);
    EXPECT_EQ(ReadAll(user), QByteArray("[Connection]\nTcpPort=2\n"));
    QDir().rmdir(prog);
}

TEST(TIniFileTest, ValuesAndKeysAreFoundWithoutCaseAndKeepTheirBytes)
{
    TIniFile ini;
    ini.Parse("x=before any section\n[A]\n ; comment=not a key\nKey = \"quoted value\" "
              "\n=nokey\n[b]\nk=\x01\xff\n");
    EXPECT_TRUE(ini.Has("a", "KEY"));
    EXPECT_FALSE(ini.Has("A", "; comment"));
    EXPECT_FALSE(ini.Has("A", "x"));
    EXPECT_EQ(ini.Value("A", "key"), QByteArray("\"quoted value\""));
    EXPECT_EQ(ini.Value("A", "key", {}, true), QByteArray("quoted value"));
    EXPECT_EQ(ini.Value("B", "K"), QByteArray("\x01\xff"));
    EXPECT_EQ(ini.Value("C", "k", "dflt"), QByteArray("dflt"));
    // A value set with a line break cannot split the line.
    EXPECT_TRUE(ini.SetValue("B", "k", "one\r\ntwo"));
    EXPECT_EQ(ini.Value("B", "k"), QByteArray("one  two"));
    EXPECT_TRUE(ini.Text().startsWith("x=before any section\n[A]\n ; comment=not a key\n"));
}

TEST(TIniFileTest, NewKeysGoToTheEndOfTheirSectionBeforeBlankLines)
{
    TIniFile ini;
    ini.Parse("[A]\na=1\n\n[B]\nb=2");
    EXPECT_TRUE(ini.SetValue("a", "c", "3"));
    EXPECT_FALSE(ini.SetValue("A", "C", "3"));
    EXPECT_TRUE(ini.SetValue("New", "n", "4"));
    EXPECT_EQ(ini.Text(), QByteArray("[A]\na=1\nc=3\n\n[B]\nb=2\n\n[New]\nn=4\n"));
}

} // namespace

namespace
{

TEST(TIniFileTest, NamesThatWouldReadBackAsSomethingElseAreCleaned)
{
    TIniFile ini;
    ini.Parse("[Images]\r\n");
    // A model text from the instrument becomes a key: it must stay one line and one key.
    EXPECT_TRUE(ini.SetValue("Images", "VX=200\r\n[x]", "a.jpg"));
    EXPECT_TRUE(ini.SetValue("Odd]\nName", ";key", "v"));
    EXPECT_FALSE(ini.SetValue("Images", "\r\n", "lost"));
    EXPECT_EQ(ini.Text(), QByteArray("[Images]\r\nVX 200  [x]=a.jpg\r\n\r\n[Odd  Name]\r\nkey=v\r\n"));
    TIniFile again;
    again.Parse(ini.Text());
    EXPECT_EQ(again.Value("Images", "VX 200  [x]"), QByteArray("a.jpg"));
}

TEST(TIniFileTest, ACarriageReturnIsPartOfTheLineEndingOnlyInACrLfFile)
{
    TIniFile lf;
    lf.Parse("a=1\nb=2\r\r\n");
    EXPECT_EQ(lf.Text(), QByteArray("a=1\nb=2\r\r\n"));
    EXPECT_EQ(lf.Value("", "b"), QByteArray()); // keys before any section are not settings
    TIniFile crlf;
    crlf.Parse("[s]\r\nb=2\r\r\n");
    EXPECT_EQ(crlf.Text(), QByteArray("[s]\r\nb=2\r\r\n"));
    EXPECT_EQ(crlf.Value("s", "b"), QByteArray("2"));
}

} // namespace
