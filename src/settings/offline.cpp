// Settings files without an instrument: the file's titles and requests matched to a remembered
// structure, and the answers an instrument holding the file's values would give.
#include "offline.h"

#include "SendSettings.h"
#include "device.h"
#include "link/comms.h"
#include "settingstree.h"
#include "values/tools.h"
#include "values/valuetext.h"

namespace
{

constexpr int ProductMenuRegister = 0xB100;
constexpr int ActiveProductRegister = 0xB010;

bool IsValueType(const QByteArray &typeCode)
{
    const int type = static_cast<int>(HexToInt(typeCode));
    return type != 8 && type != 11 && type != 15;
}

QByteArray Prefix(const QByteArray &name)
{
    return PadRight(name, 8) + " : ";
}

// The caption cut as the tree cuts it.
bool IsCut(const QByteArray &caption)
{
    return caption.size() == 29 && caption.endsWith(" ...");
}

QString Latin(const QByteArray &text)
{
    return QString::fromLatin1(text);
}

} // namespace

struct TOfflineSettings::TFileNode {
    QByteArray Caption;
    QList<QByteArray> Requests;
    int Line = 0; // from 1
    std::vector<std::unique_ptr<TFileNode>> Children;
    TFileNode *Parent = nullptr;
    // Matched to the structure:
    QByteArray Register;
    QByteArray Key = "0000";
    QByteArray TypeCode;
    QByteArray Name;
    QByteArray Value;
    QByteArray Literal;
    bool HasValue = false;
    int Product = -1; // the product whose menu holds it
    TItemShape Shape;

    QByteArray ValueLine() const
    {
        for (const QByteArray &r : Requests)
            if (r.startsWith("2012") && r.size() >= 9)
                return r;
        return {};
    }
    bool HasRequest(const QByteArray &start) const
    {
        for (const QByteArray &r : Requests)
            if (r.startsWith(start))
                return true;
        return false;
    }
};

TOfflineSettings::TOfflineSettings() = default;
TOfflineSettings::~TOfflineSettings() = default;

QByteArray TOfflineSettings::RootCaption() const
{
    return Root ? Root->Caption : QByteArray();
}

QByteArray TOfflineSettings::Model() const
{
    return Structure ? Structure->Model : QByteArray();
}

QByteArray TOfflineSettings::Version() const
{
    return Structure ? Structure->Version : QByteArray();
}

bool TOfflineSettings::Open(const QList<QByteArray> &lines, const TMenuStructureCache &cache)
{
    Root.reset();
    Structure.reset();
    Lines = lines;
    CalBlock.clear();
    QString error;
    bool notSettings = false;
    if (!CheckSettingsFile(lines, &error, &notSettings)) {
        Message = QStringLiteral("This is no settings file this program wrote: %1").arg(error);
        return false;
    }
    // The titles as a tree, each with the requests that follow it.
    std::vector<TFileNode *> open; // the node last added at each depth
    TFileNode *last = nullptr;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (!IsReadableLine(line)) {
            if (last)
                last->Requests.append(line);
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        const int depth = colon > 0 ? static_cast<int>(DigitsToInt(line.left(colon))) : 0;
        if (depth < 1 || line.mid(colon + 1, 1) != " " || depth > static_cast<int>(open.size()) + 1 ||
            (depth == 1 && Root)) {
            Message = QStringLiteral("Line %1 is no title this program writes").arg(i + 1);
            return false;
        }
        auto node = std::make_unique<TFileNode>();
        node->Caption = line.mid(colon + 2);
        node->Line = i + 1;
        last = node.get();
        open.resize(static_cast<size_t>(depth - 1));
        if (depth == 1) {
            Root = std::move(node);
        } else {
            node->Parent = open.back();
            open.back()->Children.push_back(std::move(node));
        }
        open.push_back(last);
    }
    if (!Root) {
        Message = QStringLiteral("The file holds no settings");
        return false;
    }
    for (const QByteArray &r : Root->Requests)
        if (r.startsWith("201200F8:"))
            CalBlock = r.mid(9);

    QStringList reasons;
    for (auto &structure : cache.LoadAll()) {
        QString why;
        if (Explains(*structure, &why)) {
            Message.clear();
            return true;
        }
        reasons << QStringLiteral("%1 %2: %3").arg(Latin(structure->Model), Latin(structure->Version), why);
    }
    // Explains() leaves the matching of the last structure tried; the file is shown from its lines.
    Menus.clear();
    Items.clear();
    Message = QStringLiteral("No menu structure kept on this computer explains this file, so it opens "
                             "read-only. Connect the instrument it was saved from (or one of the same "
                             "model and version), read its settings in full once (Read Entire Menu, or "
                             "brellin-cli settings dump), then open the file again.");
    if (!reasons.isEmpty())
        Message += QStringLiteral("\nStructures kept: ") + reasons.join(QStringLiteral("; "));
    return false;
}

