// TFrmTraffic: the settings-transfer dialog. It shows the pacing of a list of message texts sent to
// the instrument one after the other (each waiting for its reply) with a progress bar and Cancel,
// and takes the replies of the transfer's reply route.
#pragma once

#include "link/transact.h"
#include "settings/transfer.h"

#include <QDialog>

class QProgressBar;
class QPushButton;
class TLumsLanguageComp;

class TFrmTraffic : public QDialog, public TReplyConsumer
{
    Q_OBJECT
public:
    // Registers itself for the engine's settings-transfer route.
    TFrmTraffic(TTransactionEngine *engine, TLumsLanguageComp *language, TReporter *reporter,
                QWidget *parent = nullptr);
    ~TFrmTraffic() override;

    TSettingsTransfer Transfer;
    QProgressBar *PBprogress;
    QProgressBar *Animate; // a busy indicator while the transfer runs
    QPushButton *btnCancel;

    // Sends the messages with the route set to the transfer's and restored afterwards; true when
    // every message was answered. caption: the dialog's caption ("Write Settings to Instrument").
    bool Run(const QList<QByteArray> &messages, const QString &caption, const QByteArray &header = {});
    // Shows a transfer that its owner loaded and routes (the settings send) until it ends; true
    // when every message was answered.
    bool Show(TSettingsTransfer &transfer, const QString &caption);

    void RoutedReply(const Tcommsobj &reply, const QByteArray &text) override;

    // Escape and the close box cancel the transfer as Cancel does.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    // Enter and Return do nothing: a transfer is stopped only by Cancel, Escape or the close box.
    void keyPressEvent(QKeyEvent *event) override;

private:
    TTransactionEngine *Engine;
    TLumsLanguageComp *Language;
    TSettingsTransfer *Current = &Transfer; // the transfer shown
};
