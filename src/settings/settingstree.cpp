// The settings tree model: lazy menu loading through the catalogue and refreshes after edits.
#include "settingstree.h"

#include "link/tools.h"

TSettingsTreeModel::TSettingsTreeModel(TDevice *device, QObject *parent)
    : QAbstractItemModel(parent), Device(device)
{
}

TSettingsTreeModel::~TSettingsTreeModel() = default;

TMenuNode *TSettingsTreeModel::NodeAt(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<TMenuNode *>(index.internalPointer()) : nullptr;
}

QModelIndex TSettingsTreeModel::IndexOf(const TMenuNode *node) const
{
    if (!node)
        return {};
    int row = 0;
    if (node->Parent) {
        row = node->Row();
    } else {
        for (size_t i = 0; i < Nodes.size(); ++i)
            if (Nodes[i].get() == node)
                row = static_cast<int>(i);
    }
    return createIndex(row, 0, const_cast<TMenuNode *>(node));
}

QModelIndex TSettingsTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    const TMenuNode *p = NodeAt(parent);
    const auto &children = p ? p->Children : Nodes;
    if (row >= static_cast<int>(children.size()))
        return {};
    return createIndex(row, 0, children[static_cast<size_t>(row)].get());
}

QModelIndex TSettingsTreeModel::parent(const QModelIndex &child) const
{
    const TMenuNode *node = NodeAt(child);
    return node ? IndexOf(node->Parent) : QModelIndex();
}

int TSettingsTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const TMenuNode *p = NodeAt(parent);
    return static_cast<int>(p ? p->Children.size() : Nodes.size());
}

int TSettingsTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant TSettingsTreeModel::data(const QModelIndex &index, int role) const
{
    const TMenuNode *node = NodeAt(index);
    if (!node)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return QString::fromLatin1(node->Text);
    return {};
}

bool TSettingsTreeModel::hasChildren(const QModelIndex &parent) const
{
    const TMenuNode *p = NodeAt(parent);
    return p ? !p->Children.empty() : !Nodes.empty();
}

bool TSettingsTreeModel::canFetchMore(const QModelIndex &parent) const
{
    const TMenuNode *p = NodeAt(parent);
    return p && p->HasPlaceholder();
}

void TSettingsTreeModel::fetchMore(const QModelIndex &parent)
{
    Expanding(NodeAt(parent));
}

void TSettingsTreeModel::BuildMenuTree(int rootRegister, bool readAll, const QByteArray &caption)
{
    beginResetModel();
    Device->BuildMenuTree(Nodes, rootRegister, readAll, caption);
    endResetModel();
}

void TSettingsTreeModel::Clear()
{
    beginResetModel();
    Nodes.clear();
    endResetModel();
}

void TSettingsTreeModel::Expanding(TMenuNode *node)
{
    if (!node)
        return;
    Device->ExtendSession();
    if (node->HasPlaceholder()) {
        const bool keep = ReadEntireMenu;
        ReadEntireMenu = false;
        ReloadChildren(node, false);
        ReadEntireMenu = keep;
    }
}

void TSettingsTreeModel::ExpandAll(TMenuNode *node)
{
    if (!node)
        return;
    if (node->HasPlaceholder())
        Expanding(node);
    // Children can only be added below, never removed, while walking: index by position.
    for (size_t i = 0; i < node->Children.size(); ++i)
        if (node->Children[i]->Data && !node->Children[i]->Children.empty())
            ExpandAll(node->Children[i].get());
}

void TSettingsTreeModel::ReloadChildren(TMenuNode *node, bool refresh)
{
    if (!node || !node->Data)
        return;
    const QModelIndex idx = IndexOf(node);
    if (!node->Children.empty()) {
        beginRemoveRows(idx, 0, static_cast<int>(node->Children.size()) - 1);
        node->Children.clear();
        endRemoveRows();
    }
    if (refresh)
        Device->RefreshMenu();
    // The menu is read into a scratch node so that the view learns of the new rows in one step.
    TMenuNode scratch;
    scratch.Data = std::make_unique<TMenuItemData>(*node->Data);
    Device->LoadChildren(scratch, ReadEntireMenu);
    if (scratch.Children.empty())
        return;
    beginInsertRows(idx, 0, static_cast<int>(scratch.Children.size()) - 1);
    node->Children = std::move(scratch.Children);
    for (auto &child : node->Children)
        child->Parent = node;
    endInsertRows();
}

