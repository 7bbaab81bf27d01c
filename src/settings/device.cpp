// The register catalogue: request texts, reply reading, cached queries, the menu tree and the
// instrument facts read from fixed registers.
#include "device.h"

#include "link/comms.h"
#include "menumemory.h"
#include "values/tools.h"

#include <QString>
#include <algorithm>

namespace
{

// Blanks and control characters are trimmed from both ends of reply data.
QByteArray TrimControls(const QByteArray &text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && static_cast<unsigned char>(text[from]) <= 0x20)
        ++from;
    while (to > from && static_cast<unsigned char>(text[to - 1]) <= 0x20)
        --to;
    return text.mid(from, to - from);
}

// Only control characters are cut from the ends: the blanks of a string value are its own.
QByteArray TrimControlsOnly(const QByteArray &text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && static_cast<unsigned char>(text[from]) < 0x20)
        ++from;
    while (to > from && static_cast<unsigned char>(text[to - 1]) < 0x20)
        --to;
    return text.mid(from, to - from);
}

constexpr int ProductMenuRegister = 0xB100;
constexpr int ActiveProductRegister = 0xB010;

// The name in an item-name reply: after the type code and the permission (4 characters), every
// character kept.
QByteArray ItemNameOf(const QByteArray &raw)
{
    qsizetype from = 0;
    while (from < raw.size() && raw[from] == ' ')
        ++from;
    return raw.mid(from + 4);
}

bool IsOptionsType(int type)
{
    return type == 7 || type == 17;
}

} // namespace

// --- TMenuItemData / TMenuNode ------------------------------------------------------------------

int TMenuItemData::Type() const
{
    return static_cast<int>(HexToInt(TypeCode));
}

int TMenuItemData::RegisterNumber() const
{
    return static_cast<int>(HexToInt(Register));
}

TMenuNode *TMenuNode::AddChild(const QByteArray &text)
{
    auto child = std::make_unique<TMenuNode>();
    child->Text = text;
    child->Parent = this;
    Children.push_back(std::move(child));
    return Children.back().get();
}

bool TMenuNode::HasPlaceholder() const
{
    return !Children.empty() && !Children.front()->Data;
}

int TMenuNode::Row() const
{
    if (!Parent)
        return 0;
    for (size_t i = 0; i < Parent->Children.size(); ++i)
        if (Parent->Children[i].get() == this)
            return static_cast<int>(i);
    return 0;
}

// --- TDevice ------------------------------------------------------------------------------------

TDevice::TDevice(QObject *parent) : QObject(parent)
{
    ResetFacts();
}

TDevice::~TDevice() = default;

void TDevice::SetRegister(int reg)
{
    CurrentRegister = HexText(static_cast<uint32_t>(reg), 4);
}

void TDevice::SetReply(const QByteArray &text)
{
    ReplyLine = text;
    const qsizetype colon = text.indexOf(':');
    ReplyRaw = colon < 0 ? QByteArray() : TrimControlsOnly(text.mid(colon + 1, 300));
    ReplyData = TrimControls(ReplyRaw);
}

QByteArray TDevice::ItemName() const
{
    return ItemNameOf(ReplyRaw);
}

bool TDevice::ReplyFailed() const
{
    if (ReplyLine.size() < 2)
        return true;
    return (HexToInt(ReplyLine.left(2)) & 0x40) != 0;
}

int32_t TDevice::ReplyHex() const
{
    return static_cast<int32_t>(HexToInt(ReplyData));
}

int32_t TDevice::ReplyHexSigned16() const
{
    return static_cast<int16_t>(static_cast<uint16_t>(HexToInt(ReplyData) & 0xFFFF));
}

void TDevice::SetReplyHex(int32_t value)
{
    ReplyData = ReplyRaw = HexText(static_cast<uint32_t>(value), 8);
    Missing = false;
}

void TDevice::SetReplyText(const QByteArray &text)
{
    ReplyData = ReplyRaw = text;
    Missing = false;
}

void TDevice::Send(int command, const QByteArray &data)
{
    const bool selects = SelectsProduct(command, CurrentRegister, data);
    if (selects)
        NoteActiveProduct();
    else if (ProductSelected && command != CmdWrite && HexToInt(CurrentRegister) == ActiveProductRegister)
        RestoreProduct(false); // the active product is read as the user left it, not as reads left it
    Exchange(AddressTemplate + HexText(static_cast<uint32_t>(command), 2) + CurrentRegister + ':' + data,
             command);
    if (selects) {
        ProductSelected = true;
        if (KeepDepth == 0)
            RestoreProduct(true);
    }
}

