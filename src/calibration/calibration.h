// Calibration of the instrument's load-cell input: zero, span, direct mV/V entries and the ten
// linearisation points. Each step starts with one command, is watched through the status register
// until it ends, and is followed by a save and a read-back of the figures.
#pragma once

#include "journal/journalscope.h"
#include "values/valuetext.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>

class TDevice;
class TReporter;
class TSession;
class TTransactionEngine;

// The four uses of the value dialog.
enum class TCalUse { DirectZero, DirectSpan, Span, Linearisation };

// What the value dialog shows: the use, the presets and the weight's units.
struct TCalAsk {
    TCalUse Use = TCalUse::Span;
    QByteArray Signal;      // mV/V with 4 decimals (direct uses)
    QByteArray Weight;      // the preset weight (span), the calibration weight (direct span, read-only)
    QByteArray Units;       // two characters
    int WeightDecimals = 0; // decimals a typed weight may have (the calibration weight's)
};

// How a calibration operation ended.
enum class TCalEnd {
    Done,       // the step ended without a result code, or a direct entry was taken
    NotStarted, // nothing to do (no point chosen, no link)
    Cancelled,  // the dialog was cancelled: nothing sent
    NoAccess,   // the full level stayed closed (passcode cancelled or refused): nothing sent
    BadEntry,   // the typed value was refused before anything was sent
    Refused,    // the instrument refused a command or the status read
    ResultCode, // the instrument ended the step with a result code
    NoReply,    // a command or the status read went unanswered
    LinkLost,   // the link dropped during the operation
    // The instrument answered, but what it shows does not confirm the step: its start (a lost
    // answer the status and counter cannot settle), its end (the counter did not move), or a
    // direct entry whose figure reads back different from what was sent.
    Unconfirmed,
};

// What the instrument shows of its calibration steps: the status register and the calibration
// counter, which counts the steps it finished (none when the instrument keeps no counter).
struct TCalWitness {
    uint32_t Status = 0;
    std::optional<uint32_t> Count;
};

struct TCalOutcome {
    TCalEnd End = TCalEnd::NotStarted;
    int Code = 0;          // the result code (ResultCode)
    bool Sent = false;     // a calibration command went to the instrument
    bool Saved = false;    // the instrument confirmed the save that follows a step
    bool ReadBack = false; // every calibration figure was read back
    QString Message;       // what the user was told about the failure, if anything
    // Done, saved and read back: the instrument holds the step's result and keeps it.
    bool Confirmed() const { return End == TCalEnd::Done && Saved && ReadBack; }
};

class TCalibration : public QObject
{
    Q_OBJECT
public:
    TCalibration(TTransactionEngine *engine, TDevice *device, TSession *session, QObject *parent = nullptr);

    TReporter *Reporter = nullptr;
    // The value dialog: returns the signal text (direct uses) or the weight text; none = Cancel.
    std::function<std::optional<QByteArray>(const TCalAsk &ask)> OnAskValue;
    // True while an operation runs after access was granted: the program locks its controls.
    std::function<void(bool busy)> OnBusy;
    // While a step is watched: the seconds since it started (0 first, then each new second),
    // and the end of the watch.
    std::function<void(int seconds)> OnWatching;
    std::function<void()> OnWatchEnded;
    // The figures were read back (ShowCalibrationInfo).
    std::function<void()> OnCalibrationInfo;

    // The flows of the four buttons. Indexes are 0..9.
    TCalOutcome Zero();
    TCalOutcome DirectZero();
    TCalOutcome Span();
    TCalOutcome DirectSpan();
    TCalOutcome SetPoint(int index);
    TCalOutcome ClearPoint(int index);

    // Reads the status every 500 ms until the step is over (see the source for the rule); with
    // the counter read before the start, the step is done only when the counter moved.
    TCalOutcome WaitForCalibration(const TCalWitness &before = {});
    // The status and the counter; none when the status read failed (the engine has said why).
    std::optional<TCalWitness> ReadWitness();
    // "Error: %d - %s" for the low four bits of a status.
    void ShowCalibrationResult(uint32_t status);
    // Reads the figures back (ReadCalibrationInfo); true when every read was answered.
    bool ReadBack();