bool TOfflineSettings::Explains(const TMenuStructure &structure, QString *why)
{
    Menus.clear();
    Items.clear();
    SelectedProduct = -1;
    // Resolve() reads the structure tried through Structure.
    Structure = std::make_unique<TMenuStructure>(structure);
    TFileNode &root = *Root;
    root.TypeCode = "08";
    root.Name = root.Caption;
    root.Key = "0000";
    if (root.Caption == "SAFE SETUP" || root.Caption == "FULL SETUP") {
        root.Register = "0011";
    } else {
        // An operator menu: its title is the menu's name and a word.
        root.Register.clear();
        const auto it = Structure->Menus.find(TMenuStructure::MenuKey("001F", "0000"));
        if (it != Structure->Menus.end())
            for (int i = 0; i < it->second.Names.size(); ++i)
                if (root.Caption.startsWith(it->second.Names[i].mid(4) + ' '))
                    root.Register = it->second.List.mid(i * 8, 4);
        if (root.Register.isEmpty()) {
            *why = QStringLiteral("no menu %1").arg(Latin(root.Caption));
            Structure.reset();
            return false;
        }
    }
    Menus.insert(TMenuStructure::MenuKey(root.Register, root.Key), &root);
    if (!Resolve(root, why)) {
        Structure.reset();
        return false;
    }
    return true;
}

bool TOfflineSettings::Resolve(TFileNode &menu, QString *why)
{
    if (static_cast<int>(HexToInt(menu.Register)) == ProductMenuRegister)
        return ResolveProducts(menu, why);
    const auto found = Structure->Menus.find(TMenuStructure::MenuKey(menu.Register, menu.Key));
    if (found == Structure->Menus.end()) {
        *why = QStringLiteral("menu %1 (line %2) was never read").arg(Latin(menu.Name)).arg(menu.Line);
        return false;
    }
    const TMenuShape &shape = found->second;
    int next = 0;
    for (auto &childOwner : menu.Children) {
        TFileNode &child = *childOwner;
        const QByteArray valueLine = child.ValueLine();
        int match = -1;
        for (int k = next; k < shape.Names.size() && match < 0; ++k) {
            const QByteArray type = shape.Names[k].left(2), name = shape.Names[k].mid(4);
            const QByteArray reg = shape.List.mid(k * 8, 4);
            const bool titled = IsValueType(type) ? child.Caption.startsWith(Prefix(name)) ||
                                                        (IsCut(child.Caption) &&
                                                         Prefix(name).startsWith(child.Caption.left(25)))
                                                  : child.Caption == name;
            if (titled && (valueLine.isEmpty() || valueLine.mid(4, 4).toUpper() == reg.toUpper()))
                match = k;
        }
        if (match < 0) {
            *why = QStringLiteral("%1 (line %2) is no item of menu %3 as it was read")
                       .arg(Latin(child.Caption))
                       .arg(child.Line)
                       .arg(Latin(menu.Name));
            return false;
        }
        next = match + 1;
        child.TypeCode = shape.Names[match].left(2);
        child.Name = shape.Names[match].mid(4);
        child.Register = shape.List.mid(match * 8, 4);
        child.Key = shape.List.mid(match * 8 + 4, 4);
        child.Product = menu.Product;
        if (!IsValueType(child.TypeCode)) {
            if (HexToInt(child.TypeCode) == 8) {
                Menus.insert(TMenuStructure::MenuKey(child.Register, child.Key), &child);
                if (!Resolve(child, why))
                    return false;
            } else {
                Items[child.Register.toUpper()].append(&child);
            }
            continue;
        }
        const auto item = Structure->Items.find(child.Register.toUpper());
        if (item == Structure->Items.end()) {
            *why = QStringLiteral("register %1 was never read").arg(Latin(child.Register));
            return false;
        }
        child.Shape = item->second;
        if (!valueLine.isEmpty()) {
            child.HasValue = true;
            child.Value = valueLine.mid(9);
            if (IsCut(child.Caption)) {
                // The display text is known only as far as the title shows it.
                const auto derived = child.Shape.LiteralFor(child.Value);
                const QByteArray title =
                    (Prefix(child.Name) + derived.value_or(QByteArray())).left(25) + " ...";
                child.Literal =
                    derived && title == child.Caption
                        ? *derived
                        : child.Caption.mid(Prefix(child.Name).size(), 25 - Prefix(child.Name).size()) + "~";
                child.Shape.ForgetForms();
            } else {
                child.Literal = child.Caption.mid(Prefix(child.Name).size());
                // The file's own value and text show the form under the file's values.
                child.Shape.ForgetForms();
                child.Shape.Learn(child.Value, child.Literal);
            }
        }
        Items[child.Register.toUpper()].append(&child);
    }
    return true;
}

