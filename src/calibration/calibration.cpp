// Calibration steps and their outcomes (see calibration.h); the status watch and read-back are in
// calibrationwatch.cpp, the change journal's lines in calibrationjournal.cpp.
#include "calibration.h"
#include "calregisters.h"

#include "i18n/LumsLang.h"
#include "journal/journalscope.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "settings/device.h"
#include "settings/session.h"
#include "values/tools.h"

#include <algorithm>
#include <limits>

namespace
{

// Locks the program's controls for its lifetime, on every way out.
class TControlsLock
{
public:
    explicit TControlsLock(const std::function<void(bool)> &busy) : Busy(busy)
    {
        if (Busy)
            Busy(true);
    }
    ~TControlsLock()
    {
        if (Busy)
            Busy(false);
    }
    TControlsLock(const TControlsLock &) = delete;
    TControlsLock &operator=(const TControlsLock &) = delete;

private:
    std::function<void(bool)> Busy;
};

} // namespace

TCalibration::TCalibration(TTransactionEngine *engine, TDevice *device, TSession *session, QObject *parent)
    : QObject(parent), Engine(engine), Device(device), Session(session)
{
    WatchTimer.setInterval(200);
    connect(&WatchTimer, &QTimer::timeout, this, [this] {
        const int seconds = static_cast<int>(WatchClock.elapsed() / 1000);
        if (seconds != WatchSeconds && OnWatching)
            OnWatching(seconds);
        WatchSeconds = seconds;
    });
}

// --- texts and values --------------------------------------------------------------------------

QByteArray TCalibration::ResultText(int code)
{
    static const char *const texts[] = {"",
                                        "Calibration Cancelled",
                                        "Calibration already in progress",
                                        "Instrument Error",
                                        "Overload/Underload",
                                        "Instrument Busy",
                                        "Stability not achieved",
                                        "Loadcell signal outside limits",
                                        "Resolution signal strength too low",
                                        "Unknown",
                                        "Linearisation Point too close"};
    return code > 0 && code < 11 ? QByteArray(texts[code]) : QByteArray();
}

QString TCalibration::ResultMessage(uint32_t status)
{
    const int code = static_cast<int>(status & StatusResult);
    const QByteArray key = "CalResult" + QByteArray::number(code);
    return LangText("Messages", "CalError", QStringLiteral("Error: %1 - %2"))
        .arg(code)
        .arg(LangText("Messages", key.constData(), QString::fromLatin1(ResultText(code))));
}

QString TCalibration::WatchText(int seconds)
{
    return LangText("Messages", "CalWatch", QStringLiteral("Calibration in progress: %1 s")).arg(seconds);
}

QString TCalibration::SignalRangeMessage()
{
    return LangText("Messages", "CalSignalRange", QStringLiteral("Out of Range: (%1 to %2)"))
        .arg(QString::fromLatin1(SignedToDecimalText(-SignalLimit, 4)),
             QString::fromLatin1(SignedToDecimalText(SignalLimit, 4)));
}

TNumberRead TCalibration::ReadSignal(const QByteArray &text)
{
    TNumberRead read = ReadNumber(QString::fromLatin1(text), 4, true, QStringLiteral("a signal in mV/V"));
    if (read && (*read < -SignalLimit || *read > SignalLimit)) {
        read.Value.reset();
        read.Refusal = SignalRangeMessage();
    }
    return read;
}

TNumberRead TCalibration::ReadWeight(const QByteArray &text, int decimals)
{
    TNumberRead read = ReadNumber(QString::fromLatin1(text), decimals, true, QStringLiteral("a weight"));
    if (read &&
        (*read < std::numeric_limits<int32_t>::min() || *read > std::numeric_limits<int32_t>::max())) {
        read.Value.reset();
        read.Refusal = QStringLiteral("\"%1\" is not a weight the instrument can take: it is too large")
                           .arg(QString::fromLatin1(text.trimmed()));
    }
    return read;
}

std::optional<int32_t> TCalibration::SignalValue(const QByteArray &text)
{
    const TNumberRead read = ReadSignal(text);
    return read ? std::optional<int32_t>(static_cast<int32_t>(*read)) : std::nullopt;
}

