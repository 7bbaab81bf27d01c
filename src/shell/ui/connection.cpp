// TConnection: connecting and disconnecting, the demo, the identification read, and a link lost
// without the user asking (a TCP peer that closes, a serial adapter pulled out), said in the status
// bar and reopened in the background until the instrument is back (see connection.h).
#include "shell/ui/connection.h"

#include "base/dmViewer.h"
#include "base/ui/maincontrols.h"
#include "i18n/LumsLang.h"
#include "link/IOIface.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "settings/device.h"
#include "shell/ui/demo.h"
#include "shell/ui/main.h"

#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

TConnection::TConnection(TFrmMain &window) : Window(window)
{
    RetryTimer = new QTimer(this);
    RetryTimer->setInterval(2000);
    connect(RetryTimer, &QTimer::timeout, this, [this] { RetryConnect(); });
    StopRetryButton = new QPushButton("Stop Reconnecting", &Window);
    StopRetryButton->setObjectName("StopRetryButton");
    StopRetryButton->setToolTip("Stop trying to reopen the lost connection");
    StopRetryButton->setVisible(false);
    Window.statusBar()->addPermanentWidget(StopRetryButton);
    connect(StopRetryButton, &QPushButton::clicked, this, [this] {
        StopRetry(
            LangText("Messages", "LostNoRetry", "Connection lost: %1 (no longer retrying)").arg(LostWhere));
        // Changes held back by a save block are not waited for any longer either: said now.
        if (SaveBlockLost && Window.Reporter)
            Window.Reporter->Error(LangText("Messages", "SaveBlockLost", SaveBlockLostText));
        SaveBlockLost = false;
    });
    Window.Engine->OnConnectedChanged = [this](bool connected) { SetConnected(connected); };
    Window.Engine->OnLinkError = [this](const QString &reason) { LinkError(reason); };
}

TConnection::~TConnection() = default;

void TConnection::LinkError(const QString &reason)
{
    TTransactionEngine *engine = Window.Engine;
    // While a lost link is retried, a failed attempt is only said in the status bar.
    if (Retrying()) {
        Window.ShowStatus(
            LangText("Messages", "LostRetryFailed", "Connection lost: %1 (retrying every %2 s): %3")
                .arg(LostWhere)
                .arg(RetryTimer->interval() / 1000.0)
                .arg(reason),
            true);
        return;
    }
    QString text = reason;
    if (auto *serial = dynamic_cast<TIOIfaceSerial *>(engine->Link()))
        text = SerialOpenAdvice(serial->Description(), reason);
    else if (auto *socket = dynamic_cast<TIOIfaceSocket *>(engine->Link()))
        text = LangText("Messages", "TcpFailed", "The connection to %1:%2 failed: %3")
                   .arg(socket->Host())
                   .arg(socket->Port())
                   .arg(reason);
    Window.Reporter->Error(text);
}

// --- connecting ---------------------------------------------------------------------------------

void TConnection::ConnectClick()
{
    TTransactionEngine *engine = Window.Engine;
    TdatViewer &config = Window.Config;
    engine->TimeoutTicks = config.ReplyTimeoutTicks();
    // Connect while a lost link is retried: the user takes over.
    if (Retrying())
        StopRetry(QString());
    if (engine->LinkOpen()) {
        // Leaving an instrument with its save blocked would lose the changes at its next reset.
        if (Window.SaveBlocked) {
            TMainControlsGuard lock(&Window);
            if (Window.Hooks.AllowIndicatorSave)
                Window.Hooks.AllowIndicatorSave();
            Window.SaveBlocked = false;
            engine->WaitTicks(20);
        }
        UserDisconnect = true;
        // What the status bar says belongs to this link: it goes with it.
        Window.ShowStatus(QString(), false);
        engine->Link()->Close();
        return;
    }
    auto choice = Window.Hooks.RunConnectionDialog ? Window.Hooks.RunConnectionDialog() : std::nullopt;
    if (!choice) {
        engine->TimeoutTicks = config.ReplyTimeoutTicks();
        return;
    }
    // The demo instrument is reached over TCP whatever the stored connection says.
    engine->TimeoutTicks = choice->Demo ? config.GetTcpTimeout() : config.ReplyTimeoutTicks();
    ConnectWith(std::move(*choice));
}