// --- the active product -------------------------------------------------------------------------

bool TDevice::SelectsProduct(int command, const QByteArray &reg, const QByteArray &data)
{
    return (command == CmdReadMenu || command == CmdReadItem) &&
           HexToInt(reg) == static_cast<uint32_t>(ProductMenuRegister) && HexToInt(data) >= 2;
}

void TDevice::BeginKeepProduct()
{
    if (KeepDepth++ > 0)
        return;
    KeptNoted = false;
    KeptActive.clear();
    ProductSelected = false;
}

void TDevice::EndKeepProduct()
{
    if (KeepDepth <= 0 || --KeepDepth > 0)
        return;
    RestoreProduct(true);
}

void TDevice::SetKeptProduct(const QByteArray &value)
{
    KeptActive = value;
    KeptNoted = true;
}

void TDevice::NoteActiveProduct()
{
    if (KeptNoted || !OnExchange)
        return;
    TRegisterKeeper keep(*this);
    SetRegister(ActiveProductRegister);
    ReadValue();
    // Noted once, also when unreadable: a later read would see a product already selected.
    KeptNoted = true;
    KeptActive = ReplyFailed() ? QByteArray() : ReplyData;
}

void TDevice::RestoreProduct(bool forget)
{
    const bool selected = ProductSelected;
    const bool noted = KeptNoted;
    const QByteArray wanted = KeptActive;
    ProductSelected = false;
    if (forget) {
        KeptNoted = false;
        KeptActive.clear();
    }
    if (!selected)
        return;
    // The caller may still look at the reply of the request that selected the product.
    TRegisterKeeper keep(*this);
    const QByteArray line = ReplyLine, data = ReplyData, raw = ReplyRaw;
    const bool missing = Missing;
    ProductRestoreFailed = true;
    if (noted && !wanted.isEmpty()) {
        SetRegister(ActiveProductRegister);
        ReadValue();
        if (!ReplyFailed()) {
            if (HexToInt(ReplyData) == HexToInt(wanted)) {
                ProductRestoreFailed = false;
            } else {
                WriteValue(wanted);
                ProductRestoreFailed = ReplyFailed();
            }
        }
    }
    ReplyLine = line;
    ReplyData = data;
    ReplyRaw = raw;
    Missing = missing;
}

void TDevice::Exchange(const QByteArray &request, int command)
{
    Missing = true;
    // After an answer against a remembered structure the read goes on without sending: it is
    // thrown away and made again in full.
    if (!OnExchange || GaveUp || (Memory && Memory->Mismatched())) {
        SetReply({});
        return;
    }
    const bool read = command != CmdWrite && command != CmdExecute;
    const int attempts = read ? std::max(1, ReadAttempts) : 1;
    for (int i = 0; i < attempts; ++i) {
        ++RequestsSent;
        const QByteArray reply = OnExchange(request);
        // A reply to another query of the same register (its permission before its value, say)
        // names another command and is not this one's.
        Tcommsobj decoded;
        if (reply.isEmpty() || (decoded.Decode(reply) && decoded.Command != command))
            continue;
        SetReply(reply);
        Missing = false;
        return;
    }
    SetReply({});
    if (read && GiveUpWhenUnanswered)
        GaveUp = true;
}

TMenuCacheItem &TDevice::CacheFor(const QByteArray &reg, bool *created)
{
    auto &slot = Cache[reg.toUpper()];
    if (created)
        *created = !slot;
    if (!slot)
        slot = std::make_unique<TMenuCacheItem>();
    return *slot;
}

const TMenuCacheItem *TDevice::CacheEntry(const QByteArray &reg) const
{
    const auto it = Cache.find(reg.toUpper());
    return it == Cache.end() ? nullptr : it->second.get();
}

void TDevice::ReadType()
{
    TMenuCacheItem &entry = CacheFor(CurrentRegister);
    if (entry.ValidBits & TMenuCacheItem::TypeValid) {
        ReplyLine = "20";
        SetReplyText(entry.TypeCode);
        return;
    }
    Send(CmdReadType, {});
    if (!ReplyFailed()) {
        entry.TypeCode = ReplyData;
        entry.ValidBits |= TMenuCacheItem::TypeValid;
    }
}