std::optional<int32_t> TCalibration::WeightValue(const QByteArray &text, int decimals)
{
    const TNumberRead read = ReadWeight(text, decimals);
    return read ? std::optional<int32_t>(static_cast<int32_t>(*read)) : std::nullopt;
}

QByteArray TCalibration::HexArgument(int32_t value)
{
    return QByteArray::number(static_cast<uint32_t>(value), 16).toUpper();
}

// --- the flows --------------------------------------------------------------------------------

bool TCalibration::Access()
{
    return Session && Session->RequestAccess(2);
}

TCalOutcome TCalibration::AccessFailure()
{
    if (!Engine->LinkOpen())
        return Lost();
    TCalOutcome out;
    out.End = TCalEnd::NoAccess;
    return out;
}

TCalOutcome TCalibration::Lost(const TCalOutcome &sofar)
{
    TCalOutcome out = sofar;
    out.End = TCalEnd::LinkLost;
    // Only what the instrument confirmed before the link went is told as done.
    QString step;
    switch (sofar.End) {
    case TCalEnd::Done:
        step = LangText("Messages", "CalLostDone", QStringLiteral("the step finished"));
        break;
    case TCalEnd::ResultCode:
        step = LangText("Messages", "CalLostCode", QStringLiteral("the step ended with \"%1\""))
                   .arg(ResultMessage(static_cast<uint32_t>(sofar.Code)));
        break;
    case TCalEnd::Refused:
        step = LangText("Messages", "CalLostRefused", QStringLiteral("the instrument refused the step"));
        break;
    default:
        step = sofar.Sent
                   ? LangText("Messages", "CalLostUnknown", QStringLiteral("the step's outcome is not known"))
                   : LangText("Messages", "CalLostNotStarted",
                              QStringLiteral("no calibration step was started"));
        break;
    }
    QString save;
    if (sofar.Saved)
        save = LangText(
            "Messages", "CalLostSavedNotRead",
            QStringLiteral("the instrument confirmed saving its settings, but the figures could not be read "
                           "back"));
    else if (SaveAsked)
        save = LangText(
            "Messages", "CalLostSaveUnconfirmed",
            QStringLiteral("saving its settings was not confirmed, so the calibration may be lost when the "
                           "instrument is switched off"));
    else if (sofar.Sent)
        save = LangText("Messages", "CalLostNotSaved",
                        QStringLiteral("the instrument was not told to save its settings"));
    out.Message =
        LangText("Messages", "CalLost",
                 QStringLiteral("The connection to the instrument was lost during calibration: %1%2."))
            .arg(step, save.isEmpty() ? QString() : QStringLiteral("; ") + save);
    if (Reporter)
        Reporter->Error(out.Message);
    return out;
}

TCalOutcome TCalibration::CommandFailure()
{
    // The engine has told the user already: the refusal's reason, or "Instrument not responding".
    if (!Engine->LinkOpen())
        return Lost();
    TCalOutcome out;
    out.End = Engine->LastWaitTimedOut() ? TCalEnd::NoReply : TCalEnd::Refused;
    if (out.End == TCalEnd::Refused)
        out.Message = QString::fromLatin1(RegisterErrorText(Engine->LastReply));
    return out;
}

std::optional<TCalWitness> TCalibration::ReadWitness()
{
    TCalWitness w;
    if (!Engine->Transact(CmdRead, RegCalStatus, {}, true, true))
        return std::nullopt;
    w.Status = Engine->LastReply.Status;
    // An instrument without the counter refuses its read: it is then not used, and not reported.
    if (Engine->Transact(CmdRead, CounterRegister, {}, true, false))
        w.Count = HexToInt(Engine->LastReply.Data);
    else if (!Engine->LinkOpen() || Engine->LastWaitTimedOut())
        return std::nullopt;
    return w;
}

