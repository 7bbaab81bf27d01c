// The register catalogue: asks the instrument for its menus, item names, types, ranges, options
// and values through an exchange callback, caches what never changes, and holds the instrument facts.
#pragma once

#include "menutree.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class TMenuStructureCache;
class TMenuMemory;

// Register type codes the instrument sends (the program acts on the number).
enum TRegisterType : int {
    rtNumber = 1, // also 3 and 4
    rtNumberSigned16 = 2,
    rtNumberUnsigned = 5,
    rtString = 6,
    rtOptions = 7, // also 17
    rtMenu = 8,
    rtNoValue = 11, // also 15
    rtOptionPage = 12,
    rtIpAddress = 18,
};

// Per-register answers that never change while the program runs.
class TMenuCacheItem
{
public:
    enum : uint32_t { MinimumValid = 0x01, MaximumValid = 0x02, TypeValid = 0x04, OptionsValid = 0x40 };
    int32_t Minimum = -1;
    int32_t Maximum = -1;
    QByteArray TypeCode;
    std::unique_ptr<QList<QByteArray>> Options;
    uint32_t ValidBits = 0;
};

class TDevice : public QObject
{
    Q_OBJECT
public:
    explicit TDevice(QObject *parent = nullptr);
    ~TDevice() override;

    // --- exchange ---------------------------------------------------------------------------
    // Takes a request text, returns the reply text (empty on time-out). Error replies are
    // reported by the exchange itself.
    std::function<QByteArray(const QByteArray &request)> OnExchange;

    // --- request building and reply access --------------------------------------------------
    void SetRegister(int reg);
    void SetRegisterText(const QByteArray &reg) { CurrentRegister = reg; }
    void SetMenu(const QByteArray &menu) { CurrentMenu = menu; }
    QByteArray GetRegister() const { return CurrentRegister; }
    QByteArray GetMenu() const { return CurrentMenu; }
    void SetReply(const QByteArray &text);
    bool ReplyFailed() const;
    int32_t ReplyHex() const;
    int32_t ReplyHexSigned16() const;
    QByteArray ReplyText() const { return ReplyData; }
    // The reply data with its blanks: string values keep them exactly as the instrument holds them.
    QByteArray ReplyTextKept() const { return ReplyRaw; }
    // The reply data as an item of this type keeps it: strings untrimmed, everything else trimmed.
    QByteArray ReplyTextFor(int type) const { return type == rtString ? ReplyRaw : ReplyData; }
    // The name an item-name reply gives, every character kept.
    QByteArray ItemName() const;
    // The last query got no reply of its own (time-out, link lost, or only a reply to another
    // request); a refusal is a reply.
    bool ReplyMissing() const { return Missing; }
    void SetReplyHex(int32_t value);
    void SetReplyText(const QByteArray &text);
    QByteArray GetReplyLine() const { return ReplyLine; }

    // --- register queries on CurrentRegister ------------------------------------------------
    void ReadType();
    void ReadMinimum();
    void ReadMaximum();
    void ReadLiteral();
    void ReadOptionText(int index);
    void ReadPermission();
    void Execute(const QByteArray &arg);
    void ReadValue();
    void WriteValue(const QByteArray &value);
    void ReadMenuList();
    void ReadItemName();
    void ExtendSession();
    void RefreshMenu();

    // --- tree and items (the menu walk, menuwalk.cpp) ---------------------------------------
    bool BuildMenuTree(TMenuTree &nodes, int rootRegister, bool readAll, const QByteArray &caption);
    void LoadChildren(TMenuNode &node, bool readAll);
    std::unique_ptr<TMenuItemData> MakeItemData(const QByteArray &name, const QByteArray &reg,
                                                const QByteArray &typeCode, const QByteArray &menuKey);
    static QByteArray ItemCaption(const TMenuItemData &item);
    // Option texts of CurrentRegister; none for registers that are not option lists.
    std::optional<QList<QByteArray>> ReadOptions();

    // --- instrument facts -------------------------------------------------------------------
    void ResetFacts();
    void ClearCalibrationInfo();
    void ReadCalibrationInfo();
    void ReadIdentity();
    void SetCalZero(int32_t v)
    {
        CalZero = v;
        CalZeroKnown = true;
    }
    void SetCalSpan(int32_t v);
    int32_t GetCalZero() const { return CalZero; }
    int32_t GetCalSpan() const { return CalSpan; }
    QList<QByteArray> LinearisationList() const;
    // The figures as shown ("0.1000", "3000.00 kg"), or "(not read)" when their reads failed:
    // a figure never read is not shown as 0.
    QByteArray CalZeroText() const;
    QByteArray CalSpanText() const;
    QByteArray CalWeightText() const;

    // --- data-store pointers ----------------------------------------------------------------
    bool ReadDataStoreInfo();
    bool ReadOldestRecord(QByteArray &out);
    bool ReadNewestRecord(QByteArray &out);
    bool ReadRecordByNumber(uint32_t n, QByteArray &out);
    bool ReadNextRecord(QByteArray &out);

    // --- state ------------------------------------------------------------------------------
    std::array<int32_t, 10> LinPoints{};
    std::array<bool, 10> LinPointUnread{}; // the point's reply did not come: its value is not known
    int32_t CalZero = 0;
    int32_t CalRef = 0;
    int32_t CalSpan = 0;
    int32_t CalSpanShown = 0;
    int32_t CalDecimals = 0;
    QByteArray CalUnits = "  ";
    int32_t CalWeight = 0;
    QByteArray CalBlock;
    // Which figures the last ReadCalibrationInfo (or a direct entry) read.
    bool CalZeroKnown = false;
    bool CalSpanKnown = false;
    bool CalWeightKnown = false;
    QByteArray SerialNumber;
    QByteArray ModelText;
    QByteArray VersionText;
    QByteArray CommsType;
    QByteArray AddressTemplate = "20";
    bool FullAccess = false;
    QByteArray OldestRecordText;
    QByteArray NewestRecordText;

