// One read of the menus of an instrument whose model's structure is remembered: which questions the
// structure answers, what the instrument's answers are checked against, and what a read teaches.
#pragma once

#include "menucache.h"

#include <QElapsedTimer>
#include <QString>
#include <vector>

class TDevice;

class TMenuMemory
{
public:
    // Takes the structure of the device's model and version (ModelText, VersionText) from the cache.
    TMenuMemory(TDevice &device, TMenuStructureCache &cache);

    // --- per menu (the walk asks in this order) -------------------------------------------------
    // The session is renewed before a menu that is read in full; a remembered one renews it only
    // every few seconds (its read is short).
    bool ExtendDue(const QByteArray &reg, const QByteArray &menuKey);
    // The menu's list was answered: it must be the remembered one (or the menu is learned).
    void MenuListed(const QByteArray &reg, const QByteArray &menuKey, const QByteArray &list);
    // The name of entry `index` when the structure gives it (every entry but the first of a
    // remembered menu); none: ask the instrument.
    std::optional<QByteArray> RememberedName(int index) const;
    void NameAnswered(int index, bool failed, bool missing, const QByteArray &reply);
    void MenuDone();

    // --- per item -----------------------------------------------------------------------------
    std::optional<uint8_t> RememberedPermission(const QByteArray &reg) const;
    void PermissionAnswered(const QByteArray &reg, const QByteArray &typeCode, bool failed,
                            uint8_t permission);
    void ValueAnswered(const QByteArray &reg, const QByteArray &typeCode, bool failed, bool missing,
                       const QByteArray &value);
    // The display text of the value when the structure gives it (the context values checked
    // first, once a read); none: ask the instrument.
    std::optional<QByteArray> RememberedLiteral(const QByteArray &reg, const QByteArray &value);
    // A value this read asked already (checking the context); none: ask it.
    std::optional<QByteArray> RememberedValue(const QByteArray &reg);
    void LiteralAnswered(const QByteArray &reg, bool failed, bool missing, const QByteArray &value,
                         const QByteArray &literal);

    // --- outcome --------------------------------------------------------------------------------
    // The instrument answered against the structure: the read so far is worthless and nothing more
    // is sent for it.
    bool Mismatched() const { return !Reason.isEmpty(); }
    QString Reason;
    // Forgets the structure (its file too) and reads on as for a model never seen.
    void StartOver();
    // Keeps what the read taught; after a read of every menu (`readAll`) the ranges and option
    // texts of its items are asked once, so that files of this model can be edited without it.
    void Finish(bool readAll);
    // The structure gave anything this read.
    bool Used() const { return UsedStructure; }

private:
    struct TMenuState {
        QByteArray Key;
        const TMenuShape *Remembered = nullptr; // none: the menu is read in full
        TMenuShape Learned;
        bool Complete = true; // every name answered
        bool Data = false;    // the product menu: its entries are products, not structure
    };
    struct TObserved {
        QByteArray Register;
        QByteArray TypeCode;
        QByteArray Value;
        QByteArray Literal;
        bool LiteralRead = false;
    };
    // The names of the menu being read come from the structure.
    bool Remembering() const { return !Stack.empty() && Stack.back().Remembered; }
    // The items of the menu being read are checked against the structure (a remembered menu, or a
    // product's menu of a remembered model: its entries are data, its items are not).
    bool ItemsRemembered() const
    {
        return Known && !Stack.empty() && (Stack.back().Remembered || Stack.back().Data);
    }
    void Mismatch(const QString &why);
    static QByteArray KeyOf(const QByteArray &reg, const QByteArray &menuKey);
    static bool IsDataMenu(const QByteArray &reg, const QByteArray &menuKey);
    bool CheckContext();
    void CompleteRanges();

    TDevice &Device;
    TMenuStructureCache &Cache;
    std::unique_ptr<TMenuStructure> Structure; // never null: empty for a model not seen
    bool Known = false;                        // the structure came from the cache
    std::vector<TMenuState> Stack;
    std::vector<TMenuShape> Done;
    std::vector<QByteArray> DoneKeys;
    std::vector<TObserved> Observed;
    std::map<QByteArray, uint8_t> Permissions;
    std::map<QByteArray, QByteArray> Types;
    int ContextState = 0; // 0 not checked, 1 the same as remembered, -1 differs or unknown
    std::map<QByteArray, QByteArray> ContextValues; // read for the check, not yet used by the walk
    // The display text of the first value of the read whose text the structure gives is asked
    // and checked: display forms changed behind the structure show there.
    bool Sampled = false;
    bool UsedStructure = false;
    QElapsedTimer SinceExtend;
};