void TConnection::ConnectWith(TConnectionChoice choice)
{
    TTransactionEngine *engine = Window.Engine;
    StopRetry(QString());
    SessionLost = false;
    // Texts of an earlier link ("Connection restored: ...") do not speak for this one.
    Window.ShowStatus(QString(), false);
    // The old link's closing is not a loss.
    UserDisconnect = true;
    engine->UnitAddress = choice.UnitAddress;
    engine->CableType = choice.Cable;
    engine->SetLink(std::move(choice.Link));
    UserDisconnect = false;
    engine->Link()->Open();
}

bool TConnection::StartDemo(QString *error)
{
    Demonstrator = std::make_unique<TDemoInstrument>();
    if (!Demonstrator->Start(error)) {
        Demonstrator.reset();
        return false;
    }
    Window.Engine->TimeoutTicks = Window.Config.GetTcpTimeout();
    ConnectWith(Demonstrator->Choice());
    return true;
}

void TConnection::SetConnected(bool connected)
{
    if (Window.IsClosing())
        return;
    TTransactionEngine *engine = Window.Engine;
    TDevice *device = Window.Device;
    TFrmMain::THooks &hooks = Window.Hooks;
    const QByteArray serialBefore = device ? device->SerialNumber : QByteArray();
    Window.ShowLinkState(connected);

    engine->ClearBuffers();
    if (device)
        device->ResetFacts();
    if (!connected) {
        Window.MarkFramesStale();
        // The instrument ends a session whose renewals stop: the window ends it too, menu tree
        // and all, and says so when the link comes back.
        if (Window.SessionActive && !UserDisconnect)
            SessionLost = true;
        if (Window.SessionActive && hooks.ClearSessionTree)
            hooks.ClearSessionTree();
        // Nothing can be saved over a closed link, and the instrument back has no session to
        // save: the block is lifted without a save, and the user is told what was not saved.
        // (Disconnect saves before it closes the link, so a block still on here was not saved.)
        const bool blocked = hooks.DropSaveBlock ? hooks.DropSaveBlock() : Window.SaveBlocked;
        Window.SaveBlocked = false;
        if (blocked) {
            SaveBlockLost = true;
            SaveBlockSerial = serialBefore;
            Window.DebugLog(SaveBlockLostText);
        }
    }
    Window.SessionActive = false;
    if (hooks.SetSessionControls)
        hooks.SetSessionControls(false, false);
    if (hooks.BlankDisplayMimic)
        hooks.BlankDisplayMimic();

    // From here the link counts as up: a loss while the identification is read is a loss like any
    // other (said, and retried). A reconnection attempt keeps its own account of what was lost.
    if (connected && !Retrying())
        LinkWasUp = true;
    if (connected)
        engine->SpeedUpLink();
    if (device && engine->LinkOpen()) {
        TMainControlsGuard lock(&Window);
        TBusyGuard busy(Window.Reporter);
        // Against a silent instrument the identification takes several time-outs: Disconnect
        // stays live and ends it at once.
        Window.KeepConnectLive(true);
        device->ReadIdentity();
        Window.KeepConnectLive(false);
    }
    // The link went while it was being set up: that closing has been handled in full already.
    if (connected && !engine->LinkOpen()) {
        if (device)
            device->ResetFacts();
        Window.ShowIdentification();
        return;
    }
    Window.ShowInstrument(connected && engine->LinkOpen());

    const bool wasUp = LinkWasUp;
    // A link that went again while the identification was read was never up.
    LinkWasUp = connected && engine->LinkOpen();
    if (!connected && wasUp && !UserDisconnect)
        LinkLost(serialBefore);
    else if (connected && Retrying())
        ReconnectedCheck();
    else if (LinkWasUp && SaveBlockLost && device && device->SerialNumber == SaveBlockSerial)
        TellSaveBlockLost(); // the same instrument connected again by hand
    if (!connected)
        UserDisconnect = false;
}

// --- a lost link --------------------------------------------------------------------------------

void TConnection::LinkLost(const QByteArray &serial)
{
    TTransactionEngine *engine = Window.Engine;
    if (!engine->Link())
        return;
    LostWhere = engine->Link()->Description();
    LostSerial = serial;
    Window.ShowStatus(LangText("Messages", "Lost", "Connection lost: %1").arg(LostWhere), true);
    Window.DebugLog(QString("Connection lost: %1 (%2); retrying every %3 s")
                        .arg(LostWhere, engine->Link()->LossReason)
                        .arg(RetryTimer->interval() / 1000.0));
    StopRetryButton->setVisible(true);
    RetryTimer->start();
}