bool TOfflineSettings::ResolveProducts(TFileNode &menu, QString *why)
{
    const uint32_t key = HexToInt(menu.Key);
    int products = 0;
    for (auto &childOwner : menu.Children) {
        TFileNode &child = *childOwner;
        child.Parent = &menu;
        if (key == 0) {
            // The product menu: the current-product menu, then one menu per product.
            child.Register = menu.Register;
            child.TypeCode = "08";
            child.Name = child.Caption;
            if (child.HasRequest("2010B001:") || child.HasRequest("2010B012:")) {
                child.Product = products;
                child.Key = HexText(static_cast<uint32_t>(2 + products++), 4);
            } else {
                child.Key = "0001";
            }
            Menus.insert(TMenuStructure::MenuKey(child.Register, child.Key), &child);
            if (!ResolveProducts(child, why))
                return false;
            continue;
        }
        // A product's items: each with the value its request writes.
        const QByteArray valueLine = child.ValueLine();
        const QByteArray reg = valueLine.mid(4, 4).toUpper();
        const auto item = Structure->Items.find(reg);
        const qsizetype colon = child.Caption.indexOf(" : ");
        if (valueLine.isEmpty() || item == Structure->Items.end() || colon < 0) {
            *why = QStringLiteral("%1 (line %2) in the products was never read")
                       .arg(Latin(child.Caption))
                       .arg(child.Line);
            return false;
        }
        child.Register = reg;
        child.Name = child.Caption.left(colon).trimmed();
        child.TypeCode = item->second.TypeCode;
        child.Product = menu.Product;
        child.Shape = item->second;
        child.HasValue = true;
        child.Value = valueLine.mid(9);
        child.Literal = child.Caption.mid(colon + 3);
        child.Shape.ForgetForms();
        if (!IsCut(child.Caption))
            child.Shape.Learn(child.Value, child.Literal);
        Items[reg].append(&child);
    }
    return true;
}

bool TOfflineSettings::Show(TDevice &device, TSettingsTreeModel &tree, bool ownExchange)
{
    if (!Root || !Structure)
        return false;
    device.StructureCache = nullptr; // a file teaches no structure
    if (ownExchange)
        device.OnExchange = [this](const QByteArray &request) { return Answer(request); };
    device.ModelText = Structure->Model;
    device.VersionText = Structure->Version;
    device.FullAccess = Root->Caption == "FULL SETUP" || !CalBlock.isEmpty();
    device.CalBlock = CalBlock;
    device.GaveUp = false;
    tree.ReadEntireMenu = true;
    tree.BuildMenuTree(static_cast<int>(HexToInt(Root->Register)), true, Root->Caption);
    QList<QByteArray> again;
    BuildSettingsFile(tree.Tree(), device.CalBlock, again);
    for (int i = 0; i < std::max(again.size(), Lines.size()); ++i) {
        if (again.value(i) != Lines.value(i)) {
            Message = QStringLiteral("Line %1 of the file (%2) would not be written back as it is: the "
                                     "file is shown, but cannot be edited here")
                          .arg(i + 1)
                          .arg(Latin(Lines.value(i)));
            return false;
        }
    }
    Edits = 0;
    return true;
}

