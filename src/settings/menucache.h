// Remembered menu structures: what one model and firmware version answers about its menus (lists,
// item names, types, permissions, ranges, option texts, display forms), kept per user as JSON.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

// What never changes about one register of a model.
struct TItemShape {
    QByteArray TypeCode;                      // 2 hex digits, as the item-name reply gives it
    std::optional<uint8_t> Permission;        // the permission reply
    std::optional<int32_t> Minimum;           // the minimum reply (option items: the first option's value)
    std::optional<int32_t> Maximum;           // the maximum reply (strings: the longest text)
    std::optional<QList<QByteArray>> Options; // option texts, index 0 = value Minimum
    // How the instrument displays a value of this item while the context values hold: "text" (as
    // the value), "ip" (dotted), "option" (its option text), "number" (Decimals places, then
    // Suffix), or empty: only the value-to-text pairs seen so far.
    QByteArray Form;
    int Decimals = 0;
    QByteArray Suffix;
    std::map<QByteArray, QByteArray> Seen; // value text -> display text

    // The display text of `value` by the form, or from what was seen; none when not known.
    std::optional<QByteArray> LiteralFor(const QByteArray &value) const;
    // Takes an observed value and its display text, and finds the form that gives it.
    void Learn(const QByteArray &value, const QByteArray &literal);
    // True when the value can be one of this item: hex digits for numbers, inside the range when
    // the range is known, an option when the options are known.
    bool Admits(const QByteArray &value) const;
    void ForgetForms();
};

// One menu as the instrument lists it.
struct TMenuShape {
    QByteArray List;         // the menu-list reply
    QList<QByteArray> Names; // the item-name reply of each entry, in list order
};

// The whole remembered structure of one model and version.
struct TMenuStructure {
    QByteArray Model;
    QByteArray Version;
    std::map<QByteArray, TMenuShape> Menus; // "RRRR/KKKK" (register and menu key)
    std::map<QByteArray, TItemShape> Items; // "RRRR"
    // The values of the items whose change can change the menus (permission bit 7 clear) when the
    // display forms were learned: the forms hold only while these values do.
    std::map<QByteArray, QByteArray> Context;

    static QByteArray MenuKey(const QByteArray &reg, const QByteArray &menuKey);
    QByteArray ToJson() const;
    // False (with the reason) for text that is no structure of this kind; the structure is then empty.
    bool FromJson(const QByteArray &json, QString *error);
    // Registers of the items whose value can change the menus.
    QList<QByteArray> ContextRegisters() const;
};

// The folder of remembered structures, one file per model and version.
class TMenuStructureCache
{
public:
    explicit TMenuStructureCache(const QString &folder = DefaultFolder());
    // The per-user cache folder's "menus" (~/.cache/brellin/menus by default).
    static QString DefaultFolder();

    bool Enabled = true;
    QString Folder;

    QString FileFor(const QByteArray &model, const QByteArray &version) const;
    // The structure of that model and version; none when none is kept or the file is unreadable.
    std::unique_ptr<TMenuStructure> Load(const QByteArray &model, const QByteArray &version) const;
    // Every structure kept (for files opened without an instrument).
    std::vector<std::unique_ptr<TMenuStructure>> LoadAll() const;
    // Written in one piece; false with the reason when it could not be (also told to NotKept).
    bool Save(const TMenuStructure &structure, QString *error = nullptr);
    // Forgets the structure of that model and version (a mismatch was seen).
    void Drop(const QByteArray &model, const QByteArray &version);
    // Forgets every structure; the number of files removed.
    int Clear();

    // Counted for the curious (tests, benchmarks, the status line).
    int Drops = 0;
    QString LastDropReason;
    // Told why a structure could not be kept: the reading itself went well, only the next read of
    // that model reads its menus in full again.
    std::function<void(const QString &why)> NotKept;
};
