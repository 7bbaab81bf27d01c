// One read of the menus with a remembered structure: answers from the structure, checks of the
// instrument's answers against it, and what the read adds to it.
#include "menumemory.h"

#include "device.h"
#include "values/tools.h"

#include <algorithm>

namespace
{

constexpr int ProductMenuRegister = 0xB100;
// A remembered menu's read is short: the session is renewed every few seconds instead of per menu.
constexpr qint64 ExtendEveryMs = 5000;

bool HasValueType(const QByteArray &typeCode)
{
    const int type = static_cast<int>(HexToInt(typeCode));
    return type != 8 && type != 11 && type != 15;
}

} // namespace

TMenuMemory::TMenuMemory(TDevice &device, TMenuStructureCache &cache)
    : Device(device), Cache(cache), Structure(cache.Load(device.ModelText, device.VersionText))
{
    Known = Structure != nullptr;
    if (!Structure) {
        Structure = std::make_unique<TMenuStructure>();
        Structure->Model = device.ModelText;
        Structure->Version = device.VersionText;
    }
}

// The key a menu is remembered under: each product's menu has the same items, so they share one.
QByteArray TMenuMemory::KeyOf(const QByteArray &reg, const QByteArray &menuKey)
{
    if (HexToInt(reg) == ProductMenuRegister && HexToInt(menuKey) >= 2)
        return TMenuStructure::MenuKey(reg, "PRODUCT");
    return TMenuStructure::MenuKey(reg, menuKey);
}

bool TMenuMemory::IsDataMenu(const QByteArray &reg, const QByteArray &menuKey)
{
    return HexToInt(reg) == ProductMenuRegister && HexToInt(menuKey) == 0;
}

bool TMenuMemory::ExtendDue(const QByteArray &reg, const QByteArray &menuKey)
{
    const bool remembered =
        !Mismatched() && Known && (IsDataMenu(reg, menuKey) || Structure->Menus.count(KeyOf(reg, menuKey)));
    if (remembered && SinceExtend.isValid() && SinceExtend.elapsed() < ExtendEveryMs)
        return false;
    SinceExtend.start();
    return true;
}

void TMenuMemory::MenuListed(const QByteArray &reg, const QByteArray &menuKey, const QByteArray &list)
{
    TMenuState state;
    state.Key = KeyOf(reg, menuKey);
    state.Learned.List = list;
    state.Data = IsDataMenu(reg, menuKey);
    if (Known && !state.Data && !Mismatched()) {
        const auto it = Structure->Menus.find(state.Key);
        if (it != Structure->Menus.end()) {
            if (it->second.List != list)
                Mismatch(QStringLiteral("the items of menu %1 are not the remembered ones")
                             .arg(QString::fromLatin1(state.Key)));
            else
                state.Remembered = &it->second;
        }
    }
    if (state.Remembered)
        UsedStructure = true;
    Stack.push_back(state);
}

std::optional<QByteArray> TMenuMemory::RememberedName(int index) const
{
    // The first name is always asked: a model changed behind the structure shows it there.
    if (!Remembering() || index <= 0 || index >= Stack.back().Remembered->Names.size())
        return std::nullopt;
    return Stack.back().Remembered->Names.at(index);
}

void TMenuMemory::NameAnswered(int index, bool failed, bool missing, const QByteArray &reply)
{
    if (Stack.empty())
        return;
    TMenuState &state = Stack.back();
    if (failed)
        state.Complete = false;
    else
        state.Learned.Names.append(reply);
    if (!state.Remembered || index != 0)
        return;
    if (missing) {
        // Unverified: the rest of this menu is asked in full.
        state.Remembered = nullptr;
        return;
    }
    if (failed || reply != state.Remembered->Names.value(0))
        Mismatch(QStringLiteral("the first item of menu %1 is not the remembered one")
                     .arg(QString::fromLatin1(state.Key)));
}

void TMenuMemory::MenuDone()
{
    if (Stack.empty())
        return;
    TMenuState state = Stack.back();
    Stack.pop_back();
    if (state.Data || !state.Complete || Mismatched())
        return;
    if (state.Remembered)
        state.Learned.Names = state.Remembered->Names;
    if (state.Learned.Names.size() != state.Learned.List.size() / 8)
        return;
    Done.push_back(state.Learned);
    DoneKeys.push_back(state.Key);
}