namespace
{

enum class TStartSeen { Started, Failed, NotStarted, Unknown };

// Whether a start whose answer was lost took effect, from what the instrument showed before it
// and shows now. A step that ran moved the counter, still runs, or left a new result code; one
// that did not run leaves both as they were. Without a counter a step that is over shows nothing.
TStartSeen StartSeen(const TCalWitness &before, const TCalWitness &now)
{
    if (now.Status & TCalibration::StatusInProgress)
        return TStartSeen::Started;
    if (before.Count && now.Count && *now.Count != *before.Count)
        return TStartSeen::Started;
    const uint32_t code = now.Status & TCalibration::StatusResult;
    if (code && code != (before.Status & TCalibration::StatusResult))
        return TStartSeen::Failed;
    if (before.Count && now.Count && code == 0)
        return TStartSeen::NotStarted;
    return TStartSeen::Unknown;
}

} // namespace

TCalOutcome TCalibration::Step(int reg, const QByteArray &data)
{
    // A start changes the instrument's state: it is never sent again blindly. What the instrument
    // shows before it (status, counter) decides after a lost answer whether the step started; only
    // when it plainly did not is the start sent once more.
    const std::optional<TCalWitness> before = ReadWitness();
    if (!before)
        return CommandFailure();
    const QByteArray request = Device->AddressTemplate + HexText(CmdExecute, 2) +
                               HexText(static_cast<uint32_t>(reg), 4) + ':' + data;
    TCalOutcome out;
    out.Sent = true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QByteArray reply = Engine->TransactTextOnce(request);
        if (!Engine->LinkOpen())
            return Lost(out);
        if (!reply.isEmpty()) {
            if (!Engine->LastReply.ErrorFlag)
                return WaitForCalibration(*before);
            // The engine has shown the reason.
            out.End = TCalEnd::Refused;
            out.Message = QString::fromLatin1(RegisterErrorText(Engine->LastReply));
            return out;
        }
        const std::optional<TCalWitness> now = ReadWitness();
        if (!now) {
            out = CommandFailure();
            out.Sent = true;
            if (out.End == TCalEnd::LinkLost)
                return out;
            out.Message = LangText(
                "Messages", "CalStartUnknown",
                QStringLiteral("The instrument did not answer the start of the calibration step, and "
                               "whether it started is not known: look at the instrument before "
                               "starting the step again."));
            if (Reporter)
                Reporter->Error(out.Message);
            return out;
        }
        switch (StartSeen(*before, *now)) {
        case TStartSeen::Started:
            return WaitForCalibration(*before);
        case TStartSeen::Failed: {
            TCalOutcome failed = ResultOutcome(now->Status);
            failed.Sent = true;
            return failed;
        }
        case TStartSeen::Unknown:
            out.End = TCalEnd::Unconfirmed;
            out.Message =
                LangText("Messages", "CalStartUnconfirmed",
                         QStringLiteral("The instrument did not confirm the start of the calibration step, "
                                        "and its status does not show whether it ran: look at the "
                                        "instrument before starting the step again."));
            if (Reporter)
                Reporter->Error(out.Message);
            return out;
        case TStartSeen::NotStarted:
            break; // the start never took effect: sent once more
        }
    }
    out.End = TCalEnd::NoReply;
    out.Message = LangText(
        "Messages", "CalStartNoReply",
        QStringLiteral("The instrument did not answer the start of the calibration step (sent twice); "
                       "no step ran."));
    if (Reporter)
        Reporter->Error(out.Message);
    return out;
}

std::optional<int32_t> TCalibration::Weight(const QByteArray &text, TCalOutcome &outcome)
{
    const TNumberRead w = ReadWeight(text, Device->CalDecimals);
    if (!w) {
        outcome.End = TCalEnd::BadEntry;
        outcome.Message = w.Refusal;
        if (Reporter)
            Reporter->Error(outcome.Message);
        return std::nullopt;
    }
    return static_cast<int32_t>(*w);
}