void TDevice::ReadMinimum()
{
    TMenuCacheItem &entry = CacheFor(CurrentRegister);
    if (entry.ValidBits & TMenuCacheItem::MinimumValid) {
        ReplyLine = "20";
        SetReplyHex(entry.Minimum);
        return;
    }
    Send(CmdReadMinimum, {});
    if (!ReplyFailed()) {
        entry.Minimum = ReplyHex();
        entry.ValidBits |= TMenuCacheItem::MinimumValid;
    }
}

void TDevice::ReadMaximum()
{
    TMenuCacheItem &entry = CacheFor(CurrentRegister);
    if (entry.ValidBits & TMenuCacheItem::MaximumValid) {
        ReplyLine = "20";
        SetReplyHex(entry.Maximum);
        return;
    }
    Send(CmdReadLimit, {});
    if (!ReplyFailed()) {
        entry.Maximum = ReplyHex();
        entry.ValidBits |= TMenuCacheItem::MaximumValid;
    }
}

void TDevice::ReadLiteral()
{
    Send(CmdReadFormatted, {});
}

void TDevice::ReadOptionText(int index)
{
    Send(CmdReadOption, HexText(static_cast<uint32_t>(index), 2));
}

void TDevice::ReadPermission()
{
    Send(CmdReadPermission, {});
}

void TDevice::Execute(const QByteArray &arg)
{
    Send(CmdExecute, arg);
}

void TDevice::ReadValue()
{
    Send(CmdRead, {});
}

void TDevice::WriteValue(const QByteArray &value)
{
    Send(CmdWrite, value);
}

void TDevice::ReadMenuList()
{
    Send(CmdReadMenu, CurrentMenu);
}

void TDevice::ReadItemName()
{
    Send(CmdReadItem, CurrentMenu);
}

void TDevice::ExtendSession()
{
    if (OnExchange)
        Exchange(AddressTemplate + "1200EF:FF", CmdWrite);
}

void TDevice::RefreshMenu()
{
    if (OnExchange)
        Exchange(AddressTemplate + "1000EE:" + CurrentRegister, CmdExecute);
}

// --- tree ---------------------------------------------------------------------------------------

bool TDevice::BuildMenuTree(TMenuTree &nodes, int rootRegister, bool readAll, const QByteArray &caption)
{
    nodes.clear();
    MenuLimitText.clear();
    MenuItemsRead = 0;
    auto root = std::make_unique<TMenuNode>();
    root->Text = caption;
    root->Data = MakeItemData(caption, HexText(static_cast<uint32_t>(rootRegister), 4), "08", "0000");
    nodes.push_back(std::move(root));
    LoadChildren(*nodes.back(), readAll);
    return true;
}

void TDevice::LoadChildren(TMenuNode &node, bool readAll)
{
    // Listing the products selects each in turn: the active one is selected again at the end.
    TProductKeeper keepProduct(*this);
    if (!StructureCache || !StructureCache->Enabled || ModelText.isEmpty() || Memory || !node.Data) {
        LoadChildrenAt(node, readAll, 0);
        return;
    }
    StructureDropped.clear();
    Memory = std::make_unique<TMenuMemory>(*this, *StructureCache);
    LoadChildrenAt(node, readAll, 0);
    if (Memory->Mismatched()) {
        // Nothing read against a stale structure is kept: the menus are read again in full.
        StructureDropped = Memory->Reason;
        Memory->StartOver();
        node.Children.clear();
        node.Data->Unanswered = false;
        LoadChildrenAt(node, readAll, 0);
    }
    Memory->Finish(readAll);
    Memory.reset();
}