TOfflineSettings::TFileNode *TOfflineSettings::ItemFor(const QByteArray &reg)
{
    const QList<TFileNode *> nodes = Items.value(reg.toUpper());
    // A product's item answers for the product selected last, as the instrument's does.
    for (TFileNode *node : nodes)
        if (node->Product < 0 || node->Product == SelectedProduct)
            return node;
    return nullptr;
}

QByteArray TOfflineSettings::Refuse(int command, int reg, uint32_t status, const QString &why)
{
    LastRefusal = why;
    Tcommsobj reply;
    reply.Command = command;
    reply.Register = reg;
    reply.ErrorFlag = true;
    reply.Status = status;
    reply.Data = HexText(status, 4);
    return reply.Encode();
}

QByteArray TOfflineSettings::Answer(const QByteArray &request)
{
    Tcommsobj req;
    if (!req.Decode(request))
        return {};
    Tcommsobj reply;
    reply.Command = req.Command;
    reply.Register = req.Register;
    const QByteArray reg = HexText(static_cast<uint32_t>(req.Register), 4);
    auto ok = [&](const QByteArray &data) {
        reply.Data = data;
        return reply.Encode();
    };
    auto notHere = [&] {
        return Refuse(req.Command, req.Register, StatusNotImplemented,
                      QStringLiteral("Register %1 is not in this file").arg(Latin(reg)));
    };
    const bool products = req.Register == ProductMenuRegister;
    switch (req.Command) {
    case CmdReadMenu:
    case CmdReadItem: {
        TFileNode *node = Menus.value(TMenuStructure::MenuKey(reg, req.Data.trimmed()));
        if (!node && req.Command == CmdReadItem && !products)
            node = ItemFor(reg);
        if (!node)
            return notHere();
        if (products && HexToInt(node->Key) >= 2)
            SelectedProduct = node->Product;
        if (req.Command == CmdReadItem)
            return ok(node->TypeCode + "00" + node->Name);
        QByteArray list;
        for (const auto &child : node->Children)
            list += child->Register + child->Key;
        return ok(list);
    }
    case CmdReadType:
    case CmdReadPermission:
    case CmdReadMinimum:
    case CmdReadLimit:
    case CmdReadOption: {
        if (!Structure || !Structure->Items.count(reg))
            return notHere();
        const auto it = Structure->Items.find(reg);
        const TItemShape &shape = it->second;
        if (req.Command == CmdReadType)
            return ok(shape.TypeCode);
        if (req.Command == CmdReadPermission)
            return ok(HexText(shape.Permission.value_or(0x80), 2));
        if (req.Command == CmdReadMinimum && shape.Minimum)
            return ok(HexText(static_cast<uint32_t>(*shape.Minimum), 4));
        if (req.Command == CmdReadLimit && shape.Maximum)
            return ok(HexText(static_cast<uint32_t>(*shape.Maximum), 4));
        if (req.Command == CmdReadOption && shape.Options && shape.Minimum) {
            const int64_t index = static_cast<int64_t>(HexToInt(req.Data)) - *shape.Minimum;
            if (index >= 0 && index < shape.Options->size())
                return ok(shape.Options->at(static_cast<qsizetype>(index)));
        }
        return Refuse(req.Command, req.Register, StatusIllegalOperation,
                      QStringLiteral("The range of register %1 is not known").arg(Latin(reg)));
    }
    case CmdRead:
    case CmdReadFormatted: {
        if (req.Register == ActiveProductRegister && !ItemFor(reg))
            return ok(ActiveProduct);
        TFileNode *node = ItemFor(reg);
        if (!node)
            return notHere();
        if (!node->HasValue)
            return Refuse(req.Command, req.Register, StatusAccessDenied,
                          QStringLiteral("The file holds no value of %1").arg(Latin(node->Name)));
        return ok(req.Command == CmdRead ? node->Value : node->Literal);
    }
    case CmdExecute:
        // Renewing the menus after an edit and saving are nothing to a file.
        if (req.Register == 0x00EE || req.Register == 0x00ED)
            return ok({});
        return notHere();
    case CmdWrite:
        break;
    default:
        return notHere();
    }

    // A write: the session renewal is nothing to a file; the active product is kept as a value.
    if (req.Register == 0x00EF)
        return ok({});
    TFileNode *node = ItemFor(reg);
    if (req.Register == ActiveProductRegister && !node) {
        ActiveProduct = req.Data;
        return ok({});
    }
    if (!node || !node->HasValue)
        return notHere();
    const TItemShape &shape = node->Shape;
    const int type = static_cast<int>(HexToInt(node->TypeCode));
    const QByteArray &data = req.Data;
    if (shape.Permission && (*shape.Permission & 0x80) == 0)
        return Refuse(req.Command, req.Register, StatusIllegalOperation,
                      QStringLiteral("%1 changes the instrument's menus: it can be changed only with the "
                                     "instrument connected")
                          .arg(Latin(node->Name)));
    if (type == 6) {
        if (!shape.Maximum || EscapedLength(data) > *shape.Maximum)
            return Refuse(req.Command, req.Register, StatusOverRange,
                          QStringLiteral("The text is longer than %1 takes").arg(Latin(node->Name)));
    } else if (type == 18) {
        if (!IsHexWord(data))
            return Refuse(req.Command, req.Register, StatusIllegalValue,
                          QStringLiteral("That is no address"));
    } else {
        if (!IsHexWord(data))
            return Refuse(req.Command, req.Register, StatusIllegalValue, QStringLiteral("That is no value"));
        if (!shape.Minimum || !shape.Maximum)
            return Refuse(req.Command, req.Register, StatusIllegalOperation,
                          QStringLiteral("The range of %1 is not known").arg(Latin(node->Name)));
        // As the instrument reads a written value: eight digits carry a sign, unsigned items none.
        const uint32_t raw = HexToInt(data);
        const bool unsignedItem = type == 5;
        const int64_t v = unsignedItem || data.size() < 8 ? static_cast<int64_t>(raw)
                                                          : static_cast<int64_t>(static_cast<int32_t>(raw));
        const int64_t lo =
            unsignedItem
                ? static_cast<int64_t>(static_cast<uint32_t>(*shape.Minimum))
                : (type == 2 ? static_cast<int16_t>(static_cast<uint16_t>(*shape.Minimum)) : *shape.Minimum);
        const int64_t hi =
            unsignedItem ? static_cast<int64_t>(static_cast<uint32_t>(*shape.Maximum)) : *shape.Maximum;
        if ((type == 7 || type == 17) && (v < lo || v > hi))
            return Refuse(req.Command, req.Register, StatusIllegalValue, QStringLiteral("That is no option"));
        if (v < lo)
            return Refuse(req.Command, req.Register, StatusUnderRange, QStringLiteral("Under the range"));
        if (v > hi)
            return Refuse(req.Command, req.Register, StatusOverRange, QStringLiteral("Over the range"));
    }
    const auto literal = shape.LiteralFor(data);
    if (!literal)
        return Refuse(req.Command, req.Register, StatusIllegalOperation,
                      QStringLiteral("How the instrument shows this value of %1 is not known: change it with "
                                     "the instrument connected")
                          .arg(Latin(node->Name)));
    for (TFileNode *same : Items.value(reg))
        if (same->Product == node->Product) {
            same->Value = data;
            same->Literal = *literal;
        }
    ++Edits;
    return ok({});
}

