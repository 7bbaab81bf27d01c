// TFrmMain: a link lost without the user asking (a TCP peer that closes, a serial adapter pulled out)
// is said in the status bar and reopened in the background until the instrument is back.
#include "i18n/LumsLang.h"
#include "link/IOIface.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "settings/device.h"
#include "shell/ui/main.h"

#include <QPushButton>
#include <QStatusBar>

void TFrmMain::CreateReconnect()
{
    RetryTimer = new QTimer(this);
    RetryTimer->setInterval(2000);
    connect(RetryTimer, &QTimer::timeout, this, [this] { RetryConnect(); });
    StopRetryButton = new QPushButton("Stop Reconnecting", this);
    StopRetryButton->setObjectName("StopRetryButton");
    StopRetryButton->setToolTip("Stop trying to reopen the lost connection");
    StopRetryButton->setVisible(false);
    statusBar()->addPermanentWidget(StopRetryButton);
    connect(StopRetryButton, &QPushButton::clicked, this, [this] {
        StopRetry(
            LangText("Messages", "LostNoRetry", "Connection lost: %1 (no longer retrying)").arg(LostWhere));
        // Changes held back by a save block are not waited for any longer either: said now.
        if (SaveBlockLost && Reporter)
            Reporter->Error(LangText("Messages", "SaveBlockLost", SaveBlockLostText));
        SaveBlockLost = false;
    });
}

void TFrmMain::ShowStatus(const QString &text, bool red)
{
    // Only the message is red: the panels are labels with their own colours.
    statusBar()->setStyleSheet(red ? "QStatusBar { color: red; }" : "");
    statusBar()->showMessage(text);
}

void TFrmMain::LinkLost(const QByteArray &serial)
{
    if (!Engine->Link())
        return;
    LostWhere = Engine->Link()->Description();
    LostSerial = serial;
    ShowStatus(LangText("Messages", "Lost", "Connection lost: %1").arg(LostWhere), true);
    DebugLog(QString("Connection lost: %1 (%2); retrying every %3 s")
                 .arg(LostWhere, Engine->Link()->LossReason)
                 .arg(RetryTimer->interval() / 1000.0));
    StopRetryButton->setVisible(true);
    RetryTimer->start();
}

void TFrmMain::RetryConnect()
{
    if (Closing || !Engine->Link()) {
        StopRetry(QString());
        return;
    }
    // An operation still unwinding from the loss (an upload, a transfer, its message) ends first:
    // the identification read on reconnecting would run in the middle of it.
    if (Engine->LinkOpen() || MainControlsDisabled())
        return;
    // Another attempt while a TCP connect is still under way does nothing (the transport says so).
    ShowStatus(LangText("Messages", "LostRetrying", "Connection lost: %1 (retrying every %2 s)")
                   .arg(LostWhere)
                   .arg(RetryTimer->interval() / 1000.0),
               true);
    // The instrument's end of a fast optical link is at 9600 baud again once the head was pulled
    // out or the instrument restarted: the port opens at 9600 as a new connection does, and the
    // speed is raised again after connecting.
    auto *serial = dynamic_cast<TIOIfaceSerial *>(Engine->Link());
    if (serial && Engine->CableType == CableFastOptical && serial->Baud() == 57600)
        serial->SetBaud(9600);
    // An instrument that does not answer after reconnecting is said in the status bar, not in a box
    // at every attempt; the first good reply clears this.
    Engine->NotRespondingShown = true;
    Engine->Link()->Open();
}

void TFrmMain::StopRetry(const QString &message)
{
    if (RetryTimer)
        RetryTimer->stop();
    if (StopRetryButton)
        StopRetryButton->setVisible(false);
    if (!message.isEmpty())
        ShowStatus(message, true);
}

void TFrmMain::ReconnectedCheck()
{
    // SetConnected has read the identification again: only the same instrument is taken back. A
    // link that went again meanwhile leaves the attempts running.
    if (!Engine->LinkOpen())
        return;
    const QByteArray serial = Device ? Device->SerialNumber : QByteArray();
    if (!LostSerial.isEmpty() && serial.isEmpty()) {
        // Something accepts the connection but no instrument answers yet (a network adapter whose
        // instrument is still off): that is not another instrument; the attempts go on.
        UserDisconnect = true;
        Engine->Link()->Close();
        ShowStatus(LangText("Messages", "LostSilent",
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
        Engine->Link()->Close();
        ShowStatus(text, true);
        DebugLog(text);
        return;
    }
    StopRetry(QString());
    const QString restored = LangText("Messages", "Restored", "Connection restored: %1").arg(LostWhere);
    // The lit panel says the link is back; what the user must do again is the one thing that fits
    // beside the panels.
    ShowStatus(SessionLost ? LangText("Messages", "SessionLost", SessionLostText) : restored, false);
    if (SessionLost)
        DebugLog(restored + ". " + SessionLostText);
    SessionLost = false;
    if (SaveBlockLost) {
        DebugLog(restored + ".");
        TellSaveBlockLost();
    }
}

void TFrmMain::TellSaveBlockLost()
{
    SaveBlockLost = false;
    ShowStatus(LangText("Messages", "SaveBlockLostStatus", SaveBlockLostStatus), true);
    // The whole of it does not fit beside the status bar's panels: once in a box as well.
    if (Reporter)
        Reporter->Error(LangText("Messages", "SaveBlockLost", SaveBlockLostText));
}