TCalOutcome TCalibration::Finish(TCalOutcome out)
{
    // Whatever the step's outcome, the instrument keeps what it has now and the figures show it;
    // after a lost link there is nobody to ask.
    SaveAsked = false;
    if (out.End != TCalEnd::LinkLost && Engine->LinkOpen()) {
        SaveAsked = true;
        out.Saved = Session && Session->SaveInstrumentSettings(true);
        out.ReadBack = Engine->LinkOpen() && ReadBack();
        if (!Engine->LinkOpen()) {
            out = Lost(out);
        } else if (!out.Saved) {
            const QString text =
                LangText("Messages", "CalSaveUnconfirmed",
                         QStringLiteral("The instrument did not confirm saving its settings: the "
                                        "calibration may be lost when it is switched off."));
            if (Reporter)
                Reporter->Error(text);
            if (out.Message.isEmpty())
                out.Message = text;
        }
        SaveAsked = false;
    }
    if (OnCalibrationInfo)
        OnCalibrationInfo();
    return out;
}

std::optional<QByteArray> TCalibration::AskValue(const TCalAsk &ask, TCalOutcome &outcome)
{
    std::optional<QByteArray> text = OnAskValue ? OnAskValue(ask) : std::nullopt;
    if (!text)
        outcome.End = TCalEnd::Cancelled;
    return text;
}

TCalOutcome TCalibration::ResultOutcome(uint32_t status)
{
    ShowCalibrationResult(status);
    TCalOutcome out;
    out.End = TCalEnd::ResultCode;
    out.Code = static_cast<int>(status & StatusResult);
    out.Message = ResultMessage(status);
    return out;
}

TCalOutcome TCalibration::PlainStep(int reg, const QByteArray &data)
{
    if (!Access())
        return AccessFailure();
    TControlsLock lock(OnBusy);
    const int point = reg == RegClearPoint ? data.toInt() : -1;
    std::optional<TJournalScope> journal;
    if (TCalOutcome refused; !JournalIntent(journal, reg, data, {}, point, refused))
        return refused;
    return Journalled(journal, Finish(Step(reg, data)), point);
}

TCalOutcome TCalibration::WeightStep(const TCalAsk &ask, int reg, const QByteArray &data)
{
    TCalOutcome out;
    const std::optional<QByteArray> text = AskValue(ask, out);
    if (!text)
        return out;
    const std::optional<int32_t> w = Weight(*text, out);
    if (!w)
        return out;
    if (!Access())
        return AccessFailure();
    TControlsLock lock(OnBusy);
    const int point = reg == RegSetPoint ? data.toInt() : -1;
    std::optional<TJournalScope> journal;
    const QString weight = QStringLiteral("weight %1 %2")
                               .arg(QString::fromLatin1(SignedToDecimalText(*w, Device->CalDecimals)),
                                    QString::fromLatin1(Device->CalUnits.trimmed()));
    if (TCalOutcome refused; !JournalIntent(journal, reg, HexArgument(*w), weight, point, refused))
        return refused;
    if (Engine->Transact(CmdWrite, RegCalWeight, HexArgument(*w), true, true))
        out = Step(reg, data);
    else
        out = CommandFailure();
    out.Sent = true;
    return Journalled(journal, Finish(out), point);
}

