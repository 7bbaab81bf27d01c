// brellin-cli: the record store (list, upload, verify, extract), with a progress bar on stderr
// when it is a terminal and Ctrl-C (or TERM, HUP) as the Cancel button of an upload or extraction.
#include "cli.h"
#include "datastore/extract.h"
#include "datastore/progress.h"
#include "datastore/recordstore.h"
#include "datastore/storelayout.h"
#include "datastore/upload.h"
#include "settings/device.h"
#include "values/valuetext.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <cstdio>
#include <map>
#include <unistd.h>

namespace
{

class TCliProgress : public TProgress
{
public:
    TCliProgress() : Terminal(::isatty(2) == 1) {}
    void SetProgressRange(uint32_t min, uint32_t max, uint32_t) override
    {
        Min = min;
        Max = max;
    }
    void ShowProgress(const QString &line1, const QString &line2, const QString &line3) override
    {
        if (Terminal && !line1.isEmpty())
            std::fprintf(stderr, "\r\033[K%s  %s\n", qPrintable(line1), qPrintable(line2));
        Draw(line3, Min);
    }
    void StepProgress(const QString &line3, uint32_t position) override { Draw(line3, position); }
    void HideProgress() override
    {
        if (Terminal && Drawn)
            std::fputs("\r\033[K", stderr);
        Drawn = false;
    }
    // Ctrl-C, TERM and HUP are the Cancel button: a signal that came before the first look counts too.
    bool CancelRequested() const override { return TCliStopSignals::Stopped(); }

private:
    void Draw(const QString &line3, uint32_t position)
    {
        if (!Terminal)
            return;
        const double span = double(Max) - double(Min);
        const double part = span > 0 ? std::clamp((double(position) - Min) / span, 0.0, 1.0) : 0.0;
        const int filled = int(part * 30);
        std::fprintf(stderr, "\r\033[K[%s%s] %3d%% %s", QByteArray(filled, '#').constData(),
                     QByteArray(30 - filled, ' ').constData(), int(part * 100), qPrintable(line3.left(40)));
        Drawn = true;
    }
    TCliStopSignals Signals;
    bool Terminal;
    bool Drawn = false;
    uint32_t Min = 0, Max = 0;
};

// The options the store commands share, taken out of the argument list.
struct TStoreOptions {
    QString StoreDir;
    QString Serial;
    QString File;
    bool PlainLines = false;
    bool NewSequence = false;
    uint32_t MaxSize = DefaultMaxStoreFileSize;
    QString Records, From, To, Output;
};

// A whole number 0..4294967295, read strictly.
std::optional<uint32_t> Unsigned32(const QString &text)
{
    const TNumberRead v = ReadNumber(text, 0, false);
    if (!v || *v > 0xFFFFFFFFLL)
        return std::nullopt;
    return static_cast<uint32_t>(*v);
}

bool TakeOptions(QStringList args, TStoreOptions &o, QString &error)
{
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        auto value = [&](QString &out) {
            if (args.isEmpty()) {
                error = a + QStringLiteral(" needs a value");
                return false;
            }
            out = args.takeFirst();
            return true;
        };
        QString v;
        if (a == "--store") {
            if (!value(o.StoreDir))
                return false;
        } else if (a == "--serial") {
            if (!value(o.Serial))
                return false;
        } else if (a == "--plain-lines") {
            o.PlainLines = true;
        } else if (a == "--new-sequence") {
            o.NewSequence = true;
        } else if (a == "--max-store-size") {
            if (!value(v))
                return false;
            const std::optional<uint32_t> size = Unsigned32(v);
            if (size)
                o.MaxSize = *size;
            else {
                error = QStringLiteral("--max-store-size needs a number of bytes");
                return false;
            }
        } else if (a == "--records") {
            if (!value(o.Records))
                return false;
        } else if (a == "--from") {
            if (!value(o.From))
                return false;
        } else if (a == "--to") {
            if (!value(o.To))
                return false;
        } else if (a == "-o") {
            if (!value(o.Output))
                return false;
        } else if (!a.startsWith('-') && o.File.isEmpty()) {
            o.File = a;
        } else {
            error = QStringLiteral("unknown argument '%1'").arg(a);
            return false;
        }
    }
    return true;
}

void SetUpLayout(TDsdStoreLayout &layout, const TStoreOptions &o)
{
    if (!o.StoreDir.isEmpty())
        layout.SetStoreDir(o.StoreDir);
}

