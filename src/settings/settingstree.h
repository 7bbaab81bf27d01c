// The settings tree as an item model: the catalogue builds it, menus load when they are opened,
// and edits are written to the instrument and refreshed from it. A tree view only has to show it.
#pragma once

#include "device.h"

#include <QAbstractItemModel>
#include <QSet>
#include <functional>
#include <optional>

class TTransactionEngine;

class TSettingsTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit TSettingsTreeModel(TDevice *device, QObject *parent = nullptr);
    ~TSettingsTreeModel() override;

    // --- the item model ---------------------------------------------------------------------
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    // A menu that still holds its placeholder "..." loads its children when it is opened. A view
    // asks from within its own layout (expandAll, the "*" key): reading there would remove rows
    // the view is walking and wait on the instrument inside it. So fetchMore only asks, after the
    // layout, with MenuWanted; whoever shows the tree reads the menu then (Expanding).
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    TMenuNode *NodeAt(const QModelIndex &index) const;
    QModelIndex IndexOf(const TMenuNode *node) const;
    TMenuNode *Root() const { return Nodes.empty() ? nullptr : Nodes.front().get(); }
    const TMenuTree &Tree() const { return Nodes; }
    bool IsEmpty() const { return Nodes.empty(); }

    // --- building and loading ---------------------------------------------------------------
    // Every read waits on the instrument while the event loop runs, so the tree can be cleared or
    // built anew meanwhile (a session ended). Each operation then stops without touching the old
    // nodes and returns false (or null); Generation counts the trees replaced.
    quint64 Generation() const { return Replaced; }
    // The tree is emptied at once and shows the new menu when it has been read; false when the
    // tree was replaced again meanwhile (what was read is dropped then).
    bool BuildMenuTree(int rootRegister, bool readAll, const QByteArray &caption);
    void Clear();
    // A node about to open: renew the session and read the menu if it was not read yet.
    bool Expanding(TMenuNode *node);
    // Opens the node and every menu below it ("Expand All").
    bool ExpandAll(TMenuNode *node);
    // Reads a menu again: its children go, the instrument is told which register changed
    // (when refresh is set) and the menu is read with the current ReadEntireMenu choice.
    bool ReloadChildren(TMenuNode *node, bool refresh);
    // Reads a menu again in full. Its children are replaced only when its list of items was read:
    // an unanswered list leaves what was read before (and marks a menu never read). False then,
    // and when the tree was replaced meanwhile.
    bool RereadMenu(TMenuNode *node);

    // --- edits ------------------------------------------------------------------------------
    // Reads the names of the item's menu and of the item, as the instrument expects before an edit.
    bool AnnounceItem(TMenuNode *node);
    // Writes a new value for the item, saves (OnSaveAfterEdit) and refreshes. Returns the node
    // that holds the item afterwards (a reload of its menu replaces the node); null when the tree
    // was replaced meanwhile. With JournalEngine's journal the edit is one line of it, its value
    // read back after the refresh.
    TMenuNode *ApplyEdit(TMenuNode *node, const QByteArray &value);
    // The refresh after an edit: the item's own text when its value cannot change the menu,
    // otherwise its whole menu. Returns the node to select (null as above).
    TMenuNode *AfterEdit(TMenuNode *node);
    // When the display text of the weight register changed (new units or decimals), every number
    // item is read again.
    bool CheckUnitsChange();
    // Tells the node's text changed (after its item was read again).
    void NodeChanged(TMenuNode *node);

    // Called between the write and the refresh of an edit (the session's save unless blocked);
    // false when a save was asked for and the instrument did not confirm it.
    std::function<bool()> OnSaveAfterEdit;
    // The engine whose change journal records the edits (none: not recorded).
    TTransactionEngine *JournalEngine = nullptr;
    bool ReadEntireMenu = false;
    QByteArray LastUnitsLiteral;

signals:
    void MenuWanted(const QModelIndex &menu);

private:
    // The item's value read again for the edit's journal line; none when unread.
    std::optional<QByteArray> ReadBackValue(TMenuNode *item);
    bool RefreshNumbers(TMenuNode *node, quint64 generation);
    void Replace(TMenuTree nodes);
    TDevice *Device;
    TMenuTree Nodes;
    quint64 Replaced = 0;
    // Menus being read now: a second read of one of them (asked while the first waits on the
    // instrument) does nothing.
    QSet<const TMenuNode *> Loading;
};

// The tree as indented text lines (two blanks a level), as printed and dumped.
QList<QByteArray> IndentedTreeLines(const TMenuTree &tree);
