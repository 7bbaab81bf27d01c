// What the engine tells a change journal: each request that changes the instrument before it goes
// out and its outcome after. The engine knows only this interface, never the journal's files.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

enum class TChangeOutcome { Confirmed, Refused, NotConfirmed };

// One change as the journal records it. The fields the engine cannot know (menu path, value
// before) are filled by the operation that asks for the change, when it knows them.
struct TChangeEvent {
    QByteArray Kind;   // "write", "key", "command", "send", "calibration", "product", "clock", "raw", ...
    QString Action;    // the window's action, or the command line (without passcodes)
    QByteArray Path;   // the menu path ("SETUP > BUILD > DP"), when the change is one of the tree's items
    int Command = -1;  // the protocol's command (0x12 write, 0x10 execute); -1: none
    int Register = -1; // the register; -1: none
    QByteArray Before; // the value before, as the instrument wrote it; empty: not read
    QByteArray Asked;  // the value (or argument) sent
    QString Note;      // figures, counters, a snapshot's file name
};

// The end of one change: the instrument's answer, what was read back and anything learned since.
struct TChangeResult {
    TChangeOutcome Outcome = TChangeOutcome::NotConfirmed;
    QByteArray ReadBack; // the value read after the change; empty: not read
    QString Text;        // the instrument's refusal text, or why it is not confirmed
    QString Note;        // added to the intent's note (counters after, figures)
};

class TChangeRecorder
{
public:
    virtual ~TChangeRecorder() = default;
    // Records the change about to be asked for, on disk before the request goes out. Returns the
    // event's number for its outcome, or 0 when it could not be recorded: then it is not sent.
    virtual int64_t Intent(const TChangeEvent &event) = 0;
    // An intent written ahead of its request while another one is on the line: its sync to disk
    // runs meanwhile, and Synced (called before the request goes out) waits for it. 0: not written.
    virtual int64_t IntentAhead(const TChangeEvent &event) { return Intent(event); }
    // The intent is on disk; false when its sync failed (then the request does not go out).
    virtual bool Synced(int64_t intent)
    {
        (void)intent;
        return true;
    }
    // Records the outcome of an intent (its number from Intent).
    virtual void Outcome(int64_t intent, const TChangeResult &result) = 0;
    // An event complete in itself (a session's start or end, a snapshot): one line, no outcome
    // to wait for. False when it could not be recorded.
    virtual bool Event(const TChangeEvent &event, const QString &outcome) = 0;
    // Why the last Intent returned 0.
    virtual QString LastError() const = 0;
};
