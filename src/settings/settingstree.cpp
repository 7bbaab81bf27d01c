// The settings tree model: lazy menu loading through the catalogue and refreshes after edits.
#include "settingstree.h"

#include "journal/journalscope.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "settingssave.h"
#include "values/tools.h"

#include <QScopeGuard>
#include <QTimer>
#include <optional>

namespace
{

// The node is a product's menu or lies in one: its values are the product's, and the instrument
// shows and takes them for the product whose menu was named last.
bool InProductMenu(const TMenuNode *node)
{
    for (; node; node = node->Parent)
        if (node->Data && node->Data->RegisterNumber() == 0xB100 && HexToInt(node->Data->MenuKey) >= 2)
            return true;
    return false;
}

// A value read back equals the one asked for: numbers and options as numbers (the instrument may
// give them with more digits), texts without their padding.
bool SameValue(int type, const QByteArray &asked, const QByteArray &read)
{
    if (type == rtString)
        return asked.trimmed() == read.trimmed();
    return HexToInt(asked) == HexToInt(read);
}

// What became of an edit, for its journal line: the write's answer and what was read back.
struct TEditSeen {
    bool Written = false;  // the instrument acknowledged the value
    bool Answered = false; // it answered the write (an acknowledgement or a refusal)
    QString Refusal;       // the instrument's text of a refusal
    bool Saved = true;     // the save after the edit was confirmed (or none was asked for)
    std::optional<QByteArray> ReadBack;
};

TChangeResult EditResult(int type, const QByteArray &asked, const TEditSeen &seen)
{
    TChangeResult result;
    result.ReadBack = seen.ReadBack.value_or(QByteArray());
    QStringList notes;
    if (seen.Written) {
        result.Outcome = TChangeOutcome::Confirmed;
        if (!seen.ReadBack)
            notes << QStringLiteral("acknowledged; the value could not be read back");
        else if (!SameValue(type, asked, *seen.ReadBack))
            notes << QStringLiteral("acknowledged; the value read back is not the one asked for");
    } else if (seen.Answered) {
        result.Outcome = TChangeOutcome::Refused;
        result.Text = seen.Refusal;
    } else if (seen.ReadBack && SameValue(type, asked, *seen.ReadBack)) {
        result.Outcome = TChangeOutcome::Confirmed;
        notes << QStringLiteral("no reply; the value read back is the one asked for");
    } else {
        result.Text = seen.ReadBack ? QStringLiteral("no reply, and the value read back differs")
                                    : QStringLiteral("no reply, and the value could not be read back");
    }
    if (!seen.Saved)
        notes << QStringLiteral("the instrument did not confirm saving its settings");
    result.Note = notes.join(QStringLiteral("; "));
    return result;
}

} // namespace

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
    const QPersistentModelIndex menu(parent);
    const quint64 generation = Replaced;
    QTimer::singleShot(0, this, [this, menu, generation] {
        if (generation == Replaced && menu.isValid() && NodeAt(menu) && NodeAt(menu)->HasPlaceholder())
            emit MenuWanted(menu);
    });
}

void TSettingsTreeModel::Replace(TMenuTree nodes)
{
    beginResetModel();
    ++Replaced;
    Nodes.swap(nodes);
    endResetModel();
    // The old nodes go after the view has let go of them.
}

bool TSettingsTreeModel::BuildMenuTree(int rootRegister, bool readAll, const QByteArray &caption)
{
    Replace({});
    const quint64 generation = Replaced;
    // Read aside: the model holds no half-read tree while the reads wait on the instrument.
    TMenuTree nodes;
    Device->BuildMenuTree(nodes, rootRegister, readAll, caption);
    if (generation != Replaced)
        return false;
    Replace(std::move(nodes));
    return true;
}

void TSettingsTreeModel::Clear()
{
    Replace({});
}

bool TSettingsTreeModel::Expanding(TMenuNode *node)
{
    if (!node)
        return false;
    const quint64 generation = Replaced;
    Device->ExtendSession();
    if (generation != Replaced)
        return false;
    if (node->HasPlaceholder()) {
        const bool keep = ReadEntireMenu;
        ReadEntireMenu = false;
        const bool loaded = ReloadChildren(node, false);
        ReadEntireMenu = keep;
        return loaded;
    }
    return true;
}

bool TSettingsTreeModel::ExpandAll(TMenuNode *node)
{
    if (!node)
        return false;
    TProductKeeper keepProduct(*Device);
    if (node->HasPlaceholder() && !Expanding(node))
        return false;
    // Children can only be added below, never removed, while walking: index by position.
    for (size_t i = 0; i < node->Children.size(); ++i)
        if (node->Children[i]->Data && !node->Children[i]->Children.empty() &&
            !ExpandAll(node->Children[i].get()))
            return false;
    return true;
}