void TConnection::RetryConnect()
{
    TTransactionEngine *engine = Window.Engine;
    if (Window.IsClosing() || !engine->Link()) {
        StopRetry(QString());
        return;
    }
    // An operation still unwinding from the loss (an upload, a transfer, its message) ends first:
    // the identification read on reconnecting would run in the middle of it.
    if (engine->LinkOpen() || Window.MainControlsDisabled())
        return;
    // Another attempt while a TCP connect is still under way does nothing (the transport says so).
    Window.ShowStatus(LangText("Messages", "LostRetrying", "Connection lost: %1 (retrying every %2 s)")
                          .arg(LostWhere)
                          .arg(RetryTimer->interval() / 1000.0),
                      true);
    // The instrument's end of a fast optical link is at 9600 baud again once the head was pulled
    // out or the instrument restarted: the port opens at 9600 as a new connection does, and the
    // speed is raised again after connecting.
    auto *serial = dynamic_cast<TIOIfaceSerial *>(engine->Link());
    if (serial && engine->CableType == CableFastOptical && serial->Baud() == 57600)
        serial->SetBaud(9600);
    // An instrument that does not answer after reconnecting is said in the status bar, not in a box
    // at every attempt; the first good reply clears this.
    engine->NotRespondingShown = true;
    engine->Link()->Open();
}

bool TConnection::Retrying() const
{
    return RetryTimer && RetryTimer->isActive();
}

void TConnection::StopRetry(const QString &message)
{
    if (RetryTimer)
        RetryTimer->stop();
    if (StopRetryButton)
        StopRetryButton->setVisible(false);
    if (!message.isEmpty())
        Window.ShowStatus(message, true);
}

void TConnection::ReconnectedCheck()
{
    TTransactionEngine *engine = Window.Engine;
    // SetConnected has read the identification again: only the same instrument is taken back. A
    // link that went again meanwhile leaves the attempts running.
    if (!engine->LinkOpen())
        return;
    const QByteArray serial = Window.Device ? Window.Device->SerialNumber : QByteArray();
    if (!LostSerial.isEmpty() && serial.isEmpty()) {
        // Something accepts the connection but no instrument answers yet (a network adapter whose
        // instrument is still off): that is not another instrument; the attempts go on.
        UserDisconnect = true;
        engine->Link()->Close();
        Window.ShowStatus(
            LangText("Messages", "LostSilent",
                     "Connection lost: %1 (retrying every %2 s): the instrument does not answer")
                .arg(LostWhere)
                .arg(RetryTimer->interval() / 1000.0),
            true);
        return;
    }
    if (!LostSerial.isEmpty() && serial != LostSerial) {
        const QString text =
            LangText("Messages", "LostOther",
                     "Another instrument answers on %1 (SN: %2, not SN: %3): not reconnected")
                .arg(LostWhere,
                     serial.isEmpty() ? LangText("Messages", "SerialUnknown", "unknown")
                                      : QString::fromLatin1(serial),
                     QString::fromLatin1(LostSerial));
        StopRetry(QString());
        UserDisconnect = true;
        engine->Link()->Close();
        Window.ShowStatus(text, true);
        Window.DebugLog(text);
        return;
    }
    StopRetry(QString());
    const QString restored = LangText("Messages", "Restored", "Connection restored: %1").arg(LostWhere);
    // The lit panel says the link is back; what the user must do again is the one thing that fits
    // beside the panels.
    Window.ShowStatus(SessionLost ? LangText("Messages", "SessionLost", SessionLostText) : restored, false);
    if (SessionLost)
        Window.DebugLog(restored + ". " + SessionLostText);
    SessionLost = false;
    if (SaveBlockLost) {
        Window.DebugLog(restored + ".");
        TellSaveBlockLost();
    }
}

void TConnection::TellSaveBlockLost()
{
    SaveBlockLost = false;
    Window.ShowStatus(LangText("Messages", "SaveBlockLostStatus", SaveBlockLostStatus), true);
    // The whole of it does not fit beside the status bar's panels: once in a box as well.
    if (Window.Reporter)
        Window.Reporter->Error(LangText("Messages", "SaveBlockLost", SaveBlockLostText));
}
