// The register catalogue's menu walk: the settings tree's nodes, reading menus into them (in full or
// one menu at a time, against a remembered structure when one is kept) and each item's record.
#include "device.h"

#include "menumemory.h"
#include "values/tools.h"

#include <QString>

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
