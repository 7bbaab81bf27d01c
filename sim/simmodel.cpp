// Loading the menu description and answering value, range and display-text questions from it.
#include "simmodel.h"

#include "link/comms.h"
#include "values/tools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace
{

bool ParseHexRegister(const QJsonValue &v, int *reg)
{
    if (v.isDouble()) {
        *reg = v.toInt(-1);
        return *reg >= 0 && *reg <= 0xFFFF;
    }
    const QByteArray text = v.toString().toLatin1();
    if (text.isEmpty() || text.size() > 4)
        return false;
    for (char ch : text)
        if (!std::isxdigit(static_cast<unsigned char>(ch)))
            return false;
    *reg = static_cast<int>(HexToInt(text));
    return true;
}

// A number of the description, held inside what a register can carry (32 bits either way), so
// that a huge or fractional entry cannot overflow anything later.
int64_t JsonNumber(const QJsonValue &v, int64_t fallback)
{
    if (!v.isDouble())
        return fallback;
    const double d = v.toDouble();
    if (!std::isfinite(d))
        return fallback;
    return static_cast<int64_t>(std::clamp(d, -2147483648.0, 4294967295.0));
}

bool IsNumberType(int type)
{
    return type >= SimTypeNumber && type <= SimTypeUnsigned;
}

bool AllHex(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 8)
        return false;
    for (char ch : text)
        if (!std::isxdigit(static_cast<unsigned char>(ch)))
            return false;
    return true;
}

uint32_t IpFromText(const QString &text, bool *ok)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    *ok = parts.size() == 4;
    uint32_t v = 0;
    for (const QString &p : parts) {
        bool good = false;
        const uint n = p.toUInt(&good);
        *ok = *ok && good && n <= 255;
        v = (v << 8) | (n & 0xFF);
    }
    return v;
}

} // namespace

int SimStringLength(const QByteArray &text)
{
    int count = 0;
    for (int i = 0; i < text.size(); i += text[i] == '\\' ? 3 : 1)
        ++count;
    return count;
}

