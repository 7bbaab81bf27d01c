// The settings-file send sequence.
#include "settingssend.h"

#include "SendSettings.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "session.h"

namespace
{

// Hands the replies of the transfer route to the transfer.
class TTransferRoute : public TReplyConsumer
{
public:
    explicit TTransferRoute(TSettingsTransfer &transfer) : Transfer(transfer) {}
    void RoutedReply(const Tcommsobj &, const QByteArray &text) override { Transfer.ReplyArrived(text); }

private:
    TSettingsTransfer &Transfer;
};

} // namespace

TSettingsSender::TSettingsSender(TTransactionEngine *engine, TSession *session, TReporter *reporter)
    : Engine(engine), Session(session), Reporter(reporter)
{
    Transfer.Reporter = reporter;
    Transfer.SendFrame = [this](const QByteArray &text) { Engine->SendFrame(text, true); };
}

TSettingsSender::~TSettingsSender() = default;

bool TSettingsSender::Send(QList<QByteArray> requests, bool includeCalibration)
{
    if (Session->SessionActive) {
        if (Reporter)
            Reporter->Error(QStringLiteral("Instrument Session already active"));
        return false;
    }
    const bool hasCalibration = HasCalibrationLine(requests);
    if (!Session->RequestAccess(hasCalibration ? 2 : 1))
        return false;
    if (hasCalibration && !includeCalibration)
        requests.removeFirst();
    if (HasProductReset(requests) &&
        !(Reporter && Reporter->Ask(QStringLiteral("Existing Totals will be cleared. Continue?")))) {
        Session->LockInstrument();
        return false;
    }
    requests = OrderForSend(requests);
    requests.append(MsgEndTransfer);
    const bool sent = SendSettingsList(requests);
    Session->LockInstrument();
    return sent;
}

bool TSettingsSender::SendSettingsList(const QList<QByteArray> &lines)
{
    TransferCompleted = false;
    if (!Engine->LinkOpen()) {
        if (Reporter)
            Reporter->Error(QStringLiteral("Instrument not Connected"));
        return false;
    }
    const TReplyRoute previous = Engine->ReplyRoute();
    TTransferRoute route(Transfer);
    Engine->SetRouteConsumer(RouteSendSettings, &route);
    Engine->SetReplyRoute(RouteSendSettings);
    if (OnBlankMimics)
        OnBlankMimics();
    Transfer.Load(lines);
    TransferCompleted = RunTransfer ? RunTransfer(Transfer) : Transfer.Run();
    {
        TBusyGuard busy(Reporter);
        Session->LockInstrument();
    }
    Session->SaveInstrumentSettings(false);
    Engine->SetRouteConsumer(RouteSendSettings, nullptr);
    Engine->SetReplyRoute(previous);
    return true;
}
