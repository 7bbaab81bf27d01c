// The change journal of one instrument: an append-only UTF-8 text file in the record store's
// folder, a header line and one line per event, each line chained to the one before by SHA-256.
// An intent is on disk (flushed and synced) before its request goes out; its outcome follows.
#pragma once

#include "link/changerecorder.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <future>
#include <memory>

// Who and what every line of one run names: the instrument, the PC user and host, the program.
struct TJournalIdentity {
    QByteArray Serial, Model, Version;
    QString User, Host, Program;
    // The PC user and host of this process, and the program's name and version.
    static TJournalIdentity OfThisProcess(const QByteArray &serial, const QByteArray &model,
                                          const QByteArray &version);
};

// One line of a journal file, taken apart.
struct TJournalLine {
    enum TMark { MarkHeader, MarkIntent, MarkOutcome, MarkEvent };
    int LineNumber = 0; // in the file, from 1
    int64_t Seq = 0;
    TMark Mark = MarkEvent;
    int64_t Ref = 0; // an outcome's intent
    QString Time;    // ISO 8601 with the zone offset
    QByteArray Kind;
    QByteArray Serial, Model, Version;
    QString UserHost, Program, Action;
    QByteArray Path;
    int Command = -1, Register = -1;
    QByteArray Before, Asked, ReadBack;
    QString Outcome; // "confirmed", "refused: text", "not confirmed: why"; empty on an intent
    QString Note;
    QByteArray Hash;
    QDateTime When() const { return QDateTime::fromString(Time, Qt::ISODateWithMs); }
};

// One event as shown: an intent joined with its outcome (an intent without one is "outcome
// unknown"), or a line that is an event by itself (a session's start or end, a snapshot).
struct TJournalEvent {
    TJournalLine Line;            // the outcome line when there is one, else the intent or event line
    QString Outcome;              // "outcome unknown" for an intent without outcome
    QString RegisterText() const; // "B010" as the protocol writes it; empty when none
};

// What `journal verify` found.
struct TJournalVerdict {
    int Lines = 0;        // lines read, the header included
    QStringList Problems; // one per line that breaks the chain, with its line number
    bool Intact() const { return Problems.isEmpty(); }
};

inline constexpr char JournalFileName[] = "journal.txt";
inline constexpr char OutcomeUnknownText[] = "outcome unknown";

class TChangeJournal : public TChangeRecorder
{
public:
    // The folder of one instrument's journal, snapshots and last-visit settings, inside the store
    // folder: "<store>/journal/<serial>".
    static QString FolderFor(const QString &storeDir, const QByteArray &serial);

    // Opens (creating when missing, with its header) the journal of the identity's instrument.
    bool Open(const QString &storeDir, const TJournalIdentity &identity, QString *error);
    bool IsOpen() const { return !Path.isEmpty(); }
    QString FilePath() const { return Path; }
    QString Folder() const;
    const TJournalIdentity &Identity() const { return Id; }

    // The window's action or the command line, for the lines that follow.
    void SetAction(const QString &action) { Action = action; }
    QString CurrentAction() const { return Action; }

    ~TChangeJournal() override;
    int64_t Intent(const TChangeEvent &event) override;
    int64_t IntentAhead(const TChangeEvent &event) override;
    bool Synced(int64_t intent) override;
    void Outcome(int64_t intent, const TChangeResult &result) override;
    QString LastError() const override { return Error; }
    bool Event(const TChangeEvent &event, const QString &outcome) override;

    // The clock of the lines (tests fix it).
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

private:
    // Appends one line under the file's lock, chained to the file's last line; the new line's
    // number, or 0 (Error says why). `sync`: on disk before returning.
    int64_t Append(TJournalLine line, bool sync);
    TJournalLine LineFor(const TChangeEvent &event) const;
    QString Path;
    TJournalIdentity Id;
    QString Action;
    QString Error;
    struct TOpen {
        int64_t Seq;
        TChangeEvent Event;
    };
    QList<TOpen> Pending; // intents whose outcome has not been written
    // The sync of the intent written ahead (AheadSeq), running on a thread of its own.
    std::future<bool> AheadSync;
    int64_t AheadSeq = 0;
    // The open file, its size after our last line, and that line (to chain to while nobody else wrote).
    std::unique_ptr<QFile> File;
    qint64 KnownSize = -1;
    QByteArray KnownLast;
};

// The fields of a line in file order, and the line as written (without its hash).
QByteArray JournalLineBody(const TJournalLine &line);
// The hash a line carries: SHA-256 of the hash before (empty for the header) and the line's body.
QByteArray JournalChainHash(const QByteArray &previous, const QByteArray &body);
// One line of the file taken apart; false when it is not a journal line.
bool ParseJournalLine(const QByteArray &text, TJournalLine &line);
// Reads a journal file's lines; false (with the reason) when it cannot be read. A line that is not
// one of the journal's comes back with Mark Event and an empty Kind (verify names it).
bool ReadJournalFile(const QString &path, QList<TJournalLine> &lines, QString *error);
// The events, oldest first: each intent with its outcome or "outcome unknown".
QList<TJournalEvent> JournalEvents(const QList<TJournalLine> &lines);
// Checks the chain of a journal file: every line's hash from the line before, numbers in order.
TJournalVerdict VerifyJournal(const QString &path, QString *error);
// The registers whose values are passcodes: never written to the journal.
bool IsPasscodeRegister(int reg);
// A command line with the value of every --passcode left out.
QString CommandLineWithoutPasscodes(const QStringList &words);
// One event as `brellin-cli journal` prints it.
QByteArray JournalEventText(const TJournalEvent &event);
// The events within [from, to] (an invalid end: open) of one kind (empty: every kind).
QList<TJournalEvent> FilterJournalEvents(const QList<TJournalEvent> &events, const QDateTime &from,
                                         const QDateTime &to, const QByteArray &kind);
// The events as CSV (UTF-8, a header row, "," between fields, quotes doubled), in the order given.
QByteArray JournalCsv(const QList<TJournalEvent> &events);
// The serial numbers that have a journal in a store folder, sorted.
QStringList JournalSerials(const QString &storeDir);
// What the chain shows and what it does not, for the help and the journal window.
extern const char JournalChainHelp[];