QByteArray SimUnescape(const QByteArray &text)
{
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 2 < text.size()) {
            out.append(static_cast<char>(HexToInt(text.mid(i + 1, 2)) & 0xFF));
            i += 2;
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

bool TSimModel::Load(const QByteArray &json, QString *error)
{
    Items.clear();
    ByRegister.clear();
    Saved.clear();
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (!doc.isObject()) {
        *error = QStringLiteral("model is not a JSON object: %1").arg(parseError.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    ModelText = root.value("model").toString(QString::fromLatin1(ModelText)).toLatin1();
    VersionText = root.value("version").toString(QString::fromLatin1(VersionText)).toLatin1();
    SerialNumber =
        static_cast<uint32_t>(std::max<int64_t>(0, JsonNumber(root.value("serialNumber"), SerialNumber)));
    const QJsonObject pass = root.value("passcodes").toObject();
    SafePasscode = static_cast<uint32_t>(std::max<int64_t>(0, JsonNumber(pass.value("safe"), SafePasscode)));
    FullPasscode = static_cast<uint32_t>(std::max<int64_t>(0, JsonNumber(pass.value("full"), FullPasscode)));
    const QJsonObject products = root.value("products").toObject();
    ProductNames.clear();
    for (const QJsonValue &v : products.value("names").toArray())
        ProductNames.append(v.toString().toLatin1());
    ProductNameLength = products.value("nameLength").toInt(12);
    Allocation.clear();
    for (const QJsonValue &g : root.value("allocation").toArray()) {
        QList<QByteArray> group;
        for (const QJsonValue &t : g.toArray())
            group.append(t.toString().toLatin1());
        Allocation.append(group);
    }
    const QJsonArray menus = root.value("menus").toArray();
    if (menus.isEmpty()) {
        *error = QStringLiteral("model has no menus");
        return false;
    }
    for (const QJsonValue &m : menus) {
        if (!ParseItem(m.toObject(), -1, error)) {
            Items.clear();
            ByRegister.clear();
            return false;
        }
    }
    if (!Find(0x0011)) {
        *error = QStringLiteral("model has no setup menu 0011");
        Items.clear();
        ByRegister.clear();
        return false;
    }
    SaveValues();
    return true;
}

bool TSimModel::ParseItem(const QJsonObject &obj, int parent, QString *error)
{
    TSimItem item;
    if (obj.contains("ref")) {
        // Another appearance of an item that an earlier menu already describes.
        int reg = 0;
        const auto it =
            ParseHexRegister(obj.value("ref"), &reg) ? ByRegister.constFind(reg) : ByRegister.cend();
        if (it == ByRegister.cend() || parent < 0) {
            *error = QStringLiteral("ref to an unknown register");
            return false;
        }
        Items[parent].Children.push_back(*it);
        return true;
    }
    if (!ParseHexRegister(obj.value("reg"), &item.Register)) {
        *error = QStringLiteral("item without a valid register: %1")
                     .arg(QString::fromUtf8(QJsonDocument(obj).toJson(QJsonDocument::Compact)));
        return false;
    }
    if (ByRegister.contains(item.Register)) {
        *error = QStringLiteral("register %1 appears twice").arg(item.Register, 4, 16, QLatin1Char('0'));
        return false;
    }
    item.Name = obj.value("name").toString().toLatin1();
    item.Type = obj.value("type").toInt(obj.contains("items") ? SimTypeMenu : SimTypeNumber);
    item.Permission = obj.value("perm").toInt(item.Type == SimTypeMenu ? 0 : 0x80) & 0xFF;
    item.Level = obj.value("level").toInt((item.Permission & 3) >= 2 ? 2 : 1);
    for (const QJsonValue &o : obj.value("options").toArray())
        item.Options.append(o.toString().toLatin1());
    item.Minimum = JsonNumber(obj.value("min"), 0);
    const bool hasOptions = !item.Options.isEmpty();
    const int64_t defaultMax = hasOptions                      ? item.Minimum + item.Options.size() - 1
                               : item.Type == SimTypeIpAddress ? 4294967295LL
                               : item.Type == SimTypeString    ? 16
                                                               : 99999;
    item.Maximum = JsonNumber(obj.value("max"), defaultMax);
    if (obj.value("dec").toString() == QLatin1String("weight"))
        item.Decimals = -1;
    else
        item.Decimals = obj.value("dec").toInt(0);
    item.WeightUnits = obj.value("units").toBool(false);
    item.Suffix = obj.value("suffix").toString().toLatin1();
    const QJsonValue value = obj.value("value");
    if (item.Type == SimTypeString) {
        item.Text = value.toString().toLatin1();
    } else if (item.Type == SimTypeIpAddress && value.isString()) {
        bool ok = false;
        item.Value = IpFromText(value.toString(), &ok);
        if (!ok) {
            *error = QStringLiteral("register %1: bad IP address").arg(item.Register, 4, 16);
            return false;
        }
    } else {
        item.Value = JsonNumber(value, item.Minimum);
    }
    if (obj.contains("showIf")) {
        const QJsonObject cond = obj.value("showIf").toObject();
        if (!ParseHexRegister(cond.value("reg"), &item.ShowIfRegister)) {
            *error = QStringLiteral("register %1: bad showIf").arg(item.Register, 4, 16);
            return false;
        }
        for (const QJsonValue &v : cond.value("values").toArray())
            item.ShowIfValues.append(JsonNumber(v, 0));
    }
    const int index = static_cast<int>(Items.size());
    Items.push_back(item);
    ByRegister.insert(item.Register, index);
    if (parent >= 0)
        Items[parent].Children.push_back(index);
    for (const QJsonValue &child : obj.value("items").toArray())
        if (!ParseItem(child.toObject(), index, error))
            return false;
    return true;
}

TSimItem *TSimModel::Find(int reg)
{
    const auto it = ByRegister.constFind(reg);
    return it == ByRegister.cend() ? nullptr : &Items[*it];
}

const TSimItem *TSimModel::Find(int reg) const
{
    const auto it = ByRegister.constFind(reg);
    return it == ByRegister.cend() ? nullptr : &Items[*it];
}

const TSimItem *TSimModel::Menu(int reg) const
{
    const TSimItem *item = Find(reg);
    return item && item->Type == SimTypeMenu ? item : nullptr;
}

bool TSimModel::IsListed(const TSimItem &item) const
{
    if (item.ShowIfRegister < 0)
        return true;
    const TSimItem *cond = Find(item.ShowIfRegister);
    return cond && item.ShowIfValues.contains(cond->Value);
}

QList<QPair<int, int>> TSimModel::MenuEntries(int menuReg) const
{
    QList<QPair<int, int>> entries;
    if (const TSimItem *menu = Menu(menuReg))
        for (int child : menu->Children)
            if (IsListed(Items[child]))
                entries.append({Items[child].Register, 0});
    return entries;
}

bool TSimModel::HasValue(const TSimItem &item) const
{
    return item.Type != SimTypeMenu && item.Type != SimTypeFunction11 && item.Type != SimTypeFunction15;
}

int TSimModel::WeightDecimals() const
{
    const TSimItem *dp = Find(RegDecimals);
    return dp ? static_cast<int>(std::clamp<int64_t>(dp->Value, 0, 4)) : 0;
}

QByteArray TSimModel::UnitsText() const
{
    const TSimItem *units = Find(RegUnits);
    if (!units)
        return "kg";
    const int index = static_cast<int>(units->Value - units->Minimum);
    return index >= 0 && index < units->Options.size() ? units->Options[index] : QByteArray("kg");
}

QByteArray TSimModel::CapacityPlate() const
{
    const int dec = WeightDecimals();
    auto weight = [dec](int64_t counts) {
        QByteArray text = SignedToDecimalText(static_cast<int32_t>(counts), dec);
        // A plate says "3000 kg", not "3000.00 kg".
        if (text.contains('.')) {
            while (text.endsWith('0'))
                text.chop(1);
            if (text.endsWith('.'))
                text.chop(1);
        }
        return text;
    };
    const TSimItem *fullScale = Find(RegFullScale);
    const QByteArray units = UnitsText();
    return "Max " + weight(fullScale ? fullScale->Value : 0) + ' ' + units + "   e = " + weight(1) + ' ' +
           units;
}

QByteArray TSimModel::ValueText(const TSimItem &item) const
{
    switch (item.Type) {
    case SimTypeString:
        return item.Text;
    case SimTypeIpAddress:
        return HexText(static_cast<uint32_t>(item.Value), 8);
    case SimTypeUnsigned:
        return HexText(static_cast<uint32_t>(item.Value), 4);
    default: {
        const auto v = static_cast<int32_t>(item.Value);
        return HexText(static_cast<uint32_t>(v), v < 0 ? 8 : 4);
    }
    }
}

QByteArray TSimModel::Literal(const TSimItem &item) const
{
    if (item.Type == SimTypeString)
        return item.Text;
    if (item.Type == SimTypeIpAddress) {
        const auto v = static_cast<uint32_t>(item.Value);
        return QByteArray::number(v >> 24) + '.' + QByteArray::number((v >> 16) & 0xFF) + '.' +
               QByteArray::number((v >> 8) & 0xFF) + '.' + QByteArray::number(v & 0xFF);
    }
    if (!item.Options.isEmpty()) {
        const int64_t index = item.Value - item.Minimum;
        return index >= 0 && index < item.Options.size() ? item.Options[static_cast<int>(index)]
                                                         : QByteArray("?");
    }
    if (IsNumberType(item.Type)) {
        const int dec = item.Decimals < 0 ? WeightDecimals() : item.Decimals;
        QByteArray text = item.Type == SimTypeUnsigned
                              ? UnsignedToDecimalText(static_cast<uint32_t>(item.Value), dec)
                              : SignedToDecimalText(static_cast<int32_t>(item.Value), dec);
        if (item.WeightUnits)
            text += ' ' + UnitsText();
        else if (!item.Suffix.isEmpty())
            text += ' ' + item.Suffix;
        return text;
    }
    return ValueText(item);
}

QByteArray TSimModel::MinimumText(const TSimItem &item) const
{
    if (item.Type == SimTypeNumberSigned16)
        return HexText(static_cast<uint32_t>(item.Minimum) & 0xFFFF, 4);
    const auto v = static_cast<uint32_t>(item.Minimum);
    return HexText(v, static_cast<int32_t>(v) < 0 && item.Type != SimTypeUnsigned ? 8 : 4);
}

QByteArray TSimModel::MaximumText(const TSimItem &item) const
{
    const auto v = static_cast<uint32_t>(item.Maximum);
    if (item.Type == SimTypeUnsigned || item.Type == SimTypeIpAddress)
        return HexText(v, 4);
    return HexText(v, static_cast<int32_t>(v) < 0 ? 8 : 4);
}

uint32_t TSimModel::Write(TSimItem &item, const QByteArray &data)
{
    if (!HasValue(item))
        return StatusIllegalOperation;
    if (item.Type == SimTypeString) {
        if (SimStringLength(data) > item.Maximum)
            return StatusOverRange;
        item.Text = data;
        return 0;
    }
    if (!AllHex(data))
        return StatusIllegalValue;
    const uint32_t raw = HexToInt(data);
    if (item.Type == SimTypeIpAddress) {
        item.Value = raw;
        return 0;
    }
    if (item.Type == SimTypeUnsigned) {
        if (raw < static_cast<uint32_t>(item.Minimum))
            return StatusUnderRange;
        if (raw > static_cast<uint32_t>(item.Maximum))
            return StatusOverRange;
        item.Value = raw;
        return 0;
    }
    // Short values are numbers as written; eight digits carry a sign.
    const int64_t v = data.size() == 8 ? static_cast<int32_t>(raw) : static_cast<int64_t>(raw);
    if (!item.Options.isEmpty() && (v < item.Minimum || v > item.Maximum))
        return StatusIllegalValue;
    if (v < item.Minimum)
        return StatusUnderRange;
    if (v > item.Maximum)
        return StatusOverRange;
    item.Value = v;
    return 0;
}

void TSimModel::SaveValues()
{
    Saved.clear();
    for (const TSimItem &item : Items)
        Saved.insert(item.Register, {item.Value, item.Text});
}

void TSimModel::RestoreValues()
{
    for (TSimItem &item : Items) {
        const auto it = Saved.constFind(item.Register);
        if (it != Saved.cend()) {
            item.Value = it->first;
            item.Text = it->second;
        }
    }
}
