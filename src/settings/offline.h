// A settings file opened without an instrument: its items matched to the remembered structure of
// its model, answered as the instrument would answer them, so that the settings tree shows and
// edits the file with the editors it uses online, and a save writes the file as a save from an
// instrument would.
#pragma once

#include "menucache.h"
#include "values/valuetext.h"

#include "device.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

class TDevice;
class TSettingsTreeModel;
struct TMenuNode;

// A value typed for an item of the tree, read as the Settings tab reads it: a number strictly with
// the decimals the item shows and within the range the catalogue gives, an option by its text, a
// text within its length, an address dotted. The value to write (as the tab writes it), or why not.
TValueRead<QByteArray> TypedItemValue(TDevice &device, const TMenuNode &node, const QString &typed);
// The item of the tree at a path of names joined by ">" (the root's name may be left out, blanks
// around the names do not count); null when there is none.
TMenuNode *NodeAtPath(const TMenuTree &tree, const QString &path);

class TOfflineSettings
{
public:
    TOfflineSettings();
    ~TOfflineSettings();

    // Reads the file's lines against every structure kept. False (with Message saying why and what
    // to read once) when no structure explains the file; the file can then only be looked at.
    bool Open(const QList<QByteArray> &lines, const TMenuStructureCache &cache);
    QString Message;
    // The model and version whose structure explains the file.
    QByteArray Model() const;
    QByteArray Version() const;

    // Sets the device up to read the file as an instrument (its exchange, access level and
    // calibration block) and builds the tree from it. False when the tree would not write the file
    // back as it is (Message says which line): it is then shown, but not to be edited or saved.
    // `ownExchange` false: the caller routes the device's requests to Answer() itself.
    bool Show(TDevice &device, TSettingsTreeModel &tree, bool ownExchange = true);
    // The caption of the root (the menu the file was saved from).
    QByteArray RootCaption() const;

    // The instrument's side: a request text, its reply text. Writes are checked as the
    // instrument checks them; LastRefusal says why one was refused.
    QByteArray Answer(const QByteArray &request);
    QString LastRefusal;
    // Values written since the file was opened.
    int Edits = 0;

    struct TFileNode;

private:
    bool Resolve(TFileNode &menu, QString *why);
    bool ResolveProducts(TFileNode &menu, QString *why);
    bool Explains(const TMenuStructure &structure, QString *why);
    TFileNode *ItemFor(const QByteArray &reg);
    QByteArray Refuse(int command, int reg, uint32_t status, const QString &why);

    std::unique_ptr<TFileNode> Root;
    QList<QByteArray> Lines;
    QByteArray CalBlock;
    std::unique_ptr<TMenuStructure> Structure;
    QHash<QByteArray, TFileNode *> Menus;        // "RRRR/KKKK"
    QHash<QByteArray, QList<TFileNode *>> Items; // "RRRR", every appearance
    int SelectedProduct = -1;
    QByteArray ActiveProduct = "1";
};