// The tamper verdict of a loaded store: "Found N records", or the tamper message with a count per
// verdict and the first record numbers of each.
QList<QByteArray> VerdictLines(const TDsdRecordStore &store)
{
    if (store.FileVerdict() == 0)
        return {store.StatusText.toLatin1()};
    QList<QByteArray> lines = {QByteArray(TamperEvidenceText),
                               " found " + QByteArray::number(store.RecordCount()) + " records"};
    static const std::pair<uint8_t, const char *> verdicts[] = {
        {VerdictFileTamper, "FILE TAMPER"},
        {VerdictFileIncomplete, "TAMPER: FILE INCOMPLETE"},
        {VerdictLastEntryTamper, "LAST ENTRY TAMPER"},
        {VerdictRecordTamper, "RECORD TAMPER"},
        {VerdictRecordFormat, "RECORD FORMAT"}};
    for (const auto &[bit, text] : verdicts) {
        if (!(store.FileVerdict() & bit))
            continue;
        uint32_t count = 0;
        QByteArray first;
        for (uint32_t i = 0; i < store.RecordCount(); ++i) {
            if (!(store.Entry(i).Verdict & bit))
                continue;
            if (++count <= 10)
                first += " " + QByteArray::number(store.Entry(i).Number);
        }
        if (bit == VerdictFileIncomplete)
            lines += QByteArray(text) + ": the store file has no trailer";
        else
            lines += QByteArray(text) + ": " + QByteArray::number(count) + " records, first:" + first;
    }
    return lines;
}

// The verdict on stderr, each line after `prefix`, with no evidence of tampering said as such.
void StateVerdict(const TDsdRecordStore &store, const QByteArray &prefix = {})
{
    QList<QByteArray> lines = VerdictLines(store);
    if (store.FileVerdict() == 0)
        lines.first() += ", no evidence of tampering";
    for (const QByteArray &line : lines)
        std::fprintf(stderr, "%s%s\n", prefix.constData(), line.constData());
}

bool Load(TDsdRecordStore &store, const TStoreOptions &o, const QString &path, const QString &serial);

int List(const TStoreOptions &o)
{
    TDsdStoreLayout layout;
    SetUpLayout(layout, o);
    // A folder that is not there is a mistyped --store, not an empty store: say so.
    if (!o.StoreDir.isEmpty() && !QFileInfo(layout.StoreDir()).isDir()) {
        std::fprintf(stderr, "No such store folder: %s\n", qPrintable(layout.StoreDir()));
        return ExitFile;
    }
    const QStringList stored = layout.StoredInstruments();
    if (stored.isEmpty())
        std::fprintf(stderr, "No record stores in %s\n", qPrintable(layout.StoreDir()));
    // Each store is read: its verdict goes to stderr, named by its serial number.
    int exit = ExitDone;
    for (const QString &isn : stored) {
        PrintLine(isn.toLatin1());
        TDsdRecordStore store;
        if (!Load(store, o, layout.ListedPath(isn), isn.trimmed())) {
            exit = ExitFile;
            continue;
        }
        StateVerdict(store, isn.toLatin1() + ": ");
        if (store.FileVerdict() != 0 && exit == ExitDone)
            exit = ExitTamper;
    }
    return exit;
}

int Upload(TCliContext &ctx, const TStoreOptions &o)
{
    if (!ctx.Options.HasConnection())
        return UsageError(
            QStringLiteral("'store upload' needs a connection: --tcp HOST[:PORT] or --serial DEVICE"));
    if (!ctx.Connect())
        return ExitNoReply;
    TDsdStoreLayout layout;
    SetUpLayout(layout, o);
    TDevice device;
    device.OnExchange = [&ctx](const QByteArray &request) { return ctx.Engine->TransactText(request); };
    TCliProgress progress;
    TDsdUpload upload(*ctx.Engine, device, layout);
    upload.Progress = &progress;
    upload.ScrambleLines = !o.PlainLines;
    upload.NewSequence = o.NewSequence;
    // An identification that got no answer (or a lost link) is not an unknown instrument: the
    // engine or the end of the command says what happened.
    bool unanswered = false;
    upload.CheckInstrumentKnown = [&] {
        device.ReadIdentity();
        if (device.CommsType == "00")
            return true;
        unanswered = !ctx.Engine->LinkOpen() || ctx.Engine->LastWaitTimedOut();
        if (!unanswered)
            ctx.Reporter.Error(QStringLiteral("Unknown Instrument Communications"));
        return false;
    };
    const TDsdUpload::TResult result = upload.DsdUploadOrRefreshClick();
    if (result == TDsdUpload::Failed && unanswered)
        return ExitNoReply;
    if (result == TDsdUpload::Failed) {
        ctx.Reporter.Error(upload.Message);
        return upload.Message.startsWith(QStringLiteral("Could not read the Data Store file")) ||
                       ctx.Engine->LinkOpen()
                   ? ExitFile
                   : ExitNoReply;
    }
    int exit = ExitDone;
    if (result == TDsdUpload::Restarted) {
        // Nothing of the new sequence is mixed into the store: say how to start a new one.
        ctx.Reporter.Error(upload.Message + QStringLiteral(" To keep this file as it is and start a new "
                                                           "Data Store file for the instrument's new "
                                                           "sequence: store upload --new-sequence"));
        exit = ExitNotContinued;
    } else if (result == TDsdUpload::Incomplete) {
        // What arrived is stored, but not everything: the message says after which record.
        if (TCliStopSignals::Stopped())
            std::fprintf(stderr, "brellin-cli: stopped by %s\n", TCliStopSignals::SignalName().constData());
        ctx.Reporter.Error(upload.Message);
        exit = upload.TooLongRecord != 0 ? ExitLimit : ExitNoReply;
    } else {
        PrintLine(upload.Message.toLatin1());
        if (!upload.Missing.isEmpty())
            exit = ExitRecordsMissing;
    }
    // The store as it now stands, read back: its tamper verdict.
    if (!QFileInfo::exists(upload.StorePath))
        return exit;
    TDsdRecordStore store;
    if (!Load(store, o, upload.StorePath, QString::fromLatin1(device.SerialNumber)))
        return exit == ExitDone || exit == ExitRecordsMissing ? int(ExitFile) : exit;
    StateVerdict(store);
    if (store.FileVerdict() != 0 && (exit == ExitDone || exit == ExitRecordsMissing))
        exit = ExitTamper;
    return exit;
}

