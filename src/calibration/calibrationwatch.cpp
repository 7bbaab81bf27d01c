// The status watch of a running calibration step, its result, and the figures read back after.
#include "calibration.h"
#include "calregisters.h"

#include "i18n/LumsLang.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "settings/device.h"
#include "values/tools.h"

#include <QCoreApplication>

bool TCalibration::WaitTicks(int n)
{
    // As the engine's own wait, but a dropped link ends it at once.
    Engine->DelayLeft = n;
    while (Engine->DelayLeft > 0 && Engine->LinkOpen())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return Engine->LinkOpen();
}

TCalOutcome TCalibration::WaitForCalibration(const TCalWitness &before)
{
    // A step that shows neither the in-progress bit nor a result code for n readings in a row is
    // over; a step that stays in progress is watched for as long as it does. However short the
    // reply time-out, the status is read: a step is never taken as done unread.
    TCalOutcome out;
    out.End = TCalEnd::Done;
    out.Sent = true;
    uint32_t result = 0;
    bool lost = false;
    {
        TBusyGuard hourglass(Reporter);
        WatchClock.start();
        WatchSeconds = 0;
        if (OnWatching)
            OnWatching(0);
        WatchTimer.start();
        const int quiet = std::max(Engine->TimeoutTicks / WatchTicks, MinQuietReadings);
        int n = quiet;
        while (n > 0) {
            if (!WaitTicks(WatchTicks)) {
                lost = true;
                break;
            }
            if (!Engine->Transact(CmdRead, RegCalStatus, {}, true, true)) {
                lost = !Engine->LinkOpen();
                if (!lost) {
                    out = CommandFailure();
                    out.Sent = true;
                }
                break;
            }
            const uint32_t status = Engine->LastReply.Status;
            if (status & StatusInProgress)
                n = quiet;
            else
                --n;
            if (status & StatusResult) {
                result = status;
                break;
            }
        }
        // A quiet instrument has finished a step only when its counter says so.
        if (!lost && !result && out.End == TCalEnd::Done && before.Count) {
            if (!Engine->Transact(CmdRead, CounterRegister, {}, true, true)) {
                lost = !Engine->LinkOpen();
                if (!lost) {
                    out = CommandFailure();
                    out.Sent = true;
                }
            } else if (HexToInt(Engine->LastReply.Data) == *before.Count) {
                out.End = TCalEnd::Unconfirmed;
                out.Message =
                    LangText("Messages", "CalCounterStill",
                             QStringLiteral("The instrument shows no calibration step running, but its "
                                            "calibration counter did not move: the step did not finish."));
            }
        }
        WatchTimer.stop();
        WatchSeconds = -1;
        if (OnWatchEnded)
            OnWatchEnded();
    }
    // The outcome is told once the watch is over and the hourglass gone.
    if (lost) {
        TCalOutcome sofar;
        sofar.Sent = true;
        return Lost(sofar);
    }
    if (result) {
        TCalOutcome failed = ResultOutcome(result);
        failed.Sent = true;
        return failed;
    }
    if (out.End == TCalEnd::Unconfirmed && Reporter)
        Reporter->Error(out.Message);
    return out;
}

void TCalibration::ShowCalibrationResult(uint32_t status)
{
    if (Reporter)
        Reporter->Message(ResultMessage(status));
}

bool TCalibration::ReadBack()
{
    TBusyGuard hourglass(Reporter);
    // Every read is counted as it passes, so that a figure that could not be read is known.
    int failed = 0;
    const auto exchange = Device->OnExchange;
    Device->OnExchange = [&failed, exchange](const QByteArray &request) {
        const QByteArray reply = exchange ? exchange(request) : QByteArray();
        Tcommsobj decoded;
        if (!decoded.Decode(reply) || decoded.ErrorFlag)
            ++failed;
        return reply;
    };
    Device->ReadCalibrationInfo();
    Device->OnExchange = exchange;
    return failed == 0 && Engine->LinkOpen();
}
