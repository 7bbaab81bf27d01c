// Sending a settings file to the instrument: access, the calibration-line rule, the totals
// question, the paced transfer of the request lines (lost replies checked against the
// instrument's state before any resend, a lapsed session reopened), then lock and save.
#pragma once

#include "transfer.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <algorithm>
#include <functional>
#include <optional>

class TReporter;
class TSession;
class TTransactionEngine;

// What became of sending a settings file.
struct TSettingsSendResult {
    enum TStatus {
        Sent,       // every line went out and was answered (or its effect read back)
        NotStarted, // nothing was sent: not connected, session open, access refused, totals declined
        NoReply,    // the instrument stopped answering: the lines from Answered on were not sent
        Lapsed,     // the session lapsed and could not be reopened: the lines from Answered on were not sent
        Cancelled,  // the user cancelled the transfer
        LinkLost,   // the link went: the lines from Answered on were not sent
    };
    TStatus Status = NotStarted;
    int Lines = 0;    // request lines to send, the end-of-transfer line included
    int Answered = 0; // lines answered or confirmed, refusals included
    // Every line the instrument refused, with its register and the instrument's text.
    QList<TRefusedLine> Refused;
    // Lines whose reply was lost and which were not sent again (sending them twice is not
    // harmless and their effect cannot be read back): whether they took effect is unknown.
    QList<QByteArray> Unconfirmed;
    // Why nothing was sent or why the transfer stopped; empty when it ran to its end.
    QString Message;
    // Everything sent, answered and accepted.
    bool Complete() const { return Status == Sent && Refused.isEmpty() && Unconfirmed.isEmpty(); }
    // Lines accepted by the instrument (answered without refusal, or their effect read back).
    int Confirmed() const { return Answered - static_cast<int>(Refused.size()); }
    // Lines never sent: those after the point where the transfer stopped.
    int NotSent() const { return std::max(0, Lines - Answered - static_cast<int>(Unconfirmed.size())); }
    // "19 of 72 lines confirmed, 1 refused, 1 without reply (not known whether it took effect),
    // 51 not sent".
    QString Counts() const;
    // One text for the end of a transfer: what was sent, every refused line, what was not sent.
    QString Summary() const;
};

class TSettingsSender
{
public:
    TSettingsSender(TTransactionEngine *engine, TSession *session, TReporter *reporter);
    ~TSettingsSender();

    // The request lines left by the preview. includeCalibration is the "Include Calibration"
    // choice; the full level is asked for when the file carries a calibration line.
    TSettingsSendResult SendFile(QList<QByteArray> requests, bool includeCalibration);
    // The same; false when nothing was sent (session open, access refused, totals question
    // declined, not connected). The outcome is in Result.
    bool Send(QList<QByteArray> requests, bool includeCalibration);
    // Sends the lines through the paced transfer, then locks and saves.
    bool SendSettingsList(const QList<QByteArray> &lines);

    // Runs the transfer (the dialog shows it modally); by default it runs without a window.
    // It gets this sender's Transfer, whose progress it may show.
    std::function<bool(TSettingsTransfer &)> RunTransfer;
    // Blank both display mimics while the transfer owns the replies.
    std::function<void()> OnBlankMimics;
    TSettingsTransfer Transfer;
    // The transfer ran to its end (false after "Instrument not Responding" or Cancel).
    bool TransferCompleted = false;
    TSettingsSendResult Result;

    // How often a read-back of the instrument's state is tried before it counts as unanswered.
    int ReadBackAttempts = 3;

    // The instrument's settings saved just before the send (the request lines of a settings file)
    // and that file's name: each line's journal entry gives the value the register had then, and
    // names the file.
    void SetSnapshot(const QString &file, const QList<QByteArray> &lines);

private:
    bool BeforeLine(const QByteArray &line);
    TLostReply CheckLostLine(const QByteArray &line);
    bool OpenLevel();
    bool Reopen(QString *why);
    std::optional<int> ReadProductCount();
    std::optional<QByteArray> ReadCurrentProductName();
    bool ReadBack(int command, int reg, const QByteArray &data);

    TTransactionEngine *Engine;
    TSession *Session;
    TReporter *Reporter;
    int Level = 1; // the access level the file needs
    // The passcode that opened the level for this send, to reopen a lapsed session with it.
    std::optional<QByteArray> Passcode;
    std::optional<int> ProductsBefore; // product count before the add being sent

    // The change journal (through the engine's recorder): the intent of the line in flight.
    bool JournalLine(const QByteArray &line);
    void JournalSettled(TChangeOutcome outcome, const QString &text);
    int64_t LineIntentFor(const QByteArray &line, int number, bool ahead);
    // The next line's intent, written while the line before is on its way.
    void PrepareNextLine();
    void ClosePreparedLine();
    int64_t LineIntent = 0;
    int64_t PreIntent = 0;
    int PreIntentPosition = -1;
    QString SnapshotFile;
    QHash<QByteArray, QByteArray> SnapshotValues; // by command and register
};