void TDevice::LoadChildrenAt(TMenuNode &node, bool readAll, int depth)
{
    if (!node.Data || !MenuLimitText.isEmpty())
        return;
    TRegisterKeeper keep(*this);
    CurrentRegister = node.Data->Register;
    CurrentMenu = node.Data->MenuKey;
    if (!Memory || Memory->ExtendDue(CurrentRegister, CurrentMenu))
        ExtendSession();
    ReadMenuList();
    if (ReplyFailed()) {
        node.Data->Unanswered = ReplyMissing();
        node.AddChild(PlaceholderText);
        return;
    }
    node.Data->Unanswered = false;
    QByteArray list = ReplyData;
    if (Memory)
        Memory->MenuListed(CurrentRegister, CurrentMenu, list);
    int entry = 0;
    // Each entry is a register and a menu key of 4 characters each; a broken tail is dropped.
    while (list.size() >= 8) {
        if (++MenuItemsRead > MaxMenuItems) {
            MenuLimitText =
                QStringLiteral("The instrument's menus hold more than %1 items (the walk reached "
                               "menu %2, register %3); the menus were not read further.")
                    .arg(MaxMenuItems)
                    .arg(QString::fromLatin1(node.Data->Name), QString::fromLatin1(node.Data->Register));
            node.AddChild(PlaceholderText);
            return;
        }
        CurrentRegister = list.left(4);
        CurrentMenu = list.mid(4, 4);
        list.remove(0, 8);
        ReadEntryName(entry++);
        if (ReplyFailed()) {
            // A name the instrument refuses leaves the item out. One that went unanswered leaves a
            // stand-in, so that the menu shows it is incomplete and says where.
            if (ReplyMissing()) {
                TMenuNode *stub = node.AddChild(UnansweredText);
                stub->Data = std::make_unique<TMenuItemData>();
                stub->Data->Register = CurrentRegister;
                stub->Data->MenuKey = CurrentMenu;
                stub->Data->Readable = false;
                stub->Data->Unanswered = true;
            }
            continue;
        }
        // The name keeps its blanks: " KIWI  " is another name than "KIWI".
        const QByteArray typeCode = ReplyData.left(2);
        const QByteArray name = ItemName();
        TMenuNode *child = node.AddChild(name);
        child->Data = MakeItemData(name, CurrentRegister, typeCode, CurrentMenu);
        const int type = child->Data->Type();
        if (type == rtMenu) {
            if (readAll && depth < MaxMenuDepth)
                LoadChildrenAt(*child, true, depth + 1);
            else
                child->AddChild(PlaceholderText);
            if (readAll && depth >= MaxMenuDepth && MenuLimitText.isEmpty())
                MenuLimitText =
                    QStringLiteral("The instrument's menus go deeper than %1 levels (menu %2, register "
                                   "%3); the menus were not read further.")
                        .arg(MaxMenuDepth)
                        .arg(QString::fromLatin1(name), QString::fromLatin1(child->Data->Register));
            if (!MenuLimitText.isEmpty())
                return;
        } else if (type != 11 && type != 15) {
            child->Text = ItemCaption(*child->Data);
        }
    }
    if (Memory)
        Memory->MenuDone();
}

void TDevice::ReadEntryName(int entry)
{
    if (Memory) {
        if (const auto name = Memory->RememberedName(entry)) {
            ReplyLine = "20";
            SetReplyText(*name);
            return;
        }
    }
    ReadItemName();
    if (Memory)
        Memory->NameAnswered(entry, ReplyFailed(), ReplyMissing(), ReplyData);
}

std::unique_ptr<TMenuItemData> TDevice::MakeItemData(const QByteArray &name, const QByteArray &reg,
                                                     const QByteArray &typeCode, const QByteArray &menuKey)
{
    TRegisterKeeper keep(*this);
    CurrentRegister = reg;
    CurrentMenu = menuKey;
    auto item = std::make_unique<TMenuItemData>();
    item->Name = name;
    item->Register = reg;
    item->MenuKey = menuKey;
    if (!typeCode.isEmpty()) {
        item->TypeCode = typeCode;
    } else {
        ReadType();
        item->Unanswered = ReplyMissing();
        if (ReplyFailed())
            item->Readable = false;
        else
            item->TypeCode = ReplyData;
    }
    const int type = item->Type();
    if (type == 8 || type == 11 || type == 15) {
        item->HasValue = false;
    } else {
        item->HasValue = true;
        if (const auto permission = Memory ? Memory->RememberedPermission(reg) : std::nullopt) {
            item->Permission = *permission;
        } else {
            ReadPermission();
            item->Unanswered = item->Unanswered || ReplyMissing();
            if (ReplyFailed())
                item->Readable = false;
            else
                item->Permission = static_cast<uint8_t>(ReplyHex());
            if (Memory && !ReplyMissing())
                Memory->PermissionAnswered(reg, item->TypeCode, ReplyFailed(), item->Permission);
        }
        if (!FullAccess && (item->Permission & 3) >= 2) {
            item->Readable = false;
        } else {
            if (const auto known = Memory ? Memory->RememberedValue(reg) : std::nullopt) {
                ReplyLine = "20";
                SetReplyText(*known);
            } else {
                ReadValue();
            }
            item->Unanswered = item->Unanswered || ReplyMissing();
            if (ReplyFailed())
                item->Readable = false;
            else
                item->Value = ReplyTextFor(type);
            const bool valueRead = !ReplyFailed();
            if (Memory)
                Memory->ValueAnswered(reg, item->TypeCode, ReplyFailed(), ReplyMissing(), item->Value);
            if (const auto literal =
                    Memory && valueRead ? Memory->RememberedLiteral(reg, item->Value) : std::nullopt) {
                item->Literal = *literal;
            } else {
                ReadLiteral();
                item->Unanswered = item->Unanswered || ReplyMissing();
                if (ReplyFailed())
                    item->Readable = false;
                else
                    item->Literal = ReplyTextFor(type);
                if (Memory && valueRead)
                    Memory->LiteralAnswered(reg, ReplyFailed(), ReplyMissing(), item->Value, item->Literal);
            }
        }
    }
    item->Modified = false;
    return item;
}