bool TSettingsTreeModel::ReloadChildren(TMenuNode *node, bool refresh)
{
    if (!node || !node->Data || Loading.contains(node))
        return false;
    const quint64 generation = Replaced;
    Loading.insert(node);
    const auto done = qScopeGuard([this, node] { Loading.remove(node); });
    if (!node->Children.empty()) {
        beginRemoveRows(IndexOf(node), 0, static_cast<int>(node->Children.size()) - 1);
        node->Children.clear();
        endRemoveRows();
    }
    if (refresh)
        Device->RefreshMenu();
    // The menu is read into a scratch node so that the view learns of the new rows in one step.
    TMenuNode scratch;
    scratch.Data = std::make_unique<TMenuItemData>(*node->Data);
    Device->LoadChildren(scratch, ReadEntireMenu);
    if (generation != Replaced)
        return false; // the node went with the tree it was in
    node->Data->Unanswered = scratch.Data->Unanswered;
    if (scratch.Children.empty())
        return true;
    beginInsertRows(IndexOf(node), 0, static_cast<int>(scratch.Children.size()) - 1);
    node->Children = std::move(scratch.Children);
    for (auto &child : node->Children)
        child->Parent = node;
    endInsertRows();
    return true;
}

bool TSettingsTreeModel::RereadMenu(TMenuNode *node)
{
    if (!node || !node->Data)
        return false;
    const quint64 generation = Replaced;
    TMenuNode scratch;
    scratch.Data = std::make_unique<TMenuItemData>(*node->Data);
    Device->LoadChildren(scratch, true);
    if (generation != Replaced)
        return false; // the node went with the tree it was in
    if (scratch.Data->Unanswered) {
        if (node->HasPlaceholder())
            node->Data->Unanswered = true;
        return false;
    }
    node->Data->Unanswered = false;
    if (!node->Children.empty()) {
        beginRemoveRows(IndexOf(node), 0, static_cast<int>(node->Children.size()) - 1);
        node->Children.clear();
        endRemoveRows();
    }
    if (scratch.Children.empty())
        return true;
    beginInsertRows(IndexOf(node), 0, static_cast<int>(scratch.Children.size()) - 1);
    node->Children = std::move(scratch.Children);
    for (auto &child : node->Children)
        child->Parent = node;
    endInsertRows();
    return true;
}

void TSettingsTreeModel::NodeChanged(TMenuNode *node)
{
    const QModelIndex idx = IndexOf(node);
    if (idx.isValid())
        emit dataChanged(idx, idx);
}

bool TSettingsTreeModel::AnnounceItem(TMenuNode *node)
{
    if (!node || !node->Data)
        return false;
    const quint64 generation = Replaced;
    TProductKeeper keepProduct(*Device);
    if (node->Parent && node->Parent->Data) {
        Device->SetRegisterText(node->Parent->Data->Register);
        Device->SetMenu(node->Parent->Data->MenuKey);
        Device->ReadItemName();
        if (generation != Replaced)
            return false;
    }
    Device->SetRegisterText(node->Data->Register);
    Device->SetMenu(node->Data->MenuKey);
    Device->ReadItemName();
    return generation == Replaced;
}

TMenuNode *TSettingsTreeModel::ApplyEdit(TMenuNode *node, const QByteArray &value)
{
    if (!node || !node->Data)
        return node;
    const quint64 generation = Replaced;
    const QByteArray before = node->Data->Value;
    const bool modifiedBefore = node->Data->Modified;
    const QByteArray reg = node->Data->Register;
    const int type = node->Data->Type();
    // The edit is one line of the instrument's journal: the menu path, the value the tree read,
    // the value asked and the value read back after the refresh. The save after it belongs to it.
    std::optional<TJournalScope> journal;
    if (JournalEngine && JournalEngine->Changes && JournalEngine->LinkOpen()) {
        TChangeEvent event;
        event.Kind = "write";
        event.Path = MenuPathOf(*node);
        event.Command = CmdWrite;
        event.Register = node->Data->RegisterNumber();
        event.Before = node->Data->Readable && !node->Data->Unanswered ? before : QByteArray();
        event.Asked = value;
        journal.emplace(JournalEngine, event);
        if (!journal->Allowed()) {
            if (JournalEngine->Reporter)
                JournalEngine->Reporter->Error(
                    QStringLiteral("The change journal could not be written (%1): %2 was not changed.")
                        .arg(journal->Error(), QString::fromLatin1(event.Path)));
            return node;
        }
    }
    TEditSeen seen;
    auto finish = [&](TMenuNode *item) {
        if (!journal)
            return;
        if (item && generation == Replaced)
            seen.ReadBack = ReadBackValue(item);
        journal->Finish(EditResult(type, value, seen));
    };
    node->Data->Value = value;
    node->Data->Modified = true;
    {
        // A product's value goes to that product: its menu is named first, and the product that
        // was active is selected again before the instrument saves.
        TProductKeeper keepProduct(*Device);
        if (InProductMenu(node) && !AnnounceItem(node)) {
            if (journal)
                journal->Finish({TChangeOutcome::NotConfirmed,
                                 {},
                                 QStringLiteral("the session ended before the value was sent"),
                                 {}});
            return nullptr;
        }
        Device->SetRegisterText(reg);
        Device->SetMenu(node->Data->MenuKey);
        Device->WriteValue(value);
        seen.Written = !Device->ReplyFailed();
        seen.Answered = !Device->ReplyMissing();
        Tcommsobj reply;
        if (!seen.Written && seen.Answered && reply.Decode(Device->GetReplyLine()))
            seen.Refusal = QString::fromLatin1(reply.ErrorText()).trimmed();
        // A refused value is not the item's: a save must not write it.
        if (generation == Replaced && Device->ReplyFailed() && !Device->ReplyMissing()) {
            node->Data->Value = before;
            node->Data->Modified = modifiedBefore;
        }
    }
    if (generation == Replaced && OnSaveAfterEdit)
        seen.Saved = OnSaveAfterEdit();
    if (generation != Replaced) {
        finish(nullptr);
        return nullptr;
    }
    // The save may have used the catalogue: the edited register is current again for the refresh.
    Device->SetRegisterText(reg);
    Device->SetMenu(node->Data->MenuKey);
    // The refresh may read the item's menu again: the node is then replaced.
    TMenuNode *after = AfterEdit(node);
    finish(after && after->Data && after->Data->Register == reg ? after : nullptr);
    return generation == Replaced ? after : nullptr;
}

