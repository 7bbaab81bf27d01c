// The report windows against vornsim: Instrument > Allocation Report (grid and printout read back
// from the PDF) and Instrument > Factory Test Results (chart series, titles and refusals).
#include "gui_support.h"

#include "base/dmViewer.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "reports/ui/AllocationReport.h"
#include "reports/ui/factory.h"
#include "reports/ui/reportsui.h"
#include "run_program.h"
#include "shell/ui/identpanel.h"
#include "shell/ui/main.h"
#include "shell/ui/startup.h"
#include "vornsim.h"

#include <QAction>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPrinter>
#include <QProcess>
#include <QTableWidget>
#include <gtest/gtest.h>
#include <qcustomplot.h>

namespace
{

class ReportsWindowTest : public SimWindowTest
{
protected:
    void Start()
    {
        OpenWindow();
        Ui = W->findChild<TReportsUi *>();
        ASSERT_TRUE(Ui);
        OnDialog = [this](QDialog *dialog) {
            Shown = dialog;
            if (auto *report = qobject_cast<TFrmAllocationReport *>(dialog)) {
                Caption = report->windowTitle();
                for (int r = 0; r < report->StringGrid1->rowCount(); ++r) {
                    QStringList cells;
                    for (int c = 0; c < 4; ++c)
                        cells << report->StringGrid1->item(r, c)->text();
                    Grid << cells;
                }
                Selectable = report->StringGrid1->selectionMode() != QAbstractItemView::NoSelection;
                if (Print)
                    report->BtnPrint->click();
            }
            if (auto *factory = qobject_cast<TFrmFactory *>(dialog)) {
                Caption = factory->windowTitle();
                ChartTitle = factory->Title->text();
                Names = {factory->Series1->name(), factory->Series3->name(), factory->Series4->name()};
                Run1Points = factory->Series3->dataCount();
                Drift = factory->LblZeroResult->text();
                Verdict = factory->LblResult->text();
                LeftTitle = factory->ChtTest->yAxis->label();
                XRange = factory->ChtTest->xAxis->range();
                for (QCPGraph *g : {factory->Series1, factory->Series3, factory->Series4})
                    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
                        XDrawn.append(it->key);
                factory->show();
                QCoreApplication::processEvents();
                WindowChart = factory->ChtTest->grab().toImage();
                // The legend lies whole inside the chart, its frame clear of the edges, and every
                // entry gets the room its text needs.
                const QRect chart = factory->ChtTest->rect().adjusted(1, 1, -1, -1);
                LegendInside = chart.contains(factory->ChtTest->legend->outerRect());
                for (int i = 0; i < factory->ChtTest->legend->itemCount(); ++i) {
                    QCPAbstractLegendItem *item = factory->ChtTest->legend->item(i);
                    const QRect r = item->outerRect();
                    LegendInside = LegendInside && chart.contains(r) &&
                                   r.width() >= item->minimumOuterSizeHint().width();
                }
            }
            return int(QDialog::Accepted);
        };
        Ui->AskPrinter = [this](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(Pdf);
            return true;
        };
        Sim = MakeSim();
        ConnectTo(*Sim);
        // The identification read at connect names the instrument in the status bar.
        ASSERT_TRUE(PumpUntil([&] { return W->IdentPanel->Text().contains("1234567"); }));
        W->Engine->TimeoutTicks = 100;
    }

    QString PdfText() const
    {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), Pdf, QStringLiteral("-")});
        p.waitForFinished(20000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    QString Pdf = Folder.File("out.pdf");
    TReportsUi *Ui = nullptr;
    QDialog *Shown = nullptr;
    bool Print = false;
    QString Caption, ChartTitle, Drift, LeftTitle, Verdict;
    QCPRange XRange;
    QList<double> XDrawn;
    bool LegendInside = false;
    QList<QStringList> Grid;
    bool Selectable = true;
    QStringList Names;
    int Run1Points = -1;
    QImage WindowChart;
};