    // Upper bound of an option list: an instrument that reports a huge range must not make the
    // catalogue send billions of queries.
    static constexpr int MaxOptions = 256;
    // Menus nested deeper than this are not followed by a full read (guards against a menu
    // that lists itself).
    static constexpr int MaxMenuDepth = 32;
    // Items one tree holds, read in one walk or opened one by one: an instrument whose menus never
    // end stops here instead of filling the memory. One menu lists at most what one reply holds.
    static constexpr int MaxMenuItems = 10000;
    // The first limit a menu walk passed ("The instrument's menus go deeper than 32 levels ...");
    // empty while none was. Once set, no menu is read any more until a new tree is built.
    QString MenuLimitText;

    // --- unanswered reads ----------------------------------------------------------------------
    // How often a read query is sent before it counts as unanswered. Reads are harmless to
    // repeat; writes and executes always go out once (the exchange itself resends once after a
    // time-out). 1 for interactive use; a save or dump asks for more.
    int ReadAttempts = 1;
    // When set, the first read still unanswered after all its attempts makes every later query
    // fail at once without being sent (GaveUp): an operation that has failed anyway ends in one
    // time-out instead of one per query.
    bool GiveUpWhenUnanswered = false;
    bool GaveUp = false;

    // --- the active product ---------------------------------------------------------------------
    // The instrument selects a product whenever a product's menu (0xB100 with a key from 2 on) is
    // listed or named. Before the first such request the active product (0xB010) is noted, and it
    // is selected again right after the request, or, while a TProductKeeper is open, when the
    // outermost keeper ends: no read leaves another product active than before it.
    void BeginKeepProduct();
    void EndKeepProduct();
    // A product function changed which product is to be active afterwards (an add, a delete):
    // the value of 0xB010 to come back to; empty: whatever the instrument holds now.
    void SetKeptProduct(const QByteArray &value);
    // The value noted for 0xB010 while a keeper is open (empty when none was noted yet).
    QByteArray KeptProduct() const { return KeptActive; }
    // Notes the active product now (a keeper is open and no product was selected yet).
    void NoteActiveProduct();
    // The last restore could not read or write 0xB010: the active product may have changed.
    bool ProductRestoreFailed = false;
    static bool SelectsProduct(int command, const QByteArray &reg, const QByteArray &data);

    // --- remembered menu structures ------------------------------------------------------------
    // When set and enabled, a menu read of a model and version (ModelText, VersionText) whose
    // structure is kept asks only each menu's list, its first item's name and the values; anything
    // answered against the structure drops it and the menus are read again in full. Reads teach the
    // structure of models not yet kept.
    TMenuStructureCache *StructureCache = nullptr;
    // Why the last read dropped a remembered structure (empty: it did not).
    QString StructureDropped;

    // Requests sent so far (tests and benchmarks count them).
    int64_t RequestsSent = 0;
    const TMenuCacheItem *CacheEntry(const QByteArray &reg) const;

private:
    void Send(int command, const QByteArray &data);
    TMenuCacheItem &CacheFor(const QByteArray &reg, bool *created = nullptr);
    void LoadChildrenAt(TMenuNode &node, bool readAll, int depth);
    // The name of a menu's entry: from the remembered structure, or asked.
    void ReadEntryName(int entry);
    bool ExecuteInto(int reg, const QByteArray &arg, QByteArray &out);
    void Exchange(const QByteArray &request, int command);
    // Selects the noted product again; `forget` ends the keeping (else later reads go on keeping it).
    void RestoreProduct(bool forget);

    int KeepDepth = 0;
    int MenuItemsRead = 0;        // items read into the tree since it was built
    QByteArray KeptActive;        // 0xB010 before the first product was selected
    bool KeptNoted = false;       // KeptActive was read (or set by a product function)
    bool ProductSelected = false; // a request selected a product since it was noted

    QByteArray CurrentRegister = "0000";
    QByteArray CurrentMenu = "0000";
    QByteArray ReplyLine;
    QByteArray ReplyData;
    QByteArray ReplyRaw;
    bool Missing = false;
    std::map<QByteArray, std::unique_ptr<TMenuCacheItem>> Cache;
    std::unique_ptr<TMenuMemory> Memory; // the remembered structure of the menu read under way
};

// Keeps the instrument's active product over a stretch of reads (see TDevice::BeginKeepProduct).
class TProductKeeper
{
public:
    explicit TProductKeeper(TDevice &device) : Device(device) { Device.BeginKeepProduct(); }
    ~TProductKeeper() { Device.EndKeepProduct(); }
    TProductKeeper(const TProductKeeper &) = delete;
    TProductKeeper &operator=(const TProductKeeper &) = delete;

private:
    TDevice &Device;
};

// Saves the catalogue's CurrentRegister and CurrentMenu and restores them on every way out.
class TRegisterKeeper
{
public:
    explicit TRegisterKeeper(TDevice &device)
        : Device(device), Register(device.GetRegister()), Menu(device.GetMenu())
    {
    }
    ~TRegisterKeeper()
    {
        Device.SetRegisterText(Register);
        Device.SetMenu(Menu);
    }
    TRegisterKeeper(const TRegisterKeeper &) = delete;
    TRegisterKeeper &operator=(const TRegisterKeeper &) = delete;

private:
    TDevice &Device;
    QByteArray Register;
    QByteArray Menu;
};
