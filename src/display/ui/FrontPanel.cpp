// Display polling replies into the mimics, blanking, and key presses sent to the instrument.
#include "FrontPanel.h"

#include "VornLCD.h"
#include "display/VornTables.h"
#include "display/keypress.h"

#include <QApplication>
#include <QCursor>

TFrontPanel::TFrontPanel(TTransactionEngine *engine, QObject *parent) : QObject(parent), Engine(engine)
{
    tmrButton.setInterval(VornLongPressMs);
    connect(&tmrButton, &QTimer::timeout, this, &TFrontPanel::tmrButtonTimer);
    Beep = [] { QApplication::beep(); };
    SetLongPressCursor = [](bool longPress) {
        if (longPress)
            QApplication::setOverrideCursor(Qt::DragMoveCursor);
        else
            QApplication::restoreOverrideCursor();
    };
}

TFrontPanel::~TFrontPanel()
{
    if (CursorChanged && SetLongPressCursor)
        SetLongPressCursor(false);
    if (Engine) {
        Engine->SetRouteConsumer(RouteDisplay, nullptr);
        Engine->SetRouteConsumer(RouteCalibration, nullptr);
    }
}

void TFrontPanel::SetMimics(TVornLCD *displayMimic, TVornLCD *calMimic)
{
    DisplayMimic = displayMimic;
    CalMimic = calMimic;
    // Both pictures are the instrument's panel, and keys that shade must do what they show: the
    // Calibration tab's copy sends its keys as the Display tab's does.
    for (TVornLCD *mimic : {displayMimic, calMimic}) {
        if (!mimic)
            continue;
        TLumLCDButtons *b = mimic->Buttons.get();
        b->OnButtonDown = [this](TLumLCDButtons *, int key) { LCDButtonDown(key); };
        b->OnButtonUp = [this](TLumLCDButtons *, int key) { LCDButtonUp(key); };
        b->OnButtonPressed = [this](TLumLCDButtons *, int key, int held) { LCDButtonPressed(key, held); };
    }
    if (Engine) {
        Engine->SetRouteConsumer(RouteDisplay, this);
        Engine->SetRouteConsumer(RouteCalibration, this);
    }
}

void TFrontPanel::ShowInstrumentDisplay(TVornLCD *mimic, const QByteArray &value)
{
    if (!mimic)
        return;
    if (DecodeDisplayValue(value, mimic->LCD->States))
        mimic->DrawLCD();
}

void TFrontPanel::BlankDisplayMimic(TVornLCD *mimic)
{
    if (mimic)
        mimic->Blank();
}

void TFrontPanel::BlankBoth()
{
    BlankDisplayMimic(DisplayMimic);
    BlankDisplayMimic(CalMimic);
}

void TFrontPanel::RoutedReply(const Tcommsobj &reply, const QByteArray &)
{
    if (reply.Register != VornDisplayRegister || !Engine)
        return;
    if (Engine->ReplyRoute() == RouteDisplay)
        ShowInstrumentDisplay(DisplayMimic, reply.Data);
    else if (Engine->ReplyRoute() == RouteCalibration)
        ShowInstrumentDisplay(CalMimic, reply.Data);
}

void TFrontPanel::LCDButtonDown(int)
{
    tmrButton.start();
}

void TFrontPanel::LCDButtonUp(int)
{
    tmrButton.stop();
    if (CursorChanged && SetLongPressCursor)
        SetLongPressCursor(false);
    CursorChanged = false;
}

void TFrontPanel::tmrButtonTimer()
{
    if (!CursorChanged && SetLongPressCursor)
        SetLongPressCursor(true);
    CursorChanged = true;
    if (Beep)
        Beep();
}

void TFrontPanel::LCDButtonPressed(int key, int heldMs)
{
    const int code = VornKeyCode(key, heldMs);
    if (code < 0 || !Engine)
        return;
    // Sending waits for the instrument with the event loop running, so the next click of a quick
    // double click arrives meanwhile: it is queued and sent by the loop below, not dropped.
    PendingKeys.append(code);
    if (SendingKeys)
        return;
    SendingKeys = true;
    const QPointer<TFrontPanel> alive(this);
    while (alive && !PendingKeys.isEmpty())
        SendKey(PendingKeys.takeFirst());
    if (alive)
        SendingKeys = false;
}

void TFrontPanel::SendKey(int code)
{
    if (!Engine)
        return;
    // A refusal or a press the instrument did not confirm is a short note in the status bar, not a
    // box to click away: the user is at the panel and looks at the instrument's display.
    // One line of the change journal per press, as from the command line.
    QString journalError;
    const TKeyResult result = PressKeyJournalled(*Engine, code, journalError);
    if (!Engine)
        return;
    const bool accepted = result.Outcome == TKeyOutcome::Confirmed;
    if ((result.Outcome == TKeyOutcome::Refused || result.Outcome == TKeyOutcome::NotConfirmed) &&
        OnKeyRefused)
        OnKeyRefused(result.Message);
    emit KeySent(code, accepted);
}