// brellin-cli report factory --png against the simulated instrument, with no display, no platform
// chosen and no runtime folder (as in CI, cron or under ssh).
TProgramRun SaveChart(quint16 port, const QString &path)
{
    QMap<const char *, QByteArray> kept;
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"})
        if (qEnvironmentVariableIsSet(name))
            kept[name] = qgetenv(name), qunsetenv(name);
    const TProgramRun run =
        RunCli({"--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "report", "factory", "--png", path});
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        qputenv(it.key(), it.value());
    return run;
}

} // namespace

TEST_F(ReportsWindowTest, AllocationReportShowsAndPrintsTheTable)
{
    Print = true;
    Start();
    ASSERT_TRUE(W->AllocationReport1->isEnabled());
    const QList<QAction *> entries = W->Instrument1->actions();
    ASSERT_GE(entries.size(), 2);
    EXPECT_EQ(entries.indexOf(W->AllocationReport1) + 1, entries.indexOf(Ui->FactoryTestResults1));
    W->AllocationReport1->trigger();
    ASSERT_TRUE(Shown) << Reporter.Errors.join('\n').toStdString();
    EXPECT_EQ(Caption, "Allocation Report for " + W->IdentPanel->Text());
    EXPECT_TRUE(Caption.contains("1234567")) << Caption.toStdString();
    EXPECT_FALSE(Selectable);
    const QList<QStringList> grid{
        {"1", "OUT1", "( LOGIC: ON,  ALARM: NONE )", "SETPTS:  SETP1"},
        {"", "", "", "ALSO:SETP3"},
        {"", "", "", "ALSO:SETP4"},
        {"2", "OUT2", "", "SETPTS:  SETP2"},
        {"4", "IN2", "( EDGE: ON,  DEB: RISE )", "KEY:  ZERO"},
        {"", "", "", "KEY:TARE"},
    };
    EXPECT_EQ(Grid, grid);
    // The main controls came back after the reading.
    EXPECT_TRUE(W->AllocationReport1->isEnabled());

    const QString text = PdfText();
    EXPECT_TRUE(text.contains("Allocation Report for " + W->IdentPanel->Text())) << text.toStdString();
    const QStringList lines = text.split('\n');
    auto columnOf = [&](const QString &what) {
        for (const QString &line : lines)
            if (line.contains(what))
                return line.indexOf(what);
        return qsizetype(-1);
    };
    // pdftotext counts columns from the page's leftmost glyph. The header starts one blank in (the
    // leading space); the first row's "1" is right-aligned in six columns, so five blanks in.
    const qsizetype header = columnOf("Allocation Report");
    const qsizetype one = columnOf("1 OUT1");
    ASSERT_GE(header, 0);
    EXPECT_EQ(one - header, 4) << text.toStdString();
    // pdftotext spaces wide gaps only roughly (the exact row bytes are the unit tests'): a
    // continuation row's text stands in the last column, right of the main row's column 2.
    EXPECT_GT(columnOf("ALSO:SETP3"), columnOf("( LOGIC")) << text.toStdString();
    EXPECT_TRUE(text.contains("KEY:TARE"));
    EXPECT_EQ(text.count('\f'), 1) << "one page";
}

TEST_F(ReportsWindowTest, AllocationPrintoutBreaksPages)
{
    Start();
    TFrmAllocationReport form;
    form.setWindowTitle("Allocation Report for test");
    QList<TAllocationRow> rows;
    for (int n = 0; n < 120; ++n)
        rows << TAllocationRow{{QByteArray::number(n), "OUT", "", "ROW" + QByteArray::number(n)}, true};
    form.SetRows(rows);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(Pdf);
    ASSERT_TRUE(form.PrintReport(printer));
    const QString text = PdfText();
    // 242 counted lines and three blank lines opening each page: several pages, every row printed.
    EXPECT_GE(text.count('\f'), 4);
    for (int n : {0, 59, 119})
        EXPECT_TRUE(text.contains("ROW" + QString::number(n))) << n;
    const QStringList pages = text.split('\f');
    for (const QString &page : pages.mid(1, pages.size() - 2))
        EXPECT_TRUE(page.contains("ROW")) << "no empty page";
}

TEST_F(ReportsWindowTest, FactoryResultsChart)
{
    Start();
    ASSERT_TRUE(Ui->FactoryTestResults1->isEnabled());
    Ui->FactoryTestResults1->trigger();
    ASSERT_TRUE(Shown) << Reporter.Errors.join('\n').toStdString();
    EXPECT_EQ(Caption, "Factory Test Results");
    EXPECT_EQ(ChartTitle, "Test Results for Serial #1234567\n18/02/2008");
    EXPECT_EQ(Names, (QStringList{"Trade Limits", "20 Degrees C", "40 Degrees C"}));
    EXPECT_EQ(Run1Points, 10);
    EXPECT_EQ(Drift, "Drift at the lowest test point (point 1, 2.29 divisions) = 0.007 microvolts/degree C");
    EXPECT_EQ(Verdict, "Result: pass");
    EXPECT_EQ(LeftTitle, " Error (0.70 uV per division)");
    // The points lie at 2-25 divisions: the axis spans them and the stair that applies, no further.
    ASSERT_FALSE(XDrawn.isEmpty());
    const double last = *std::max_element(XDrawn.cbegin(), XDrawn.cend());
    EXPECT_EQ(XRange.lower, 0);
    EXPECT_GE(XRange.upper, last);
    EXPECT_LT(XRange.upper, 30);
    EXPECT_TRUE(LegendInside);

    // The command line's picture is the chart as the window draws it, pixel for pixel.
    W.reset();
    const QString png = Folder.File("chart.png");
    const TProgramRun run = SaveChart(Sim->Port(), png);
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Err, "chart saved to " + png.toLocal8Bit() + "\n") << "no note of the widget side's own";
    const QImage saved(png, "PNG");
    EXPECT_EQ(saved.size(), QSize(640, 420));
    EXPECT_EQ(saved.size(), WindowChart.size());
    EXPECT_TRUE(saved.convertToFormat(QImage::Format_RGB32) ==
                WindowChart.convertToFormat(QImage::Format_RGB32));
}

