// The simulated instrument's settings menu: a data-driven tree of menus and registers loaded
// from a JSON description, with the values, ranges, option texts and display texts it answers.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <cstdint>
#include <vector>

// Register type codes the instrument reports.
enum : int {
    SimTypeNumber = 1,
    SimTypeNumberSigned16 = 2,
    SimTypeNumber3 = 3,
    SimTypeNumber4 = 4,
    SimTypeUnsigned = 5,
    SimTypeString = 6,
    SimTypeOptions = 7,
    SimTypeMenu = 8,
    SimTypeFunction11 = 11,
    SimTypeOptionPage = 12,
    SimTypeFunction15 = 15,
    SimTypeOptions17 = 17,
    SimTypeIpAddress = 18,
};

// Registers with a meaning of their own, outside the menu tree.
enum : int {
    RegFullScale = 0x002F, // full-scale weight; its display text carries the units
    RegUnits = 0x0030,     // units option: kg, lb, t, g
    RegDecimals = 0x0031,  // decimal point option of weights: 0 .. 3 places
    RegProductMenu = 0xB100,
    RegProductSelect = 0xB010,
    RegProductName = 0xB013,
};

struct TSimItem {
    int Register = 0;
    int Type = 0;
    QByteArray Name;
    int Permission = 0x80;
    int Level = 1; // access level a write needs: 1 safe, 2 full
    int64_t Minimum = 0;
    int64_t Maximum = 0;
    int64_t Value = 0;
    QByteArray Text;           // string items
    QList<QByteArray> Options; // option texts, index 0 = value Minimum
    int Decimals = 0;          // -1: the weight decimals
    bool WeightUnits = false;  // display text ends in the current units
    QByteArray Suffix;         // fixed units of the display text ("s", "%")
    int ShowIfRegister = -1;   // listed only while that register holds one of ShowIfValues
    QList<int64_t> ShowIfValues;
    std::vector<int> Children; // menus: item indices in menu order
};

class TSimModel
{
public:
    // Fills the model from a JSON description; on failure the model is empty and `error` says why.
    bool Load(const QByteArray &json, QString *error);
    static QByteArray DefaultJson();

    // Identification and passcodes of the description (the instrument's configuration may override).
    QByteArray ModelText = "V500";
    QByteArray VersionText = "V1.04";
    uint32_t SerialNumber = 1234567;
    uint32_t SafePasscode = 1234;
    uint32_t FullPasscode = 5678;
    // Product names at start and the longest name accepted.
    QList<QByteArray> ProductNames;
    int ProductNameLength = 12;
    // Allocation report: per group, items 0..7 then continuation pairs.
    QList<QList<QByteArray>> Allocation;

    TSimItem *Find(int reg);
    const TSimItem *Find(int reg) const;
    // A menu's item list; nullptr when the register is no menu.
    const TSimItem *Menu(int reg) const;
    bool IsListed(const TSimItem &item) const;
    // The visible children of a menu as (register, key) pairs.
    QList<QPair<int, int>> MenuEntries(int menuReg) const;
    const TSimItem &Item(int index) const { return Items[index]; }
    int ItemCount() const { return static_cast<int>(Items.size()); }

    // Value as it travels: hex digits (two's complement for negatives), or the text of strings.
    QByteArray ValueText(const TSimItem &item) const;
    // Value as the instrument displays it, with decimal point and units.
    QByteArray Literal(const TSimItem &item) const;
    QByteArray MinimumText(const TSimItem &item) const;
    QByteArray MaximumText(const TSimItem &item) const;
    // Checks and stores a written value; 0 or the status bits of the refusal.
    uint32_t Write(TSimItem &item, const QByteArray &data);

    int WeightDecimals() const;
    QByteArray UnitsText() const;
    // What the instrument's capacity plate states: "Max <full scale> <units>   e = <one step>
    // <units>", the step being one count of the last displayed digit (the picture of the panel
    // carries it, so that it matches the instrument the demo runs).
    QByteArray CapacityPlate() const;
    bool HasValue(const TSimItem &item) const;

    // Saved settings: what a reset returns to.
    void SaveValues();
    void RestoreValues();

private:
    bool ParseItem(const class QJsonObject &obj, int parent, QString *error);
    std::vector<TSimItem> Items;
    QHash<int, int> ByRegister;
    QHash<int, QPair<int64_t, QByteArray>> Saved;
};

// Number of characters a string value counts as: "\" with the two characters after it is one.
int SimStringLength(const QByteArray &text);
// The bytes a string value stands for: "\0D" is the byte 0x0D.
QByteArray SimUnescape(const QByteArray &text);
