// The window's files on a full disk: a child run of this test program with the I/O error library
// loaded writes the log, the chart pictures, a printout, a journal export and the ini into a folder
// whose writes all fail; each says why, and the parent finds every earlier file byte for byte and
// nothing beside it.
#include "journal/ui/journalwindow.h"
#include "log_support.h"

#include <QDir>
#include <QProcess>

namespace
{

const char *const ChildFolder = "BRELLIN_WRITE_ERRORS_CHILD";

// The earlier files the child tries to replace, with their bytes.
const QList<QPair<QString, QByteArray>> &Earlier()
{
    static const QList<QPair<QString, QByteArray>> files = {
        {"log.CSV", "earlier log\r\n"},         {"chart.png", "earlier picture"},
        {"chart.pdf", "earlier pdf"},           {"printout.pdf", "earlier print"},
        {"journal.csv", "earlier journal\r\n"}, {"brellin.ini", "[Options]\r\nFirstRun=0\r\n"}};
    return files;
}

// Run only as the child: every write path of the window into the full folder.
TEST_F(LogTabTest, WriteErrorsChild)
{
    const QString full = qEnvironmentVariable(ChildFolder);
    if (full.isEmpty())
        GTEST_SKIP() << "the write-error test's child";
    Open(WriteFile("a.CSV", {"comment", "Time,Weight(kg),", "0.00,1.5", "2.00,2.5"}));
    ASSERT_TRUE(Reporter.Errors.isEmpty());
    auto in = [&](const char *name) { return full + QLatin1Char('/') + QLatin1String(name); };
    const struct {
        const char *What;
        std::function<void()> Act;
        const char *Said;
    } rows[] = {
        {"log save",
         [&] {
             Ui->AskSaveFile = [&](const QString &, const QString &) { return in("log.CSV"); };
             Ui->SaveLogClick();
         },
         "The earlier file of that name is unchanged"},
        {"chart as PNG",
         [&] {
             Ui->AskSaveFile = [&](const QString &, const QString &) { return in("chart.png"); };
             Ui->SaveChartPicture();
         },
         "The earlier chart.png is kept unchanged"},
        {"chart as PDF",
         [&] {
             Ui->AskSaveFile = [&](const QString &, const QString &) { return in("chart.pdf"); };
             Ui->SaveChartPicture();
         },
         "The earlier chart.pdf is kept unchanged"},
        {"printout to a PDF file",
         [&] {
             Ui->AskPrinter = [&](QPrinter &printer) {
                 printer.setOutputFormat(QPrinter::PdfFormat);
                 printer.setOutputFileName(in("printout.pdf"));
                 return true;
             };
             Ui->Print1Click();
         },
         "The earlier printout.pdf is kept unchanged"},
        {"change journal export",
         [&] {
             QTemporaryDir store;
             TJournalWindow window(store.path(), QStringLiteral("1234567"), nullptr);
             QString error;
             if (!window.ExportCsv(in("journal.csv"), &error))
                 Reporter.Error(error);
         },
         "The earlier journal.csv is kept unchanged"},
        {"ini at exit",
         [&] {
             TdatViewer ini(in("brellin.ini"));
             ini.SetFontSize(12);
             QString error;
             if (!ini.Save(&error))
                 Reporter.Error(error);
         },
         "No space left on device"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.What);
        Reporter.Errors.clear();
        r.Act();
        ASSERT_EQ(Reporter.Errors.size(), 1) << Reporter.Errors.join('\n').toStdString();
        EXPECT_TRUE(Reporter.Errors[0].contains(r.Said)) << Reporter.Errors[0].toStdString();
        EXPECT_TRUE(Reporter.Errors[0].contains(QStringLiteral("Could not write")) ||
                    Reporter.Errors[0].contains(QStringLiteral("Cannot write")))
            << Reporter.Errors[0].toStdString();
    }
}

TEST(WindowWriteErrors, EveryFileTheWindowWritesOnAFullDiskKeepsTheEarlierOneAndSaysSo)
{
    if (!qEnvironmentVariableIsEmpty(ChildFolder))
        GTEST_SKIP();
    QTemporaryDir full;
    for (const auto &[name, bytes] : Earlier()) {
        QFile f(full.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(ChildFolder, full.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("LD_PRELOAD", BRELLIN_IO_ERROR_SHIM);
    env.insert("BRELLIN_FULL_PREFIX", full.path());
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=LogTabTest.WriteErrorsChild"});
    ASSERT_TRUE(child.waitForStarted(5000));
    ASSERT_TRUE(child.waitForFinished(90000));
    const QByteArray out = child.readAllStandardOutput() + child.readAllStandardError();
    EXPECT_EQ(child.exitCode(), 0) << out.constData();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.constData();
    for (const auto &[name, bytes] : Earlier()) {
        QFile f(full.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_EQ(f.readAll(), bytes) << name.toStdString();
    }
    EXPECT_EQ(QDir(full.path()).entryList(QDir::Files | QDir::Hidden).size(), Earlier().size())
        << QDir(full.path()).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();
}

} // namespace
