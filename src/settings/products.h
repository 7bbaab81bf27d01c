// Products (add, rename, delete: executed functions of the instrument) and the instrument clock.
// The name and clock dialogs sit on these operations.
#pragma once

#include "journal/journalscope.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

class TReporter;
class TSession;
class TSettingsTreeModel;
class TTransactionEngine;
class TDevice;
struct TMenuNode;

// What became of a product function.
enum class TProductOutcome {
    Confirmed, // answered by the instrument, or, its reply lost, its effect read back
    Refused,   // the instrument refused it (the engine reported its text)
    NotDone,   // its reply was lost and the instrument does not show its effect
    Unknown,   // its reply was lost and its effect could not be read back
    NotSent,   // the checks before it failed (products unreadable or changed): nothing was sent
};

class TProductOps
{
public:
    TProductOps(TTransactionEngine *engine, TDevice *device, TSettingsTreeModel *tree);

    // The product a node of the product menu stands for: its place among the instrument's
    // products (0 for the first); -1 for the product menu itself and the current-product menu.
    static int ProductIndex(const TMenuNode *node);
    // The delete question, naming the product.
    static QString DeleteQuestion(const QByteArray &name);

    // What the name dialog starts with. Adding: the session renewed, then the name limit. Renaming
    // a product: its name as the instrument holds it (the node's when it cannot be read) and the
    // limit; the active product stays what it was.
    std::optional<int> BeginAdd();
    std::pair<QByteArray, std::optional<int>> BeginRename(TMenuNode *product);
    // The longest product name the instrument takes; none when it does not say.
    std::optional<int> ReadNameLimit();
    // The names of the instrument's products in their order; none when the list or a name cannot
    // be read. Naming them selects each: the active product is selected again afterwards.
    std::optional<QList<QByteArray>> ReadProductNames();

    // Each renews the session and runs the function once: a lost reply is followed by reading the
    // products back (count and names), never by a second send. The product menu is read again;
    // the node to select afterwards is returned (the new or renamed product, the product menu
    // after a delete). Every outcome but Confirmed is reported; LastOutcome says which it was.
    TMenuNode *AddProduct(TMenuNode *node, const QByteArray &name);
    TMenuNode *RenameProduct(TMenuNode *product, const QByteArray &name);
    // Asks DeleteQuestion first; No sends nothing.
    TMenuNode *DeleteProduct(TMenuNode *product, TReporter *reporter);
    // The delete itself, once the question was answered Yes.
    TMenuNode *DeleteConfirmed(TMenuNode *product);

    TProductOutcome LastOutcome = TProductOutcome::NotSent;
    QString LastMessage; // what was reported, empty when confirmed at once

private:
    // Sends the function once; Confirmed or Refused on a reply, else what `check` reads back.
    TProductOutcome Run(int reg, const QByteArray &arg, const std::function<TProductOutcome()> &check);
    // Selects the node's product and checks that the instrument holds it under the node's name.
    bool SelectChecked(TMenuNode *product, const char *what);
    void Report(const QString &text);
    // Reads the product menu again and returns its child with the menu key (the menu when none).
    TMenuNode *Reload(TMenuNode *node, int selectIndex);
    std::optional<QByteArray> ReadActive();
    // The function's line in the instrument's journal, when it keeps one: the intent is written
    // (false, reported, when it could not be: nothing is sent), and its outcome from LastOutcome.
    bool JournalIntent(std::optional<TJournalScope> &journal, int reg, const TMenuNode *node,
                       const QByteArray &before, const QByteArray &asked, const char *what);
    TChangeResult JournalResult(const std::optional<QByteArray> &readBack) const;

    TTransactionEngine *Engine;
    TDevice *Device;
    TSettingsTreeModel *Tree;
    QString Refusal;                // the instrument's text when it refused the last function
    bool ReadBackConfirmed = false; // the last function's reply was lost and its effect read back
};

// The number of products the instrument holds: its product menu's list (key 0) names one entry per
// product from key 2 on (listing it selects nothing). Tried up to `attempts` times; none when
// unanswered or refused.
std::optional<int> ReadProductCount(TTransactionEngine *engine, int attempts = 3);
// The current product's name (0xB013), tried the same way.
std::optional<QByteArray> ReadProductName(TTransactionEngine *engine, int attempts = 3);

// The instrument's date and time text (register 0x0150); none when it does not answer.
std::optional<QByteArray> ReadInstrumentClock(TTransactionEngine *engine);
// What setting the clock did: how many of its five writes (year, month, day, hour, minute) the
// instrument confirmed, in order, and what became of the one after them.
struct TClockSetResult {
    int Confirmed = 0;
    bool Unanswered = false; // the next write was sent and not answered: it may have taken effect
    bool Refused = false;    // the next write was refused
    QString JournalError;    // the journal could not be written: nothing was sent
    bool Complete() const { return Confirmed == 5; }
    // What the instrument holds of the setting, for a message when it is not complete: "The
    // instrument's clock was set only in part: it confirmed the year, month and day; the hour was
    // sent but not confirmed; the minute was not sent."
    QString Text() const;
};

// Writes year, month, day, hour and minute, each only after the previous write succeeded, then
// locks the instrument. True when all five were written (the minute's reply lost: when the clock
// read back shows it); `result` tells which were. The engine's journal records it as one change.
bool SetInstrumentClock(TTransactionEngine *engine, TSession *session, const QDateTime &when,
                        TClockSetResult *result = nullptr);