TEST(ReportsChartPng, UnwritablePlaceLeavesNothing)
{
    TVornSimConfig cfg;
    cfg.TcpPort = 0;
    cfg.FactoryCase = "outside";
    TVornSim sim(cfg);
    QString error;
    ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("taken");
    struct Case {
        const char *file;
        int exit; // 6: a point fails, the chart is saved all the same; 2: the place is refused before
                  // the instrument is asked
    } cases[] = {{"missing/chart.png", 2}, {"taken", 2}, {"chart.png", 6}};
    for (const Case &c : cases) {
        const TProgramRun run = SaveChart(sim.Port(), dir.filePath(c.file));
        EXPECT_EQ(run.Exit, c.exit) << c.file << ": " << run.Err.toStdString();
        EXPECT_EQ(run.Out.contains("result: FAIL"), c.exit == 6) << c.file;
        EXPECT_EQ(run.Err.contains("cannot write"), c.exit == 2) << c.file << ": " << run.Err.toStdString();
    }
    // No temporary file is left beside the refused ones.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              (QStringList{"chart.png", "taken"}));
    EXPECT_TRUE(QDir(dir.filePath("taken")).isEmpty());
    EXPECT_EQ(QImage(dir.filePath("chart.png"), "PNG").size(), QSize(640, 420));
}

// The window states the verdict as brellin-cli does: a failing point, a record without points.
TEST_F(ReportsWindowTest, FactoryVerdicts)
{
    const struct {
        const char *use, *verdict, *drift;
    } cases[] = {
        {"outside", "Result: FAIL (errors outside the trade limits)", "Drift at the lowest test point ("},
        {"none", "Result: no test points (nothing to pass or fail)",
         "Drift at the lowest test point not available: the record holds no points"},
    };
    for (const auto &c : cases) {
        Cfg.FactoryCase = c.use;
        Start();
        Ui->FactoryTestResults1->trigger();
        ASSERT_TRUE(Shown) << c.use;
        EXPECT_EQ(Verdict, c.verdict) << c.use;
        EXPECT_TRUE(Drift.startsWith(c.drift)) << c.use << ": " << Drift.toStdString();
        EXPECT_TRUE(LegendInside) << c.use;
        EXPECT_GT(XRange.upper, 0) << c.use;
        W.reset();
        Sim.reset();
        Shown = nullptr;
        XDrawn.clear();
    }
}

TEST_F(ReportsWindowTest, FactoryRecordRefusedOrNotAvailable)
{
    for (const char *use : {"short", "long", "format", "refused"}) {
        Cfg.FactoryCase = use;
        Start();
        Ui->FactoryTestResults1->trigger();
        EXPECT_FALSE(Shown) << use;
        const QString said = Reporter.Errors.join('\n');
        // A refusal is told by the transaction layer; a record of the wrong shape by the window.
        EXPECT_EQ(said.contains("Test Results not available for this Instrument"),
                  QByteArray(use) != "refused")
            << use << ": " << said.toStdString();
        EXPECT_TRUE(Ui->FactoryTestResults1->isEnabled());
        W.reset();
        Sim.reset();
        Reporter = TRecordingReporter();
    }
}
