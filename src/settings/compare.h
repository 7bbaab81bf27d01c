// Comparing settings: the values a settings file writes against what an instrument holds now, or
// against another file. Reads one value per request line and writes nothing.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class TSession;
class TTransactionEngine;

// One value a settings file sets, with where it sits in the menu.
struct TSettingsEntry {
    QList<QByteArray> Path; // menu titles from the root, then the item's name
    int Register = -1;      // -1 for a product's name
    QByteArray Value;       // what the request line writes
    QByteArray Text;        // the file's own display text for it (from the item's title)
    int Product = -1;       // which product's menu holds it (from 0); -1 outside the products
    bool ProductName = false;
    bool InProducts = false; // anywhere in the product menu (the current product's choice too)
    int Line = 0;            // line number in the file (from 1)

    // What pairs it with the same item elsewhere: the register and its occurrence, or the product
    // and the register within it.
    QByteArray Key;
    // The value as the instrument shows it: the title's text, or the value itself where the title
    // was cut or says nothing.
    QByteArray DisplayText() const;
};

// The entries of a file's lines; false with a message naming the line when a request line is not
// one this program writes.
bool SettingsEntries(const QList<QByteArray> &lines, QList<TSettingsEntry> &entries, QString *error);

struct TSettingsDifference {
    QList<QByteArray> Path;
    QByteArray Left;  // the instrument's (or first file's) value in its own text
    QByteArray Right; // the file's (or second file's)
};

struct TCompareResult {
    int Compared = 0;
    QList<TSettingsDifference> Differences;
    // Items that could not be read, each with its path and why.
    QList<QPair<QList<QByteArray>, QString>> Unread;
    // Values inside the product menu: reading them would select products on the instrument, and
    // the current product is whichever was opened last.
    int ProductsNotCompared = 0;
    // Reading the product menus selected products, and the one active before could not be
    // selected again.
    bool ProductNotRestored = false;
    // False when the comparison stopped early (link lost, access refused, not connected).
    bool Complete = true;
    bool AccessRefused = false;
    bool Equal() const
    {
        return Complete && Unread.isEmpty() && Differences.isEmpty() && !ProductNotRestored;
    }
    // "54 items compared, 3 different" and what was left out.
    QByteArray Summary() const;
};

// The path as the Settings tab shows it, titles joined by " > ".
QByteArray PathText(const QList<QByteArray> &path);

// Two files, no instrument: items present in only one of them differ too.
TCompareResult CompareSettingsFiles(const QList<TSettingsEntry> &first, const QList<TSettingsEntry> &second);

// The instrument against a file. Access is asked for at the file's level (full when the file
// carries a calibration line) through the session's passcode prompt, and locked again afterwards
// unless a session is open; no session is started. Every item is read, the products' too (each
// product selected in turn, the active one selected again at the end: the only write); an
// unanswered read is asked again, and an item not read is listed as such, never as equal.
TCompareResult CompareWithInstrument(TTransactionEngine *engine, TSession *session,
                                     const QList<TSettingsEntry> &entries, bool fullLevel);
