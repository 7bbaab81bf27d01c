// brellin-cli: the change journal of an instrument (opened before a command changes it), printed
// one event a line, and its chain verified.
#include "cli.h"
#include "datastore/storelayout.h"
#include "link/comms.h"
#include "values/tools.h"

#include <QFileInfo>

bool TCliContext::OpenJournal(int &exit)
{
    if (Journal)
        return true;
    if (!EnsureConnected(exit))
        return false;
    // The identity names the journal: read quietly (a refusal is no news here), and after one
    // unanswered read the others are not waited for.
    auto read = [this](int reg) -> std::optional<QByteArray> {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (Engine->Transact(CmdRead, reg, {}, true, false))
                return Engine->LastReply.Data;
            if (!Engine->LinkOpen() || !Engine->LastWaitTimedOut())
                break;
        }
        return std::nullopt;
    };
    QByteArray serial, model, version;
    if (const std::optional<QByteArray> number = read(0x0005)) {
        serial = QByteArray::number(static_cast<uint32_t>(HexToInt(*number)));
        model = read(0x0003).value_or(QByteArray());
        version = read(0x0004).value_or(QByteArray());
    }
    if (!Engine->LinkOpen()) {
        exit = ExitNoReply;
        return false;
    }
    // An instrument that does not give its serial number still has its changes journalled, under
    // "unknown".
    if (serial.isEmpty())
        serial = "unknown";
    TDsdStoreLayout layout;
    if (!StoreDir.isEmpty())
        layout.SetStoreDir(StoreDir);
    else
        layout.EnsureStoreDir();
    auto journal = std::make_unique<TChangeJournal>();
    QString error;
    if (!journal->Open(layout.StoreDir(), TJournalIdentity::OfThisProcess(serial, model, version), &error)) {
        std::fprintf(stderr, "brellin-cli: the change journal cannot be written (%s); nothing was sent\n",
                     error.toLocal8Bit().constData());
        exit = ExitFile;
        return false;
    }
    journal->SetAction(QStringLiteral("brellin-cli ") + CommandLineWithoutPasscodes(CommandLine));
    Journal = std::move(journal);
    Engine->Changes = Journal.get();
    return true;
}

namespace
{

struct TJournalArgs {
    QString Serial, Store, From, To;
    bool Verify = false;
};

// "2026-12-08" (the whole day) or "2026-12-08 06:30" / "2026-12-08T06:30:00", local time.
std::optional<QDateTime> ReadWhen(const QString &text, bool end)
{
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid())
        return end ? QDateTime(day.addDays(1), QTime(0, 0)).addMSecs(-1) : QDateTime(day, QTime(0, 0));
    for (const char *format :
         {"yyyy-MM-dd HH:mm", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm", "yyyy-MM-ddTHH:mm:ss"}) {
        const QDateTime when = QDateTime::fromString(text, QLatin1String(format));
        if (when.isValid())
            return when;
    }
    return std::nullopt;
}

int Journal(TCliContext &, const QStringList &args)
{
    const char usage[] = "usage: journal [verify] --serial SN [--store DIR] [--from WHEN] [--to WHEN]";
    TJournalArgs o;
    QStringList words = args;
    if (!words.isEmpty() && words.first() == "verify") {
        o.Verify = true;
        words.removeFirst();
    }
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &a = words.at(i);
        QString *target = a == "--serial"  ? &o.Serial
                          : a == "--store" ? &o.Store
                          : a == "--from"  ? &o.From
                          : a == "--to"    ? &o.To
                                           : nullptr;
        if (!target || i + 1 >= words.size())
            return UsageError(target ? a + " needs a value"
                                     : QStringLiteral("unknown argument '%1'; %2").arg(a, usage));
        *target = words.at(++i);
    }
    if (o.Serial.isEmpty())
        return UsageError(usage);
    if (o.Verify && (!o.From.isEmpty() || !o.To.isEmpty()))
        return UsageError("journal verify checks the whole journal: no --from or --to");
    std::optional<QDateTime> from, to;
    if (!o.From.isEmpty() && !(from = ReadWhen(o.From, false)))
        return UsageError("--from: '" + o.From + "' is no date (YYYY-MM-DD [HH:MM])");
    if (!o.To.isEmpty() && !(to = ReadWhen(o.To, true)))
        return UsageError("--to: '" + o.To + "' is no date (YYYY-MM-DD [HH:MM])");
    TDsdStoreLayout layout;
    if (!o.Store.isEmpty())
        layout.SetStoreDir(o.Store);
    const QString path = TChangeJournal::FolderFor(layout.StoreDir(), o.Serial.toLatin1()) +
                         QLatin1Char('/') + QLatin1String(JournalFileName);
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "brellin-cli: no change journal for %s in %s\n", qPrintable(o.Serial),
                     qPrintable(layout.StoreDir()));
        return ExitFile;
    }
    QString error;
    if (o.Verify) {
        const TJournalVerdict verdict = VerifyJournal(path, &error);
        if (verdict.Lines < 0) {
            std::fprintf(stderr, "brellin-cli: %s\n", error.toLocal8Bit().constData());
            return ExitFile;
        }
        for (const QString &problem : verdict.Problems)
            PrintLine(problem.toUtf8());
        if (!verdict.Intact()) {
            PrintLine(
                QStringLiteral("%1: %2 lines, EVIDENCE OF CHANGE").arg(path).arg(verdict.Lines).toUtf8());
            return ExitTamper;
        }
        PrintLine(QStringLiteral("%1: %2 lines, the chain holds").arg(path).arg(verdict.Lines).toUtf8());
        return ExitDone;
    }
    QList<TJournalLine> lines;
    if (!ReadJournalFile(path, lines, &error)) {
        std::fprintf(stderr, "brellin-cli: %s\n", error.toLocal8Bit().constData());
        return ExitFile;
    }
    for (const TJournalEvent &event : JournalEvents(lines)) {
        const QDateTime when = event.Line.When();
        if ((from && when < *from) || (to && when > *to))
            continue;
        PrintLine(JournalEventText(event));
    }
    return ExitDone;
}

TCliRegistrar journalCommand{
    {"journal",
     "            journal --serial SN [--store DIR] [--from WHEN] [--to WHEN]\n"
     "                                  the instrument's change journal, one event a line, oldest first\n"
     "                                  (WHEN: YYYY-MM-DD [HH:MM], local time)\n"
     "            journal verify --serial SN [--store DIR]\n"
     "                                  checks the journal's hash chain: exit 0 when it holds, 4 when a\n"
     "                                  line was changed, removed or moved. The chain has no secret: it\n"
     "                                  shows accidents and careless edits, not a determined forger,\n"
     "                                  who can rewrite the whole chain (or cut lines off its end)",
     false, Journal}};

} // namespace