TCalOutcome TCalibration::DirectSignal(const TCalAsk &ask, int reg, void (TDevice::*keep)(int32_t))
{
    TCalOutcome out;
    const std::optional<QByteArray> text = AskValue(ask, out);
    if (!text)
        return out;
    const TNumberRead read = ReadSignal(*text);
    const std::optional<int32_t> v =
        read ? std::optional<int32_t>(static_cast<int32_t>(*read)) : std::nullopt;
    if (!v) {
        out.End = TCalEnd::BadEntry;
        out.Message = read.Refusal;
        if (Reporter)
            Reporter->Error(out.Message);
        return out;
    }
    if (!Access())
        return AccessFailure();
    TControlsLock lock(OnBusy);
    std::optional<TJournalScope> journal;
    const QString signal =
        QStringLiteral("signal %1 mV/V").arg(QString::fromLatin1(SignedToDecimalText(*v, 4)));
    if (TCalOutcome refused; !JournalIntent(journal, reg, HexArgument(*v), signal, -1, refused))
        return refused;
    if (!Engine->Transact(CmdExecute, reg, HexArgument(*v), true, true)) {
        out = CommandFailure();
    } else if (const uint32_t status = Engine->LastReply.Status; status == 0) {
        (Device->*keep)(*v);
        out.End = TCalEnd::Done;
    } else if (status & StatusResult) {
        out = ResultOutcome(status);
    } else {
        out.End = TCalEnd::Done;
    }
    out.Sent = true;
    out = Finish(out);
    // The entry is a value: the figure read back says whether the instrument holds it, also after
    // a lost answer (sending the same value again changes nothing).
    if (out.End == TCalEnd::LinkLost || !out.ReadBack)
        return Journalled(journal, out, -1);
    const int32_t now = reg == RegDirectZero ? Device->CalZero : Device->CalSpan;
    if (out.End == TCalEnd::NoReply && now == *v) {
        out.End = TCalEnd::Done;
        out.Message.clear();
    } else if (out.End == TCalEnd::Done && now != *v) {
        out.End = TCalEnd::Unconfirmed;
        out.Message =
            LangText("Messages", "CalEntryDiffers",
                     QStringLiteral("The instrument took the entry, but its %1 reads back as %2 mV/V, not "
                                    "the %3 mV/V sent."))
                .arg(reg == RegDirectZero ? LangText("Messages", "CalEntryZero", QStringLiteral("zero"))
                                          : LangText("Messages", "CalEntrySpan", QStringLiteral("span")),
                     QString::fromLatin1(SignedToDecimalText(now, 4)),
                     QString::fromLatin1(SignedToDecimalText(*v, 4)));
        if (Reporter)
            Reporter->Error(out.Message);
    }
    return Journalled(journal, out, -1);
}

TCalOutcome TCalibration::Zero()
{
    if (!Engine->LinkOpen())
        return {};
    return PlainStep(RegZero, {});
}

TCalOutcome TCalibration::DirectZero()
{
    if (!Engine->LinkOpen())
        return {};
    TCalAsk ask;
    ask.Use = TCalUse::DirectZero;
    ask.Signal = SignedToDecimalText(Device->CalZero, 4);
    return DirectSignal(ask, RegDirectZero, &TDevice::SetCalZero);
}

TCalOutcome TCalibration::Span()
{
    if (!Engine->LinkOpen())
        return {};
    // The dialog offers the weight the instrument holds; without it there is nothing to offer.
    if (!Engine->Transact(CmdRead, RegSpanWeight, {}, true, true))
        return CommandFailure();
    TCalAsk ask;
    ask.Use = TCalUse::Span;
    ask.Weight =
        SignedToDecimalText(static_cast<int32_t>(HexToInt(Engine->LastReply.Data)), Device->CalDecimals);
    ask.Units = Device->CalUnits;
    ask.WeightDecimals = Device->CalDecimals;
    return WeightStep(ask, RegSpan, {});
}

TCalOutcome TCalibration::DirectSpan()
{
    if (!Engine->LinkOpen())
        return {};
    TCalAsk ask;
    ask.Use = TCalUse::DirectSpan;
    ask.Signal = SignedToDecimalText(Device->CalSpan, 4);
    ask.Weight = SignedToDecimalText(Device->CalWeight, Device->CalDecimals);
    ask.Units = Device->CalUnits;
    ask.WeightDecimals = Device->CalDecimals;
    return DirectSignal(ask, RegDirectSpan, &TDevice::SetCalSpan);
}

TCalOutcome TCalibration::SetPoint(int index)
{
    if (!Engine->LinkOpen() || index < 0 || index > 9)
        return {};
    TCalAsk ask;
    ask.Use = TCalUse::Linearisation;
    ask.Units = Device->CalUnits;
    ask.WeightDecimals = Device->CalDecimals;
    return WeightStep(ask, RegSetPoint, QByteArray::number(index));
}

TCalOutcome TCalibration::ClearPoint(int index)
{
    if (!Engine->LinkOpen() || index < 0 || index > 9)
        return {};
    return PlainStep(RegClearPoint, QByteArray::number(index));
}