// --- typed values -------------------------------------------------------------------------------

TValueRead<QByteArray> TypedItemValue(TDevice &device, const TMenuNode &node, const QString &typed)
{
    TValueRead<QByteArray> out;
    const TMenuItemData *item = node.Data.get();
    if (!item || !item->HasValue || !item->Readable) {
        out.Refusal = QStringLiteral("%1 has no value to set").arg(Latin(node.Text.trimmed()));
        return out;
    }
    TRegisterKeeper keep(device);
    device.SetRegisterText(item->Register);
    device.SetMenu(item->MenuKey);
    const int type = item->Type();
    const QString name = Latin(item->Name.trimmed());
    if (type >= 1 && type <= 5) {
        device.ReadMinimum();
        const bool minKnown = !device.ReplyFailed();
        const int32_t lo = type == 2 ? device.ReplyHexSigned16() : device.ReplyHex();
        device.ReadMaximum();
        if (!minKnown || device.ReplyFailed()) {
            out.Refusal = QStringLiteral("The range of %1 is not known").arg(name);
            return out;
        }
        const int32_t hi = device.ReplyHex();
        const int decimals = DecimalsIn(item->Literal);
        auto shown = [&](int32_t v) {
            return type == 5 ? UnsignedToDecimalText(static_cast<uint32_t>(v), decimals)
                             : SignedToDecimalText(v, decimals);
        };
        const TNumberRead read = ReadNumber(typed, decimals);
        if (!read) {
            out.Refusal = read.Refusal;
            return out;
        }
        const int64_t v = *read;
        const bool inRange = type == 5 ? v >= 0 && v <= 0xFFFFFFFFLL &&
                                             static_cast<uint32_t>(lo) <= static_cast<uint32_t>(v) &&
                                             static_cast<uint32_t>(v) <= static_cast<uint32_t>(hi)
                                       : v >= INT32_MIN && v <= INT32_MAX && lo <= v && v <= hi;
        if (!inRange) {
            out.Refusal =
                QString::asprintf("Out of Range: (%s to %s)", shown(lo).constData(), shown(hi).constData());
            return out;
        }
        out.Value = HexText(static_cast<uint32_t>(v), 4);
        return out;
    }
    if (type == 6) {
        device.ReadMaximum();
        if (device.ReplyFailed()) {
            out.Refusal = QStringLiteral("The length %1 takes is not known").arg(name);
            return out;
        }
        const int max = device.ReplyHex();
        const QByteArray text = typed.toLatin1();
        const QString refusal =
            TextLengthRefusal(name, EscapedLength(text), max > 0 && max < 10000 ? max : 0);
        if (!refusal.isEmpty() || typed != QString::fromLatin1(text)) {
            out.Refusal = refusal.isEmpty()
                              ? QStringLiteral("The text holds characters the instrument cannot show")
                              : refusal;
            return out;
        }
        out.Value = text;
        return out;
    }
    if (type == 7 || type == 17) {
        const auto options = device.ReadOptions();
        device.SetRegisterText(item->Register);
        device.ReadMinimum();
        if (!options || options->isEmpty() || device.ReplyFailed()) {
            out.Refusal = QStringLiteral("The options of %1 are not known").arg(name);
            return out;
        }
        const int first = device.ReplyHex();
        const qsizetype index = options->indexOf(typed.toLatin1());
        if (index < 0) {
            QStringList names;
            for (const QByteArray &o : *options)
                names << Latin(o);
            out.Refusal = QStringLiteral("'%1' is no option of %2 (%3)")
                              .arg(typed, name, names.join(QStringLiteral(", ")));
            return out;
        }
        out.Value = HexText(static_cast<uint32_t>(index + first), 4);
        return out;
    }
    if (type == 18) {
        const TValueRead<uint32_t> address = ReadIpAddress(typed);
        if (!address) {
            out.Refusal = address.Refusal;
            return out;
        }
        out.Value = HexText(*address, 8);
        return out;
    }
    out.Refusal = QStringLiteral("%1: Local Function only").arg(name);
    return out;
}

TMenuNode *NodeAtPath(const TMenuTree &tree, const QString &path)
{
    if (tree.empty())
        return nullptr;
    QList<QByteArray> names;
    for (const QString &part : path.split(QLatin1Char('>')))
        names << part.trimmed().toLatin1();
    TMenuNode *root = tree.front().get();
    auto nameOf = [](const TMenuNode &n) {
        return n.Data && !n.Data->Name.isEmpty() ? n.Data->Name.trimmed() : n.Text.trimmed();
    };
    if (!names.isEmpty() && names.first() == nameOf(*root))
        names.removeFirst();
    TMenuNode *node = root;
    for (const QByteArray &name : names) {
        TMenuNode *next = nullptr;
        for (const auto &child : node->Children)
            if (child->Data && nameOf(*child) == name) {
                next = child.get();
                break;
            }
        if (!next)
            return nullptr;
        node = next;
    }
    return node == root ? nullptr : node;
}