std::optional<uint8_t> TMenuMemory::RememberedPermission(const QByteArray &reg) const
{
    if (!ItemsRemembered())
        return std::nullopt;
    const auto it = Structure->Items.find(reg.toUpper());
    if (it == Structure->Items.end())
        return std::nullopt;
    return it->second.Permission;
}

void TMenuMemory::PermissionAnswered(const QByteArray &reg, const QByteArray &typeCode, bool failed,
                                     uint8_t permission)
{
    Types[reg.toUpper()] = typeCode;
    if (failed) {
        if (ItemsRemembered())
            Mismatch(QStringLiteral("register %1 refused its permission").arg(QString::fromLatin1(reg)));
        return;
    }
    Permissions[reg.toUpper()] = permission;
}

void TMenuMemory::ValueAnswered(const QByteArray &reg, const QByteArray &typeCode, bool failed, bool missing,
                                const QByteArray &value)
{
    Types[reg.toUpper()] = typeCode;
    if (failed) {
        if (!missing && ItemsRemembered())
            Mismatch(QStringLiteral("register %1 refused its value").arg(QString::fromLatin1(reg)));
        return;
    }
    Observed.push_back({reg.toUpper(), typeCode, value, {}, false});
    if (!Known)
        return;
    const auto it = Structure->Items.find(reg.toUpper());
    if (it != Structure->Items.end() && (it->second.TypeCode != typeCode || !it->second.Admits(value)))
        Mismatch(QStringLiteral("register %1 answered %2, outside its remembered type or range")
                     .arg(QString::fromLatin1(reg), QString::fromLatin1(value)));
}

std::optional<QByteArray> TMenuMemory::RememberedLiteral(const QByteArray &reg, const QByteArray &value)
{
    if (!ItemsRemembered() || Mismatched())
        return std::nullopt;
    const auto it = Structure->Items.find(reg.toUpper());
    if (it == Structure->Items.end() || !CheckContext())
        return std::nullopt;
    // The first value of each menu is shown as the instrument shows it, and checked: display forms
    // that changed behind the structure (decimals, units, option texts) show there.
    if (!Sampled)
        return std::nullopt;
    auto literal = it->second.LiteralFor(value);
    if (literal && !Observed.empty() && Observed.back().Register == reg.toUpper())
        Observed.back().Literal = *literal;
    return literal;
}

std::optional<QByteArray> TMenuMemory::RememberedValue(const QByteArray &reg)
{
    const auto it = ContextValues.find(reg.toUpper());
    if (it == ContextValues.end() || !ItemsRemembered())
        return std::nullopt;
    const QByteArray value = it->second;
    ContextValues.erase(it);
    return value;
}

void TMenuMemory::LiteralAnswered(const QByteArray &reg, bool failed, bool missing, const QByteArray &value,
                                  const QByteArray &literal)
{
    if (failed) {
        if (!missing && ItemsRemembered())
            Mismatch(QStringLiteral("register %1 refused its display text").arg(QString::fromLatin1(reg)));
        return;
    }
    if (ItemsRemembered() && !Sampled && ContextState > 0) {
        Sampled = true;
        const auto it = Structure->Items.find(reg.toUpper());
        const auto expected = it == Structure->Items.end() ? std::nullopt : it->second.LiteralFor(value);
        if (expected && *expected != literal)
            Mismatch(QStringLiteral("register %1 shows %2, not the remembered %3")
                         .arg(QString::fromLatin1(reg), QString::fromLatin1(literal),
                              QString::fromLatin1(*expected)));
    }
    if (!Observed.empty() && Observed.back().Register == reg.toUpper() && Observed.back().Value == value) {
        Observed.back().Literal = literal;
        Observed.back().LiteralRead = true;
    }
}

bool TMenuMemory::CheckContext()
{
    if (ContextState != 0)
        return ContextState > 0;
    ContextState = -1;
    if (Structure->Context.empty() && !Structure->ContextRegisters().isEmpty())
        return false;
    TRegisterKeeper keep(Device);
    for (const QByteArray &reg : Structure->ContextRegisters()) {
        const auto remembered = Structure->Context.find(reg);
        const uint8_t permission = Structure->Items[reg].Permission.value_or(0);
        if (remembered == Structure->Context.end() || (!Device.FullAccess && (permission & 3) >= 2))
            return false;
        Device.SetRegisterText(reg);
        Device.ReadValue();
        const QByteArray value =
            Device.ReplyTextFor(static_cast<int>(HexToInt(Structure->Items[reg].TypeCode)));
        if (Device.ReplyFailed() || value != remembered->second)
            return false;
        ContextValues[reg] = value;
    }
    ContextState = 1;
    return true;
}