QByteArray TDevice::ItemCaption(const TMenuItemData &item)
{
    QByteArray caption = PadRight(item.Name, 8) + " : " + item.Literal;
    if (caption.size() > 25)
        caption = caption.left(25) + " ...";
    return caption;
}

std::optional<QList<QByteArray>> TDevice::ReadOptions()
{
    bool created = false;
    TMenuCacheItem &entry = CacheFor(CurrentRegister, &created);
    if (!created && (entry.ValidBits & TMenuCacheItem::TypeValid)) {
        if (!IsOptionsType(static_cast<int>(HexToInt(entry.TypeCode))))
            return std::nullopt;
        if ((entry.ValidBits & TMenuCacheItem::OptionsValid) && entry.Options)
            return *entry.Options;
        // Known option register whose list could not be read before: try again.
    } else {
        ReadType();
        if (ReplyFailed() || !IsOptionsType(static_cast<int>(HexToInt(ReplyData))))
            return std::nullopt;
    }

    ReadMinimum();
    if (ReplyFailed())
        return QList<QByteArray>();
    const int32_t minimum = entry.Minimum;
    ReadMaximum();
    const int32_t maximum = ReplyFailed() ? 0 : entry.Maximum;

    // The range is read as unsigned when the minimum is not negative, and bounded.
    int64_t count = 0;
    if (minimum >= 0)
        count = static_cast<int64_t>(static_cast<uint32_t>(maximum)) - minimum + 1;
    else
        count = static_cast<int64_t>(maximum) - minimum + 1;
    count = std::clamp<int64_t>(count, 0, MaxOptions);

    auto options = std::make_unique<QList<QByteArray>>();
    for (int64_t k = 0; k < count; ++k) {
        ReadOptionText(static_cast<int>(static_cast<uint32_t>(minimum) + static_cast<uint32_t>(k)));
        options->append(ReplyFailed() ? QByteArray("Unknown") : ReplyData);
    }
    entry.Options = std::move(options);
    entry.ValidBits |= TMenuCacheItem::OptionsValid;
    return *entry.Options;
}

// --- instrument facts ---------------------------------------------------------------------------

void TDevice::ClearCalibrationInfo()
{
    LinPoints.fill(0);
    LinPointUnread.fill(false);
    CalZero = CalRef = CalSpan = CalSpanShown = CalDecimals = CalWeight = 0;
    CalUnits = "  ";
    CalBlock.clear();
    CalZeroKnown = CalSpanKnown = CalWeightKnown = false;
}

void TDevice::ResetFacts()
{
    ClearCalibrationInfo();
    SerialNumber.clear();
    ModelText.clear();
    VersionText.clear();
    CommsType.clear();
}

void TDevice::SetCalSpan(int32_t v)
{
    CalSpan = v;
    TRegisterKeeper keep(*this);
    SetRegister(0x0121);
    ReadValue();
    CalSpanKnown = !ReplyFailed();
    if (!CalSpanKnown)
        return;
    // Before any calibration figures are known the reference is 0: the shown span is then 0.
    CalSpanShown = CalRef == 0 ? 0 : static_cast<int32_t>(int64_t(ReplyHex()) * CalSpan / CalRef);
}

