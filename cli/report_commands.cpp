// brellin-cli: the instrument's reports, the allocation report and the factory test results.
#include "cli.h"
#include "link/comms.h"
#include "reports/AllocationReport.h"
#include "reports/chart/factorychart.h"
#include "reports/factory.h"
#include "values/tools.h"

namespace
{

int Allocation(TCliContext &ctx)
{
    int exit = ExitDone;
    if (!ctx.EnsureConnected(exit))
        return exit;
    // The reads report their refusals: those are counted, for a refused item only counts as empty.
    const qsizetype errorsBefore = ctx.Reporter.Errors.size();
    const TAllocationReport report = ReadAllocationReport(*ctx.Engine);
    int refused = 0;
    for (qsizetype i = errorsBefore; i < ctx.Reporter.Errors.size(); ++i)
        refused += ctx.Reporter.Errors.at(i).startsWith(QLatin1String("Error :- Register")) ? 1 : 0;
    for (const TAllocationRow &row : report.Rows) {
        if (row.Main)
            PrintLine({});
        PrintLine(AllocationPrintRow(row));
    }
    if (!report.Complete) {
        ctx.Reporter.Error(QStringLiteral("The allocation report is incomplete: %1; the rows above are the "
                                          "ones read.")
                               .arg(QString::fromLatin1(report.Error)));
        return ExitNoReply;
    }
    // Items the instrument refused were taken as empty: the report is not the table it holds.
    if (refused > 0) {
        ctx.Reporter.Error(QStringLiteral("The instrument refused %1 of the reads of its allocation table; "
                                          "the refused items were taken as empty, so the report%2 is not "
                                          "its table.")
                               .arg(refused)
                               .arg(report.Rows.isEmpty() ? QString() : QStringLiteral(" above")));
        return ExitRefused;
    }
    if (report.Rows.isEmpty())
        ctx.Reporter.Info(QStringLiteral("The instrument's allocation table is empty."));
    return ExitDone;
}

QByteArray Mark(bool pass)
{
    return pass ? "pass" : "FAIL";
}

int Factory(TCliContext &ctx, const QString &pngFile)
{
    int exit = ExitDone;
    if (!ctx.EnsureConnected(exit))
        return exit;
    // The serial number names the results.
    if (!ctx.Engine->Transact(CmdRead, 0x0005, {}, true, true))
        return ctx.FailureExit();
    const QByteArray serial = QByteArray::number(HexToInt(ctx.Engine->LastReply.Data));
    if (!ctx.Engine->Transact(CmdRead, FactoryRegister, {}, true, true))
        return ctx.FailureExit();
    TFactoryRecord record;
    switch (DecodeFactoryRecord(ctx.Engine->LastReply.Data, record)) {
    case TFactoryDecode::TooShort:
        ctx.Reporter.Error(
            QStringLiteral("The instrument's factory test record is too short (%1 characters).")
                .arg(ctx.Engine->LastReply.Data.size()));
        return ExitRefused;
    case TFactoryDecode::NotAvailable:
        ctx.Reporter.Error(FactoryNotAvailableText);
        return ExitRefused;
    case TFactoryDecode::Ok:
        break;
    }
    const TFactoryResults results = FactoryResults(record, serial);
    PrintLine(results.TitleLine1.toLatin1());
    PrintLine("date: " + results.TitleLine2.toLatin1());
    PrintLine("temperatures: " + QByteArray::number(record.T1) + " and " + QByteArray::number(record.T2) +
              " Degrees C");
    PrintLine("scale: x " + QByteArray::number(record.Sx) + ", y " + QByteArray::number(record.Sy) +
              "; points: " + QByteArray::number(record.Count));
    PrintLine(QString::asprintf("%5s %10s %10s %6s %10s %6s %7s", "point", "divisions", "error1", "",
                                "error2", "", "limit")
                  .toLatin1());
    for (int k = 0; k < results.Points.size(); ++k) {
        const TFactoryPoint &p = results.Points.at(k);
        PrintLine(QString::asprintf("%5d %10.3f %10.4f %6s %10.4f %6s %7.2f", k + 1, p.X, p.Error1,
                                    Mark(p.Pass1).constData(), p.Error2, Mark(p.Pass2).constData(), p.Limit)
                      .toLatin1());
    }
    // A record without test points has nothing to pass or fail.
    const bool noPoints = results.Points.isEmpty();
    PrintLine("result: " + FactoryVerdictText(results).toLatin1());
    PrintLine(results.ZeroDriftText.toLatin1());
    if (!pngFile.isEmpty()) {
        QString error;
        if (!SaveFactoryChartPng(results, pngFile, error)) {
            ctx.Reporter.Error(error);
            return ExitFile;
        }
        ctx.Reporter.Info(QStringLiteral("chart saved to %1").arg(pngFile));
    }
    if (noPoints)
        return ExitNoTestPoints;
    return results.Pass ? ExitDone : ExitDiffer;
}

int Report(TCliContext &ctx, const QStringList &args)
{
    const bool png = args.size() == 3 && args.at(0) == "factory" && args.at(1) == "--png";
    if (png && args.at(2).isEmpty())
        return UsageError(QStringLiteral("--png needs a file name"));
    if (!png && (args.size() != 1 || (args.at(0) != "allocation" && args.at(0) != "factory")))
        return UsageError(QStringLiteral("usage: report allocation | report factory [--png FILE]"));
    if (QString error; png && !CheckOutputFolder(args.at(2), error))
        return UsageError(error);
    return args.at(0) == "allocation" ? Allocation(ctx) : Factory(ctx, png ? args.at(2) : QString());
}

TCliRegistrar reportCommand{
    {"report",
     "            report allocation     the allocation report's rows, as printed\n"
     "            report factory [--png FILE]\n"
     "                                  the factory test results: date, temperatures, points with their\n"
     "                                  trade limits, pass/fail (exit 6 when a point fails; exit 8 and\n"
     "                                  \"no test points\" when the record holds none), and the drift at\n"
     "                                  the lowest test point;\n"
     "                                  --png also saves the chart as the window draws it (640x420)",
     true, Report}};

} // namespace
