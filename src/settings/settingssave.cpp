// Completing the settings tree before a save or dump, and the save itself.
#include "settingssave.h"

#include "SendSettings.h"
#include "device.h"
#include "settingstree.h"
#include "values/tools.h"

namespace
{

bool IsMenu(const TMenuNode &node)
{
    return !node.Parent || node.Data->Type() == rtMenu;
}

// A stand-in for an item whose name went unanswered: reading its menu again is the way to it.
bool IsStandIn(const TMenuNode &node)
{
    return node.Data && node.Data->Unanswered && node.Data->TypeCode.isEmpty();
}

bool HasStandIn(const TMenuNode &menu)
{
    for (const auto &child : menu.Children)
        if (IsStandIn(*child))
            return true;
    return false;
}

QByteArray PathOf(const TMenuNode &node)
{
    QList<QByteArray> names;
    for (const TMenuNode *n = &node; n; n = n->Parent)
        names.prepend(!n->Data ? n->Text : n->Data->Name.isEmpty() && n->Parent ? "?" : n->Data->Name);
    return names.join(" > ");
}

// Sets the catalogue up for a complete read and puts its settings back afterwards.
class TPatientReads
{
public:
    TPatientReads(TDevice &device, int attempts)
        : Device(device), Attempts(device.ReadAttempts), GiveUp(device.GiveUpWhenUnanswered),
          GaveUp(device.GaveUp)
    {
        Device.ReadAttempts = std::max(1, attempts);
        Device.GiveUpWhenUnanswered = true;
        Device.GaveUp = false;
    }
    ~TPatientReads()
    {
        Device.ReadAttempts = Attempts;
        Device.GiveUpWhenUnanswered = GiveUp;
        Device.GaveUp = GaveUp;
    }
    TPatientReads(const TPatientReads &) = delete;
    TPatientReads &operator=(const TPatientReads &) = delete;

private:
    TDevice &Device;
    int Attempts;
    bool GiveUp;
    bool GaveUp;
};

struct TCompletion {
    TSettingsTreeModel &Tree;
    TDevice &Device;
    quint64 Generation = Tree.Generation();

    // The tree was cleared or built anew while a read waited (a session ended): its nodes are gone.
    bool Replaced() const { return Tree.Generation() != Generation; }

    void Node(TMenuNode &node)
    {
        TMenuItemData *item = node.Data.get();
        if (!item || Replaced() || !Device.MenuLimitText.isEmpty())
            return;
        if (IsMenu(node)) {
            if (node.HasPlaceholder() || item->Unanswered || HasStandIn(node)) {
                // The whole menu is read again, everything below it included.
                Tree.RereadMenu(&node);
                return;
            }
            // Children are replaced only below the child being completed: index by position.
            for (size_t i = 0; i < node.Children.size(); ++i)
                Node(*node.Children[i]);
            return;
        }
        if (!item->Unanswered || IsStandIn(node))
            return;
        TRegisterKeeper keep(Device);
        auto data = Device.MakeItemData(item->Name, item->Register, item->TypeCode, item->MenuKey);
        if (Replaced())
            return;
        node.Data = std::move(data);
        const int type = node.Data->Type();
        if (type != 11 && type != 15)
            node.Text = TDevice::ItemCaption(*node.Data);
        Tree.NodeChanged(&node);
    }
};

void CollectUnread(const TMenuNode &node, QList<TUnreadItem> &out)
{
    if (!node.Data)
        return;
    if (node.Data->Unanswered)
        out.append({PathOf(node), node.Data->Register, IsMenu(node) && !IsStandIn(node)});
    for (const auto &child : node.Children)
        CollectUnread(*child, out);
}

} // namespace

QString TSettingsReadResult::Message() const
{
    if (Replaced)
        return QStringLiteral("The settings were read anew or closed while they were being read");
    if (!LimitText.isEmpty())
        return LimitText;
    if (Unread.isEmpty())
        return {};
    const TUnreadItem &first = Unread.first();
    QString text = QStringLiteral("%1 (register %2) could not be read: the instrument did not answer")
                       .arg(QString::fromLatin1(first.Path), QString::fromLatin1(first.Register));
    if (first.Menu)
        text =
            QStringLiteral("The items of %1 (register %2) could not be read: the instrument did not answer")
                .arg(QString::fromLatin1(first.Path), QString::fromLatin1(first.Register));
    if (Unread.size() > 1)
        text += QStringLiteral(" (%1 more items not read)").arg(Unread.size() - 1);
    return text;
}

TSettingsReadResult CompleteSettingsTree(TSettingsTreeModel &tree, TDevice &device, int attempts)
{
    TSettingsReadResult result;
    TMenuNode *root = tree.Root();
    if (!root)
        return result;
    TPatientReads patient(device, attempts);
    TCompletion completion{tree, device};
    {
        // Product menus read again select their products: the active one is selected again after.
        TProductKeeper keepProduct(device);
        completion.Node(*root);
    }
    if (completion.Replaced()) {
        result.Replaced = true;
        return result;
    }
    result.LimitText = device.MenuLimitText;
    if (!result.LimitText.isEmpty())
        return result;
    CollectUnread(*tree.Root(), result.Unread);
    // At the full level the file carries the calibration block; one that went unanswered is read again.
    if (device.FullAccess && device.CalBlock.isEmpty() && result.Unread.isEmpty()) {
        TRegisterKeeper keep(device);
        device.SetRegister(0x00F8);
        device.ReadValue();
        if (!device.ReplyFailed())
            device.CalBlock = device.ReplyText();
        else if (device.ReplyMissing())
            result.Unread.append({"Calibration block", "00F8", false});
    }
    return result;
}

TSettingsSaveResult SaveSettings(TSettingsTreeModel &tree, TDevice &device, const QString &path, int attempts)
{
    TSettingsSaveResult result;
    result.Path = path;
    const TSettingsReadResult read = CompleteSettingsTree(tree, device, attempts);
    if (!read.Complete()) {
        result.Status =
            read.LimitText.isEmpty() ? TSettingsSaveResult::Unreadable : TSettingsSaveResult::Limited;
        result.Unread = read.Unread;
        result.Message = QStringLiteral("Nothing was saved: ") + read.Message();
        return result;
    }
    QList<QByteArray> lines;
    BuildSettingsFile(tree.Tree(), device.CalBlock, lines);
    QString error;
    if (!WriteSettingsFile(path, lines, &error)) {
        result.Status = TSettingsSaveResult::FileError;
        result.Message = QStringLiteral("Nothing was saved: ") + error;
    }
    return result;
}

QByteArray MenuPathOf(const TMenuNode &node)
{
    return PathOf(node);
}
