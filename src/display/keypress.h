// A front-panel key sent to the instrument once, and what is known afterwards: taken, refused,
// or not confirmed. A PRINT whose reply is lost is checked against the newest record's number.
#pragma once

#include <QString>

class TTransactionEngine;

enum class TKeyOutcome { Confirmed, Refused, NotConfirmed, LinkLost };

struct TKeyResult {
    TKeyOutcome Outcome = TKeyOutcome::NotConfirmed;
    QString Message; // empty when confirmed
};

// The key's name as printed on the panel ("PRINT"), or "key 0x.." for a code without one.
QString KeyName(int code);
// Sends the key of `code` (register 8) once. A key is a command: after a lost reply it is not
// sent again blindly. For PRINT the newest record tells: one more record means it was pressed;
// none means it did not arrive, and it goes once more. Other keys are reported as not confirmed.
TKeyResult PressKey(TTransactionEngine &engine, int code);
// PressKey as one "key" line of the engine's change journal (a second PRINT after a lost reply
// included), its intent on disk before the key goes out. When the journal cannot be written the
// key is not sent: `journalError` says why (and stays empty otherwise).
TKeyResult PressKeyJournalled(TTransactionEngine &engine, int code, QString &journalError);