void TMenuMemory::Mismatch(const QString &why)
{
    if (Reason.isEmpty())
        Reason = why;
}

void TMenuMemory::StartOver()
{
    Cache.Drop(Structure->Model, Structure->Version);
    Cache.LastDropReason = Reason;
    const QByteArray model = Structure->Model, version = Structure->Version;
    Structure = std::make_unique<TMenuStructure>();
    Structure->Model = model;
    Structure->Version = version;
    Known = false;
    Reason.clear();
    Stack.clear();
    Done.clear();
    DoneKeys.clear();
    Observed.clear();
    Permissions.clear();
    Types.clear();
    ContextState = 0;
    ContextValues.clear();
    Sampled = false;
    SinceExtend.invalidate();
}

void TMenuMemory::CompleteRanges()
{
    TRegisterKeeper keep(Device);
    for (const TObserved &seen : Observed) {
        TItemShape &item = Structure->Items[seen.Register];
        const int type = static_cast<int>(HexToInt(item.TypeCode));
        if (!HasValueType(item.TypeCode) || type == 12)
            continue;
        Device.SetRegisterText(seen.Register);
        if (type == 7 || type == 17) {
            if (!item.Options) {
                const auto options = Device.ReadOptions();
                const TMenuCacheItem *entry = Device.CacheEntry(seen.Register);
                if (options && !options->contains("Unknown") && entry &&
                    (entry->ValidBits & TMenuCacheItem::MinimumValid) &&
                    (entry->ValidBits & TMenuCacheItem::MaximumValid)) {
                    item.Options = *options;
                    item.Minimum = entry->Minimum;
                    item.Maximum = entry->Maximum;
                }
            }
            continue;
        }
        if (!item.Minimum && type != 6) {
            Device.ReadMinimum();
            if (!Device.ReplyFailed())
                item.Minimum = Device.ReplyHex();
        }
        if (!item.Maximum) {
            Device.ReadMaximum();
            if (!Device.ReplyFailed())
                item.Maximum = Device.ReplyHex();
        }
    }
}

void TMenuMemory::Finish(bool readAll)
{
    if (Mismatched() || Structure->Model.isEmpty())
        return;
    for (size_t i = 0; i < Done.size(); ++i)
        Structure->Menus[DoneKeys[i]] = Done[i];
    for (const auto &[reg, type] : Types)
        Structure->Items[reg].TypeCode = type;
    for (const auto &[reg, permission] : Permissions)
        Structure->Items[reg].Permission = permission;
    if (readAll)
        CompleteRanges();

    // Display forms are learned from the texts the instrument showed, under the values that shape
    // the menus (the context) at the time.
    const bool shown =
        std::any_of(Observed.begin(), Observed.end(), [](const TObserved &o) { return o.LiteralRead; });
    bool contextKnown = ContextState > 0;
    if (shown && !contextKnown) {
        std::map<QByteArray, QByteArray> context;
        for (const TObserved &seen : Observed) {
            const auto &permission = Structure->Items[seen.Register].Permission;
            if (permission && (*permission & 0x80) == 0)
                context[seen.Register] = seen.Value;
        }
        contextKnown = true;
        TRegisterKeeper keep(Device);
        for (const QByteArray &reg : Structure->ContextRegisters()) {
            if (context.count(reg))
                continue;
            Device.SetRegisterText(reg);
            Device.ReadValue();
            if (Device.ReplyFailed()) {
                contextKnown = false;
                break;
            }
            context[reg] = Device.ReplyTextFor(static_cast<int>(HexToInt(Structure->Items[reg].TypeCode)));
        }
        if (contextKnown && context != Structure->Context) {
            // The display forms belong to other values of the items that shape the menus.
            for (auto &[reg, item] : Structure->Items)
                item.ForgetForms();
            Structure->Context = context;
        }
    }
    if (contextKnown)
        for (const TObserved &seen : Observed)
            if (seen.LiteralRead)
                Structure->Items[seen.Register].Learn(seen.Value, seen.Literal);
    Cache.Save(*Structure);
}