void TDevice::ReadCalibrationInfo()
{
    TRegisterKeeper keep(*this);
    ClearCalibrationInfo();
    SetRegister(0x0112);
    ReadValue();
    const bool refRead = !ReplyFailed();
    if (refRead)
        CalRef = ReplyHex();
    SetRegister(0x0025);
    ReadLiteral();
    const bool literalRead = !ReplyFailed();
    if (literalRead) {
        const QByteArray literal = ReplyData;
        CalDecimals = DecimalsIn(literal);
        // The units sit before the last two characters ("12.50 kg G").
        CalUnits = literal.size() >= 4 ? literal.mid(literal.size() - 4, 2) : QByteArray("  ");
    }
    SetRegister(0x002F);
    ReadValue();
    if (!ReplyFailed())
        CalWeight = ReplyHex();
    CalWeightKnown = literalRead && !ReplyFailed();
    SetRegister(0x00F8);
    ReadValue();
    if (!ReplyFailed())
        CalBlock = ReplyData;
    SetRegister(0x0111);
    ReadValue();
    CalZeroKnown = !ReplyFailed();
    if (CalZeroKnown)
        CalZero = ReplyHex();
    SetRegister(0x0113);
    ReadValue();
    if (!ReplyFailed())
        SetCalSpan(ReplyHex());
    CalSpanKnown = CalSpanKnown && refRead;
    SetRegister(0x0115);
    for (int i = 0; i < 10; ++i) {
        Execute(QByteArray::number(i));
        LinPoints[static_cast<size_t>(i)] = ReplyFailed() ? 0 : ReplyHex();
        LinPointUnread[static_cast<size_t>(i)] = ReplyMissing();
    }
}

QList<QByteArray> TDevice::LinearisationList() const
{
    QList<QByteArray> lines;
    for (int n = 1; n <= 10; ++n) {
        const int32_t point = LinPoints[static_cast<size_t>(n - 1)];
        if (LinPointUnread[static_cast<size_t>(n - 1)])
            lines.append(QString::asprintf("%2d: (not read)", n).toLatin1());
        else
            lines.append(point != 0 ? QString::asprintf("%2d: %3d%%", n, point).toLatin1()
                                    : QString::asprintf("%2d:", n).toLatin1());
    }
    return lines;
}

QByteArray TDevice::CalZeroText() const
{
    return CalZeroKnown ? SignedToDecimalText(CalZero, 4) : QByteArray("(not read)");
}

QByteArray TDevice::CalSpanText() const
{
    return CalSpanKnown ? SignedToDecimalText(CalSpanShown, 4) : QByteArray("(not read)");
}

QByteArray TDevice::CalWeightText() const
{
    return CalWeightKnown ? SignedToDecimalText(CalWeight, CalDecimals) + " " + CalUnits.trimmed()
                          : QByteArray("(not read)");
}

void TDevice::ReadIdentity()
{
    TRegisterKeeper keep(*this);
    SerialNumber.clear();
    ModelText.clear();
    VersionText.clear();
    CommsType.clear();
    SetRegister(0x0005);
    ReadValue();
    if (!ReplyFailed())
        SerialNumber = QByteArray::number(static_cast<uint32_t>(ReplyHex())); // all 32 bits, no sign
    SetRegister(0x0003);
    ReadValue();
    if (!ReplyFailed())
        ModelText = ReplyData;
    SetRegister(0x0004);
    ReadValue();
    if (!ReplyFailed())
        VersionText = ReplyData;
    SetRegister(0x0001);
    ReadValue();
    if (!ReplyFailed())
        CommsType = ReplyData;
}

// --- data-store pointers ------------------------------------------------------------------------

bool TDevice::ExecuteInto(int reg, const QByteArray &arg, QByteArray &out)
{
    out.clear();
    if (!OnExchange)
        return false;
    TRegisterKeeper keep(*this);
    SetRegister(reg);
    Execute(arg);
    if (ReplyFailed())
        return false;
    out = ReplyData;
    return true;
}

bool TDevice::ReadDataStoreInfo()
{
    SerialNumber.clear();
    OldestRecordText.clear();
    NewestRecordText.clear();
    if (!OnExchange)
        return false;
    {
        TRegisterKeeper keep(*this);
        SetRegister(0x0005);
        ReadValue();
        if (ReplyFailed())
            return false;
        SerialNumber = QByteArray::number(static_cast<uint32_t>(ReplyHex())); // all 32 bits, no sign
    }
    const bool oldest = ExecuteInto(0x8294, {}, OldestRecordText);
    const bool newest = ExecuteInto(0x8295, {}, NewestRecordText);
    return oldest && newest;
}

bool TDevice::ReadOldestRecord(QByteArray &out)
{
    return ExecuteInto(0x8294, {}, out);
}

bool TDevice::ReadNewestRecord(QByteArray &out)
{
    return ExecuteInto(0x8295, {}, out);
}

bool TDevice::ReadRecordByNumber(uint32_t n, QByteArray &out)
{
    return ExecuteInto(0x8291, QByteArray::number(n, 16).toUpper(), out);
}

bool TDevice::ReadNextRecord(QByteArray &out)
{
    return ExecuteInto(0x8292, {}, out);
}
