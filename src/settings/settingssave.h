// Saving and dumping the settings: the tree is first completed (every menu read, each read retried
// a few times), and a settings file is written only from a complete tree, in one piece.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class TDevice;
class TSettingsTreeModel;
struct TMenuNode;

// One item of the tree that could not be read because the instrument did not answer.
struct TUnreadItem {
    QByteArray Path;     // names from the root caption down: "SAFE SETUP > BUILD > FULLSCAL"
    QByteArray Register; // 4 hex digits
    bool Menu = false;   // a menu whose list of items is incomplete
};

// What completing the tree came to.
struct TSettingsReadResult {
    QList<TUnreadItem> Unread; // in tree order; empty when every item was read
    // The tree was cleared or built anew while a read waited (the session ended meanwhile).
    bool Replaced = false;
    // The instrument's menus passed a limit of the walk (TDevice::MenuLimitText).
    QString LimitText;
    bool Complete() const { return Unread.isEmpty() && !Replaced && LimitText.isEmpty(); }
    // Names the first item that could not be read, and how many more there are:
    // "SAFE SETUP > BUILD > FULLSCAL (register 002F) could not be read: the instrument did not answer".
    QString Message() const;
};

// Reads what the tree still lacks: menus never opened (the placeholder "...") or read with a query
// left unanswered, and items whose reads went unanswered. Each read is sent up to `attempts` times;
// after the first read still unanswered nothing more is sent (the result is incomplete anyway).
// Items and menus the instrument refuses are its answer and stay as they are. Menus are reloaded
// through the model, so a view showing it follows. The catalogue's retry settings are restored.
inline constexpr int SaveReadAttempts = 3;
TSettingsReadResult CompleteSettingsTree(TSettingsTreeModel &tree, TDevice &device,
                                         int attempts = SaveReadAttempts);

// The outcome of a save.
struct TSettingsSaveResult {
    enum TStatus {
        Saved,      // the file holds every setting of the tree
        Unreadable, // an item could not be read: no file was written (an old one is left as it was)
        FileError,  // the file could not be written (an old one is left as it was)
        Limited,    // the instrument's menus passed a limit of the walk: no file was written
    };
    TStatus Status = Saved;
    QString Path;
    // Empty when saved; otherwise "Nothing was saved: " and what went wrong, naming the item or
    // the file.
    QString Message;
    QList<TUnreadItem> Unread;
    bool Ok() const { return Status == Saved; }
};

// File > Save and `settings save`: completes the tree, then writes the settings file for it at
// `path` (the caller has added ".WSD" where wanted) through a temporary file renamed over the old
// one. An empty tree gives an empty file.
TSettingsSaveResult SaveSettings(TSettingsTreeModel &tree, TDevice &device, const QString &path,
                                 int attempts = SaveReadAttempts);
// A node's menu path as the names from the root caption down: "SAFE SETUP > BUILD > FULLSCAL".
QByteArray MenuPathOf(const TMenuNode &node);