// The store file a command works on, and the serial number it shows.
bool StoreFile(const TStoreOptions &o, QString &path, QString &serial)
{
    if (o.Serial.isEmpty() == o.File.isEmpty())
        return false;
    if (!o.Serial.isEmpty()) {
        TDsdStoreLayout layout;
        SetUpLayout(layout, o);
        path = layout.DsdIsnToDataStoreName(o.Serial);
        serial = o.Serial.trimmed();
        return true;
    }
    path = o.File;
    const QString name = QFileInfo(path).fileName();
    serial = name.startsWith(QLatin1String(StoreFilePrefix)) ? DsdIsnFromSearchRec(name).trimmed()
                                                             : QFileInfo(path).completeBaseName();
    return true;
}

bool Load(TDsdRecordStore &store, const TStoreOptions &o, const QString &path, const QString &serial)
{
    store.ScrambleLines = !o.PlainLines;
    store.MaxStoreFileSize = o.MaxSize;
    if (store.DsdMemMapFileInit(path, serial)) {
        for (const QString &text : store.WindowMessages)
            std::fprintf(stderr, "%s\n", qPrintable(text));
        if (store.FileChanged())
            std::fprintf(stderr, "%s\n", StoreChangedText);
        return true;
    }
    for (const QString &text : store.WindowMessages)
        std::fprintf(stderr, "%s\n", qPrintable(text));
    return false;
}

// A file of which no line has a record's fields and which has no trailer was never a store file
// (a text file named by mistake); calling it tampered would send an auditor the wrong way.
bool NotAStoreFile(const TDsdRecordStore &store)
{
    if (!(store.FileVerdict() & VerdictFileIncomplete) || store.RecordCount() == 0)
        return false;
    for (uint32_t i = 0; i < store.RecordCount(); ++i) {
        if (!(store.Entry(i).Verdict & VerdictRecordFormat))
            return false;
    }
    return true;
}

int Verify(const TStoreOptions &o)
{
    QString path, serial;
    if (!StoreFile(o, path, serial))
        return UsageError(QStringLiteral("usage: store verify (--serial SN | FILE) [--store DIR]"));
    TDsdRecordStore store;
    if (!Load(store, o, path, serial))
        return ExitFile;
    if (store.FileVerdict() != 0 && NotAStoreFile(store)) {
        std::fprintf(stderr, "%s is not a store file: none of its lines reads as a record\n",
                     qPrintable(path));
        return ExitFile;
    }
    for (const QByteArray &line : VerdictLines(store))
        PrintLine(line);
    return store.FileVerdict() == 0 ? ExitDone : ExitTamper;
}

