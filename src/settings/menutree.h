// The settings tree's nodes: each holds a text, its children and the record of the menu item it
// shows. The register catalogue (device.h) builds and fills them.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <memory>
#include <vector>

// The record attached to each node of the settings tree.
struct TMenuItemData {
    QByteArray Name;
    QByteArray Register; // 4 hex digits
    QByteArray MenuKey;  // 4 hex digits; "0000" for the root
    QByteArray TypeCode; // 2 hex digits
    QByteArray Literal;  // the value as the instrument displays it
    QByteArray Value;    // raw value as hex digits (strings: the text)
    bool Modified = false;
    bool Readable = true;
    bool HasValue = false;
    uint8_t Permission = 0;
    // A query for this item (for a menu: its list or one of its item names) got no reply: the
    // link failed, not the instrument, so reading it again may succeed. A refusal is an answer.
    bool Unanswered = false;

    int Type() const;
    int RegisterNumber() const;
};

// One node of the settings tree: a text, its children and one owned item record (none for the
// placeholder "..." of a menu not read yet).
struct TMenuNode {
    QByteArray Text;
    std::unique_ptr<TMenuItemData> Data;
    std::vector<std::unique_ptr<TMenuNode>> Children;
    TMenuNode *Parent = nullptr;

    TMenuNode *AddChild(const QByteArray &text);
    // True when the node holds only the placeholder of an unread menu.
    bool HasPlaceholder() const;
    int Row() const;
};

// The settings tree: its top-level nodes (one root after a menu build).
using TMenuTree = std::vector<std::unique_ptr<TMenuNode>>;

inline constexpr char PlaceholderText[] = "...";
// Text of an item whose name query went unanswered (its record has no name and no type).
inline constexpr char UnansweredText[] = "? (no reply)";
