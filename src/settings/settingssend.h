// Sending a settings file to the instrument: access, the calibration-line rule, the totals
// question, the paced transfer of the request lines, then lock and save.
#pragma once

#include "transfer.h"

#include <QByteArray>
#include <QList>
#include <functional>

class TReporter;
class TSession;
class TTransactionEngine;

class TSettingsSender
{
public:
    TSettingsSender(TTransactionEngine *engine, TSession *session, TReporter *reporter);
    ~TSettingsSender();

    // The request lines left by the preview. includeCalibration is the "Include Calibration"
    // choice; the full level is asked for when the file carries a calibration line. False when
    // nothing was sent (session open, access refused, totals question declined, not connected).
    bool Send(QList<QByteArray> requests, bool includeCalibration);
    // Sends the lines through the paced transfer, then locks and saves.
    bool SendSettingsList(const QList<QByteArray> &lines);

    // Runs the transfer (the dialog shows it modally); by default it runs without a window.
    std::function<bool(TSettingsTransfer &)> RunTransfer;
    // Blank both display mimics while the transfer owns the replies.
    std::function<void()> OnBlankMimics;
    TSettingsTransfer Transfer;
    // The transfer ran to its end (false after "Instrument not Responding" or Cancel).
    bool TransferCompleted = false;

private:
    TTransactionEngine *Engine;
    TSession *Session;
    TReporter *Reporter;
};