void TSettingsTreeModel::NodeChanged(TMenuNode *node)
{
    const QModelIndex idx = IndexOf(node);
    if (idx.isValid())
        emit dataChanged(idx, idx);
}

void TSettingsTreeModel::AnnounceItem(TMenuNode *node)
{
    if (!node || !node->Data)
        return;
    if (node->Parent && node->Parent->Data) {
        Device->SetRegisterText(node->Parent->Data->Register);
        Device->SetMenu(node->Parent->Data->MenuKey);
        Device->ReadItemName();
    }
    Device->SetRegisterText(node->Data->Register);
    Device->SetMenu(node->Data->MenuKey);
    Device->ReadItemName();
}

TMenuNode *TSettingsTreeModel::ApplyEdit(TMenuNode *node, const QByteArray &value)
{
    if (!node || !node->Data)
        return node;
    node->Data->Value = value;
    node->Data->Modified = true;
    Device->SetRegisterText(node->Data->Register);
    Device->SetMenu(node->Data->MenuKey);
    Device->WriteValue(value);
    if (OnSaveAfterEdit)
        OnSaveAfterEdit();
    // The save may have used the catalogue: the edited register is current again for the refresh.
    Device->SetRegisterText(node->Data->Register);
    Device->SetMenu(node->Data->MenuKey);
    return AfterEdit(node);
}

TMenuNode *TSettingsTreeModel::AfterEdit(TMenuNode *node)
{
    if (!node || !node->Data)
        return node;
    TMenuNode *result = node;
    if (node->Data->Permission & 0x80) {
        Device->SetRegisterText(node->Data->Register);
        Device->ReadLiteral();
        if (!Device->ReplyFailed()) {
            node->Data->Literal = Device->ReplyText();
            node->Text = TDevice::ItemCaption(*node->Data);
            NodeChanged(node);
        }
    } else if (TMenuNode *parent = node->Parent) {
        const QByteArray reg = node->Data->Register;
        Device->SetRegisterText(reg);
        ReloadChildren(parent, true);
        result = parent;
        for (auto &child : parent->Children)
            if (child->Data && child->Data->Register == reg) {
                result = child.get();
                break;
            }
    }
    CheckUnitsChange();
    return result;
}

bool TSettingsTreeModel::CheckUnitsChange()
{
    Device->SetRegister(0x002F);
    Device->ReadLiteral();
    if (Device->ReplyFailed() || Device->ReplyText() == LastUnitsLiteral)
        return false;
    LastUnitsLiteral = Device->ReplyText();
    for (auto &root : Nodes)
        RefreshNumbers(root.get());
    return true;
}

void TSettingsTreeModel::RefreshNumbers(TMenuNode *node)
{
    TMenuItemData *item = node->Data.get();
    if (item && item->Readable) {
        const int type = item->Type();
        if (type >= 1 && type <= 5) {
            AnnounceItem(node);
            Device->SetRegisterText(item->Register);
            Device->ReadValue();
            if (!Device->ReplyFailed())
                item->Value = Device->ReplyText();
            Device->ReadLiteral();
            if (!Device->ReplyFailed()) {
                item->Literal = Device->ReplyText();
                node->Text = TDevice::ItemCaption(*item);
                NodeChanged(node);
            }
        }
    }
    for (auto &child : node->Children)
        RefreshNumbers(child.get());
}

namespace
{

void AddLines(const TMenuNode &node, int level, QList<QByteArray> &lines)
{
    lines.append(QByteArray(2 * level, ' ') + node.Text);
    for (const auto &child : node.Children)
        AddLines(*child, level + 1, lines);
}

} // namespace

QList<QByteArray> IndentedTreeLines(const TMenuTree &tree)
{
    QList<QByteArray> lines;
    for (const auto &root : tree)
        AddLines(*root, 0, lines);
    return lines;
}