    static QByteArray ResultText(int code);
    // The line shown while a step is watched: "Calibration in progress: 12 s".
    static QString WatchText(int seconds);
    static QString ResultMessage(uint32_t status);
    // "Out of Range: (-3.0000 to 3.0000)"
    static QString SignalRangeMessage();
    // A typed signal in 0.0001 mV/V, read strictly (at most 4 decimals), or why it is refused
    // (not a number, or outside +-3.0000 mV/V: the range message).
    static TNumberRead ReadSignal(const QByteArray &text);
    // A typed weight in units of the last displayed digit (at most `decimals` decimals, within 32
    // bits), or why it is refused.
    static TNumberRead ReadWeight(const QByteArray &text, int decimals);
    static std::optional<int32_t> SignalValue(const QByteArray &text);
    static std::optional<int32_t> WeightValue(const QByteArray &text, int decimals);
    // A signed value as the instrument takes it: upper-case hex, negatives as 8 digits.
    static QByteArray HexArgument(int32_t value);

    static constexpr int32_t SignalLimit = 30000;
    static constexpr uint32_t StatusInProgress = 0x2000;
    static constexpr uint32_t StatusResult = 0x000F;
    static constexpr int WatchTicks = 5;
    // Quiet readings that end a watch, at least: a short reply time-out does not end it unread.
    static constexpr int MinQuietReadings = 2;
    static constexpr int CounterRegister = 0x1702;

private:
    bool Access();
    TCalOutcome AccessFailure();
    TCalOutcome CommandFailure();
    // The link dropped: the message says what the instrument had confirmed before (the step's
    // end, the save) and what not.
    TCalOutcome Lost(const TCalOutcome &sofar = {});
    TCalOutcome Finish(TCalOutcome outcome);
    TCalOutcome Step(int reg, const QByteArray &data);
    // The value dialog's text; none (the outcome Cancelled) when it was cancelled.
    std::optional<QByteArray> AskValue(const TCalAsk &ask, TCalOutcome &outcome);
    // The outcome of a result code in the status, shown to the user.
    TCalOutcome ResultOutcome(uint32_t status);
    // The shapes of the flows: a step without a value (zero, clearing a point); a weight asked for,
    // written and then its step run (span, setting a point); a signal asked for and sent directly,
    // kept in the device figures when taken (direct zero and span).
    TCalOutcome PlainStep(int reg, const QByteArray &data);
    TCalOutcome WeightStep(const TCalAsk &ask, int reg, const QByteArray &data);
    TCalOutcome DirectSignal(const TCalAsk &ask, int reg, void (TDevice::*keep)(int32_t));
    // The weight from the dialog's text; none (with the message given) when it cannot be sent.
    std::optional<int32_t> Weight(const QByteArray &text, TCalOutcome &outcome);
    // Waits n link ticks; false at once when the link drops.
    bool WaitTicks(int n);
    // A step's line in the instrument's journal, when it keeps one: the figures and calibration
    // counter before it with the intent (false, with the outcome to return, when the intent could
    // not be written: nothing is sent); then the outcome, the figures and the counter after it.
    bool JournalIntent(std::optional<TJournalScope> &journal, int reg, const QByteArray &asked,
                       const QString &what, int point, TCalOutcome &refused);
    TCalOutcome Journalled(std::optional<TJournalScope> &journal, const TCalOutcome &out, int point);
    // "zero 0.1083 mV/V, fullscale 2.0000 mV/V" as last read, with a linearisation point's line.
    QByteArray FiguresText(int point) const;

    TTransactionEngine *Engine;
    TDevice *Device;
    TSession *Session;
    QTimer WatchTimer;
    QElapsedTimer WatchClock;
    int WatchSeconds = -1;
    bool SaveAsked = false; // the save after a step was sent (for the message of a lost link)
};
