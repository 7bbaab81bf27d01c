// Setup sessions on the instrument: access levels and passcodes, the session start and end, the
// 5 s renewal, locking and the save command. The dialogs that ask the user sit on the callbacks.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

class TDevice;
class TReporter;
class TSettingsTreeModel;
class TTransactionEngine;

class TSession : public QObject
{
    Q_OBJECT
public:
    TSession(TTransactionEngine *engine, TDevice *device, TSettingsTreeModel *tree,
             QObject *parent = nullptr);
    ~TSession() override;

    // Asks for the passcode of a locked level with its prompt ("Enter Safe Passcode"); none = Cancel.
    // It is asked again after a wrong passcode, until it answers none.
    std::function<std::optional<QByteArray>(int level, const QString &prompt)> OnPasscode;
    // The program shows or hides its session tabs and entries (SetSessionControls).
    std::function<void(bool active, bool fullAccess)> OnSessionControls;
    // The instrument saved its settings (the identification panel turns green).
    std::function<void()> OnSettingsConfirmed;
    // Identification text and calibration figures may have changed.
    std::function<void()> OnIdentityChanged;
    std::function<void()> OnCalibrationInfo;
    TReporter *Reporter = nullptr;

    // --- access -----------------------------------------------------------------------------
    bool RequestAccess(int level);
    void LockInstrument();
    // True when the instrument confirmed the save.
    bool SaveInstrumentSettings(bool restorePasscodes);
    // Reads the identification; false with "Unknown Instrument Communications" unless the
    // instrument speaks this protocol.
    bool CheckInstrumentKnown();

    // --- session start and end --------------------------------------------------------------
    // The first half of a session start: checks the instrument, loads the operator menus into the
    // tree and returns the menu choices (safe word, full word, then "<menu> <operator word>").
    // Empty when no session can start.
    QStringList MenuChoices(const QString &safeWord = QStringLiteral("Safe Setup Menu"),
                            const QString &fullWord = QStringLiteral("Full Setup Menu"),
                            const QString &operWord = QStringLiteral("Menu"));
    // The second half: the level, root and caption of the chosen entry, access, and the tree.
    // An entry outside the choices starts nothing.
    bool StartSession(int entry, bool readEntireMenu);
    // MenuChoices and StartSession in one go (the command line).
    bool StartSessionAt(int entry, bool readEntireMenu);
    void EndSession();
    void SetSessionControls(bool active, bool fullAccess);
    // The session's start (with its access level and menu) or end, in the change journal.
    void JournalSession(bool start);

    // --- saving after edits -----------------------------------------------------------------
    // False when a save was asked for and the instrument did not confirm it.
    bool SaveAfterEdit();
    void BlockSave();
    void AllowSave();

    // How often a quiet read or write of a value (passcodes, lock) is sent when it goes unanswered;
    // both are harmless to repeat. The save command is always sent once.
    int Attempts = 1;

    // The instrument answered the passcode typed last with a refusal (RequestAccess asks again).
    bool PasscodeRefused = false;
    bool SessionActive = false;
    bool FullSession = false;
    bool SaveBlocked = false;
    bool ReadEntireMenu = true;
    QByteArray Caption; // the menu of the session ("SAFE SETUP", "FULL SETUP", an operator menu)
    QStringList Choices;
    // Registers of the operator menus, in choice order from the third entry on. All are kept,
    // however many the instrument lists.
    QList<int> OperatorMenuRegisters;
    // Their names as the instrument gives them ("SETPOINT"), in the same order.
    QStringList OperatorMenuNames;

    // The renewal period: 5 s in the program, shorter in tests.
    void SetRenewalInterval(int ms) { RenewalTimer.setInterval(ms); }

private:
    bool ReadQuiet(int reg);
    // Sends the save; after a lost reply the full level's lock tells whether it was done.
    bool Save(const QByteArray &fullPasscode);
    bool WriteQuiet(int reg, const QByteArray &value);
    void Renew();

    TTransactionEngine *Engine;
    TDevice *Device;
    TSettingsTreeModel *Tree;
    QTimer RenewalTimer;
};

// The passcode as the instrument takes it: the typed digits as a number in upper-case hexadecimal
// without leading zeros; empty when the text is not 1 to 6 digits.
QByteArray PasscodeText(const QByteArray &typed);