std::optional<QByteArray> TSettingsTreeModel::ReadBackValue(TMenuNode *item)
{
    const quint64 generation = Replaced;
    TProductKeeper keepProduct(*Device);
    if (InProductMenu(item) && !AnnounceItem(item))
        return std::nullopt;
    Device->SetRegisterText(item->Data->Register);
    Device->SetMenu(item->Data->MenuKey);
    Device->ReadValue();
    if (generation != Replaced || Device->ReplyFailed())
        return std::nullopt;
    // The item shows what the instrument holds, also when that is not what was asked for.
    item->Data->Value = Device->ReplyTextFor(item->Data->Type());
    return item->Data->Value;
}

TMenuNode *TSettingsTreeModel::AfterEdit(TMenuNode *node)
{
    if (!node || !node->Data)
        return node;
    const quint64 generation = Replaced;
    TMenuNode *result = node;
    TProductKeeper keepProduct(*Device);
    if (node->Data->Permission & 0x80) {
        if (InProductMenu(node) && !AnnounceItem(node))
            return nullptr;
        Device->SetRegisterText(node->Data->Register);
        Device->ReadLiteral();
        if (generation != Replaced)
            return nullptr;
        if (!Device->ReplyFailed()) {
            node->Data->Literal = Device->ReplyTextFor(node->Data->Type());
            node->Text = TDevice::ItemCaption(*node->Data);
            NodeChanged(node);
        }
    } else if (TMenuNode *parent = node->Parent) {
        const QByteArray reg = node->Data->Register;
        Device->SetRegisterText(reg);
        if (!ReloadChildren(parent, true))
            return nullptr;
        result = parent;
        for (auto &child : parent->Children)
            if (child->Data && child->Data->Register == reg) {
                result = child.get();
                break;
            }
    }
    CheckUnitsChange();
    return generation == Replaced ? result : nullptr;
}

bool TSettingsTreeModel::CheckUnitsChange()
{
    const quint64 generation = Replaced;
    Device->SetRegister(0x002F);
    Device->ReadLiteral();
    if (generation != Replaced || Device->ReplyFailed() || Device->ReplyText() == LastUnitsLiteral)
        return false;
    LastUnitsLiteral = Device->ReplyText();
    // Naming each product's menu selects it: the active product is selected again at the end.
    TProductKeeper keepProduct(*Device);
    for (size_t i = 0; i < Nodes.size(); ++i)
        if (!RefreshNumbers(Nodes[i].get(), generation))
            break;
    return true;
}

bool TSettingsTreeModel::RefreshNumbers(TMenuNode *node, quint64 generation)
{
    TMenuItemData *item = node->Data.get();
    if (item && item->Readable) {
        const int type = item->Type();
        if (type >= 1 && type <= 5) {
            if (!AnnounceItem(node))
                return false;
            Device->SetRegisterText(item->Register);
            Device->ReadValue();
            if (generation != Replaced)
                return false;
            if (!Device->ReplyFailed())
                item->Value = Device->ReplyText();
            Device->ReadLiteral();
            if (generation != Replaced)
                return false;
            if (!Device->ReplyFailed()) {
                item->Literal = Device->ReplyText();
                node->Text = TDevice::ItemCaption(*item);
                NodeChanged(node);
            }
        }
    }
    for (size_t i = 0; i < node->Children.size(); ++i)
        if (!RefreshNumbers(node->Children[i].get(), generation))
            return false;
    return true;
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
