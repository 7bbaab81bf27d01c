// TConnection: the main window's link to its instrument from connect to disconnect: the connection
// dialog or the demo, the identification read, a link lost without the user asking and reopened in
// the background, and what a lost link took with it (a setup session, a save block).
#pragma once

#include "link/ui/comdialog.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QPushButton;
class QTimer;
class TDemoInstrument;
class TFrmMain;

class TConnection : public QObject
{
    Q_OBJECT
public:
    // Takes the engine's link callbacks and puts its Stop Reconnecting button in the window's
    // status bar (created before).
    explicit TConnection(TFrmMain &window);
    ~TConnection() override;

    // Connect and Disconnect: the dialog's choice opened, or the open link closed (after lifting a
    // save block, whose changes would otherwise be lost at the instrument's next reset).
    void ConnectClick();
    // Puts a new transport in place and opens it (the connection dialog's or the demo's).
    void ConnectWith(TConnectionChoice choice);
    // Starts the demo instrument and connects to it (no dialog, nothing stored); false with the
    // reason otherwise.
    bool StartDemo(QString *error);
    TDemoInstrument *DemoInstrument() const { return Demonstrator.get(); }
    // The engine's link opened or closed: the window's looks, the session and save block a closed
    // link ends, the identification read, and a loss or a reconnection.
    void SetConnected(bool connected);

    // --- a lost link ----------------------------------------------------------------------------
    // A link that closes without the user asking is reported in the status bar and reopened in
    // the background every RetryTimer interval (2 s) until it opens, the user stops it (the
    // status bar's button, or Connect) or another instrument answers.
    void LinkLost(const QByteArray &serial);
    void RetryConnect();
    void StopRetry(const QString &message);
    bool Retrying() const;
    QTimer *RetryTimer = nullptr;
    QPushButton *StopRetryButton = nullptr;
    QString LostWhere;        // the port or host:port that was lost
    QByteArray LostSerial;    // the serial number it answered with
    bool SessionLost = false; // a setup session was open when the link was lost
    static constexpr const char *SessionLostText =
        "The setup session ended with the connection; start it again.";
    // Saving was blocked when the link closed: the changes since the block are only in the
    // instrument's working memory. Said in the debug log at once and when the instrument is back:
    // the status bar takes the short form, a box the whole of it.
    bool SaveBlockLost = false;
    QByteArray SaveBlockSerial; // the instrument that holds those changes
    static constexpr const char *SaveBlockLostStatus =
        "The session ended while saving was blocked: the changes were not saved.";
    static constexpr const char *SaveBlockLostText =
        "The setup session ended with the connection while saving was blocked: the changes since the "
        "block were not saved in the instrument and are lost at its next reset. Start the session "
        "again and save.";
    void TellSaveBlockLost();

private:
    // The link could not be opened: a box, or only the status bar while a lost link is retried.
    void LinkError(const QString &reason);
    void ReconnectedCheck();

    TFrmMain &Window;
    std::unique_ptr<TDemoInstrument> Demonstrator;
    bool LinkWasUp = false;      // the link was open at the last SetConnected
    bool UserDisconnect = false; // the next close is the user's (or ours), not a loss
};