bool ParseMoment(const QString &text, uint32_t &date, uint32_t &time)
{
    const QDateTime at = QDateTime::fromString(text.trimmed(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!at.isValid())
        return false;
    date = uint32_t(at.date().year() * 10000 + at.date().month() * 100 + at.date().day());
    time = uint32_t(at.time().hour() * 10000 + at.time().minute() * 100 + at.time().second());
    return true;
}

int Extract(const TStoreOptions &o)
{
    QString path, serial;
    if (!StoreFile(o, path, serial) || (!o.Records.isEmpty() && (!o.From.isEmpty() || !o.To.isEmpty())))
        return UsageError(QStringLiteral("usage: store extract (--serial SN | FILE) [--records A:B | --from "
                                         "\"YYYY-MM-DD HH:MM:SS\" --to \"...\"] [-o OUT]"));
    TDsdRecordStore store;
    TDsdSelection selection(store);
    if (!o.Records.isEmpty()) {
        const QStringList ends = o.Records.split(':');
        if (ends.size() != 2 || !Unsigned32(ends[0]) || !Unsigned32(ends[1]))
            return UsageError(QStringLiteral("--records needs FIRST:LAST record numbers"));
        selection.Mode = SelectRecordNumber;
        selection.FromText = ends[0].toLatin1();
        selection.ToText = ends[1].toLatin1();
    } else if (!o.From.isEmpty() || !o.To.isEmpty()) {
        selection.Mode = SelectDateTime;
        if (!ParseMoment(o.From.isEmpty() ? QStringLiteral("1900-01-01 00:00:00") : o.From,
                         selection.FromDate, selection.FromTime) ||
            !ParseMoment(o.To.isEmpty() ? QStringLiteral("9999-12-31 23:59:59") : o.To, selection.ToDate,
                         selection.ToTime))
            return UsageError(QStringLiteral("--from and --to take \"YYYY-MM-DD HH:MM:SS\""));
    }
    if (!Load(store, o, path, serial))
        return ExitFile;
    selection.ResetCaches();
    const QString out = o.Output.isEmpty() ? DsdCsvFileName(serial) : o.Output;
    TCliProgress progress;
    const TDsdExtractResult r = DsdExtractCsvToFile(selection, serial, out, &progress);
    if (!r.Done) {
        std::fprintf(stderr, "%s\n", qPrintable(r.Message));
        StateVerdict(store);
        return r.NothingSelected ? ExitNothingSelected : ExitFile;
    }
    // Cancelled (Ctrl-C, TERM, HUP): the file keeps the records extracted before; not complete.
    if (r.Cancelled) {
        std::fprintf(stderr, "brellin-cli: stopped by %s: %s %s holds the first %u selected records.\n",
                     TCliStopSignals::SignalName().constData(), qPrintable(r.Message), qPrintable(out),
                     unsigned(r.Count));
        return ExitNoReply;
    }
    PrintLine(QString(r.Message).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).toLocal8Bit());
    // The records are written with their verdict marks; the verdict of the whole file goes to stderr.
    StateVerdict(store);
    return store.FileVerdict() == 0 ? ExitDone : ExitTamper;
}

int Store(TCliContext &ctx, const QStringList &args)
{
    if (args.isEmpty())
        return UsageError(QStringLiteral("usage: store list|upload|verify|extract ..."));
    TStoreOptions o;
    QString error;
    if (!TakeOptions(args.mid(1), o, error))
        return UsageError(error);
    const QString what = args.first();
    if (what == "list")
        return List(o);
    if (what == "upload")
        return Upload(ctx, o);
    if (what == "verify")
        return Verify(o);
    if (what == "extract")
        return Extract(o);
    return UsageError(QStringLiteral("unknown store command '%1'").arg(what));
}

TCliRegistrar storeCommand{
    {"store",
     "            store list [--store DIR]\n"
     "                                  the stored serial numbers, as the Data Store tab lists them (closed "
     "store\n"
     "                                  files with their closing time); each store's verdict on stderr\n"
     "            store upload [--store DIR] [--new-sequence]\n"
     "                                  upload the instrument's new records into its store file (Ctrl-C,\n"
     "                                  TERM or HUP cancel);\n"
     "                                  exit 3 when the upload stopped early (what arrived is kept: upload "
     "again);\n"
     "                                  it goes on only when the instrument still holds the stored last "
     "record\n"
     "                                  unchanged, else exit 9 and nothing stored; --new-sequence then "
     "keeps the\n"
     "                                  file unchanged as .isn.<name>.closed-<UTC time> and starts a new "
     "one;\n"
     "                                  records no longer on the instrument are named (exit 10)\n"
     "            store verify (--serial SN | FILE) [--store DIR]\n"
     "                                  \"Found N records\", or the tamper message with a count per verdict "
     "and\n"
     "                                  the first record numbers of each (exit 4)\n"
     "            store extract (--serial SN | FILE) [--store DIR] [--records A:B |\n"
     "                          --from \"YYYY-MM-DD HH:MM:SS\" --to \"...\"] [-o OUT]\n"
     "                                  the selected records as CSV (default Instrument_<serial>.csv);\n"
     "                                  exit 7 and no file when no record lies in the range\n"
     "            store ... --plain-lines   store lines unscrambled; --max-store-size N   largest file "
     "loaded",
     false, Store}};

} // namespace
