// The main window's front-panel duties: decoding the polled display register into the two
// mimics, blanking them when the instrument stops answering, and sending the keys pressed on the
// Display tab's mimic (short and long presses, with the long-press feedback while held).
#pragma once

#include "link/transact.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

class TVornLCD;

class TFrontPanel : public QObject, public TReplyConsumer
{
    Q_OBJECT
public:
    // engine may be null (keys then go nowhere); it is not owned.
    explicit TFrontPanel(TTransactionEngine *engine, QObject *parent = nullptr);
    ~TFrontPanel() override;

    // Both mimics send their keys (the Calibration tab's as well as the Display tab's). Either may
    // be null. Registers this object for the display and calibration routes; the owner calls
    // BlankBoth when the engine's poll times out.
    void SetMimics(TVornLCD *displayMimic, TVornLCD *calMimic);
    QPointer<TVornLCD> DisplayMimic;
    QPointer<TVornLCD> CalMimic;

    // A register-9 value into the mimic's segment states, drawn at once; a value shorter than
    // 106 characters changes nothing.
    void ShowInstrumentDisplay(TVornLCD *mimic, const QByteArray &value);
    void BlankDisplayMimic(TVornLCD *mimic);
    // Both mimics (poll time-out, connect, disconnect, settings transfer).
    void BlankBoth();

    void LCDButtonDown(int key);
    void LCDButtonUp(int key);
    // Writes the key's code (plus 0x80 when held 2000 ms or longer) to register 8 and waits for
    // the answer. Key 0 sends nothing. A key pressed while an earlier one waits for its answer
    // goes out after it: every press counts. A refusal is told through OnKeyRefused.
    void LCDButtonPressed(int key, int heldMs);
    // Every 2000 ms while a key is held: the drag cursor and a beep.
    void tmrButtonTimer();

    QTimer tmrButton;
    // The feedback's side effects, replaceable in tests.
    std::function<void()> Beep;
    std::function<void(bool longPress)> SetLongPressCursor;
    // The instrument refused a key (a zero or tare while the weight moves), or did not confirm it
    // (its reply was lost): the words to show.
    std::function<void(const QString &text)> OnKeyRefused;

    // Replies of the display and calibration routes (register 9 only).
    void RoutedReply(const Tcommsobj &reply, const QByteArray &text) override;

signals:
    // A key went to the instrument: its code as sent, and whether the instrument took it.
    void KeySent(int code, bool accepted);

private:
    void SendKey(int code);

    QPointer<TTransactionEngine> Engine; // may go before this object
    bool CursorChanged = false;
    QList<int> PendingKeys; // codes pressed while a key waits for its answer
    bool SendingKeys = false;
};
