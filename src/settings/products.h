// Products (add, rename, delete: executed functions of the instrument) and the instrument clock.
// The name and clock dialogs sit on these operations.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <utility>

class TReporter;
class TSession;
class TSettingsTreeModel;
class TTransactionEngine;
class TDevice;
struct TMenuNode;

class TProductOps
{
public:
    TProductOps(TTransactionEngine *engine, TDevice *device, TSettingsTreeModel *tree);

    // What the name dialog starts with. Adding: the session renewed, then the name limit. Renaming:
    // the session renewed, the current name (empty when unreadable) and the limit.
    std::optional<int> BeginAdd();
    std::pair<QByteArray, std::optional<int>> BeginRename();
    // The longest product name the instrument takes; none when it does not say.
    std::optional<int> ReadNameLimit();
    // The current product's name; empty when it cannot be read.
    QByteArray ReadCurrentName();
    // Each renews the session, runs the function and reloads the menu holding the product menu;
    // they return the node to select afterwards.
    TMenuNode *AddProduct(TMenuNode *productMenu, const QByteArray &name);
    TMenuNode *RenameProduct(TMenuNode *productMenu, const QByteArray &name);
    // Asks "Deleting a product will clear all Totals.  Continue?" first; No sends nothing.
    TMenuNode *DeleteProduct(TMenuNode *productMenu, TReporter *reporter);
    // The delete itself, once the question was answered Yes.
    TMenuNode *DeleteConfirmed(TMenuNode *productMenu);

private:
    TTransactionEngine *Engine;
    TDevice *Device;
    TSettingsTreeModel *Tree;
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
    bool Complete() const { return Confirmed == 5; }
    // What the instrument holds of the setting, for a message when it is not complete: "The
    // instrument's clock was set only in part: it confirmed the year, month and day; the hour was
    // sent but not confirmed; the minute was not sent."
    QString Text() const;
};

// Writes year, month, day, hour and minute, each only after the previous write succeeded, then
// locks the instrument. True when all five were written; `result` tells which were.
bool SetInstrumentClock(TTransactionEngine *engine, TSession *session, const QDateTime &when,
                        TClockSetResult *result = nullptr);
