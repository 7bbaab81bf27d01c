// Remembered menu structures: display forms learned from what the instrument showed, the JSON
// form of a structure, and the folder that keeps one file per model and version.
#include "menucache.h"

#include "base/apppaths.h"
#include "base/wholefile.h"
#include "values/tools.h"
#include "values/valuetext.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

constexpr int FormatVersion = 1;

bool IsNumberType(int type)
{
    return type >= 1 && type <= 5;
}

bool IsOptionsType(int type)
{
    return type == 7 || type == 17;
}

// A number value as the instrument sends it: eight digits carry a sign, fewer do not; unsigned
// items never do.
std::optional<int64_t> NumberOf(const QByteArray &value, int type)
{
    if (!IsHexWord(value))
        return std::nullopt;
    const uint32_t raw = HexToInt(value);
    if (type == 5 || value.size() < 8)
        return static_cast<int64_t>(raw);
    return static_cast<int64_t>(static_cast<int32_t>(raw));
}

QByteArray DottedText(const QByteArray &value)
{
    const uint32_t v = HexToInt(value);
    return QByteArray::number(v >> 24) + '.' + QByteArray::number((v >> 16) & 0xFF) + '.' +
           QByteArray::number((v >> 8) & 0xFF) + '.' + QByteArray::number(v & 0xFF);
}

QByteArray Latin1(const QJsonValue &v)
{
    return v.toString().toLatin1();
}

QString Text(const QByteArray &latin1)
{
    return QString::fromLatin1(latin1);
}

// A file name part of a model or version text: letters, digits, "." and "-" only.
QString NamePart(const QByteArray &text)
{
    QString out;
    for (char ch : text)
        out += std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-' ? QChar::fromLatin1(ch)
                                                                                      : QChar('_');
    return out.left(40);
}

} // namespace

// --- TItemShape ---------------------------------------------------------------------------------

std::optional<QByteArray> TItemShape::LiteralFor(const QByteArray &value) const
{
    const int type = static_cast<int>(HexToInt(TypeCode));
    if (Form == "text")
        return value;
    if (Form == "ip" && IsHexWord(value))
        return DottedText(value);
    if (Form == "option" && Options && Minimum) {
        if (const auto n = NumberOf(value, type)) {
            const int64_t index = *n - *Minimum;
            if (index >= 0 && index < Options->size())
                return Options->at(static_cast<qsizetype>(index));
        }
    }
    if (Form == "number") {
        if (const auto n = NumberOf(value, type))
            return ScaledText(*n, Decimals) + Suffix;
    }
    const auto it = Seen.find(value);
    if (it != Seen.end())
        return it->second;
    return std::nullopt;
}

void TItemShape::Learn(const QByteArray &value, const QByteArray &literal)
{
    const int type = static_cast<int>(HexToInt(TypeCode));
    if (const auto known = LiteralFor(value); known && *known == literal)
        return;
    Form.clear();
    Seen[value] = literal;
    if (type == 6 && literal == value) {
        Form = "text";
    } else if (type == 18 && IsHexWord(value) && DottedText(value) == literal) {
        Form = "ip";
    } else if (IsOptionsType(type) && Options && Minimum) {
        Form = "option";
        if (LiteralFor(value) != literal)
            Form.clear();
    } else if (IsNumberType(type)) {
        if (const auto n = NumberOf(value, type)) {
            const qsizetype blank = literal.indexOf(' ');
            const QByteArray number = blank < 0 ? literal : literal.left(blank);
            const int decimals = DecimalsIn(number);
            if (ScaledText(*n, decimals) == number) {
                Form = "number";
                Decimals = decimals;
                Suffix = literal.mid(number.size());
            }
        }
    }
    // Pairs that the form explains need not be kept; the others stay (few: the values seen).
    if (!Form.isEmpty())
        Seen.clear();
}

bool TItemShape::Admits(const QByteArray &value) const
{
    const int type = static_cast<int>(HexToInt(TypeCode));
    if (type == 6)
        return !Maximum || EscapedLength(value) <= *Maximum;
    if (type == 18)
        return IsHexWord(value);
    if (!IsNumberType(type) && !IsOptionsType(type))
        return true;
    const auto n = NumberOf(value, type);
    if (!n)
        return false;
    // A range is known from the instrument's answers: unsigned when the minimum is not negative.
    if (Minimum && Maximum) {
        const bool unsignedRange = type == 5 || *Minimum >= 0;
        const int64_t lo = unsignedRange ? static_cast<int64_t>(static_cast<uint32_t>(*Minimum)) : *Minimum;
        const int64_t hi = unsignedRange ? static_cast<int64_t>(static_cast<uint32_t>(*Maximum)) : *Maximum;
        // A signed-16 item's minimum comes as 16 bits.
        const int64_t low = type == 2 ? static_cast<int16_t>(static_cast<uint16_t>(*Minimum)) : lo;
        if (*n < low || *n > hi)
            return false;
    }
    if (IsOptionsType(type) && Options && Minimum) {
        const int64_t index = *n - *Minimum;
        if (index < 0 || index >= Options->size())
            return false;
    }
    return true;
}

void TItemShape::ForgetForms()
{
    Form.clear();
    Decimals = 0;
    Suffix.clear();
    Seen.clear();
}

// --- TMenuStructure -----------------------------------------------------------------------------

QByteArray TMenuStructure::MenuKey(const QByteArray &reg, const QByteArray &menuKey)
{
    return reg.toUpper() + '/' + menuKey.toUpper();
}

QList<QByteArray> TMenuStructure::ContextRegisters() const
{
    QList<QByteArray> regs;
    for (const auto &[reg, item] : Items) {
        const int type = static_cast<int>(HexToInt(item.TypeCode));
        if (type == 8 || type == 11 || type == 15 || !item.Permission)
            continue;
        if ((*item.Permission & 0x80) == 0)
            regs.append(reg);
    }
    return regs;
}

QByteArray TMenuStructure::ToJson() const
{
    QJsonObject root;
    root["format"] = FormatVersion;
    root["model"] = Text(Model);
    root["version"] = Text(Version);
    QJsonObject menus;
    for (const auto &[key, menu] : Menus) {
        QJsonArray names;
        for (const QByteArray &n : menu.Names)
            names.append(Text(n));
        menus[Text(key)] = QJsonObject{{"list", Text(menu.List)}, {"names", names}};
    }
    root["menus"] = menus;
    QJsonObject items;
    for (const auto &[reg, item] : Items) {
        QJsonObject o{{"type", Text(item.TypeCode)}};
        if (item.Permission)
            o["perm"] = *item.Permission;
        if (item.Minimum)
            o["min"] = *item.Minimum;
        if (item.Maximum)
            o["max"] = *item.Maximum;
        if (item.Options) {
            QJsonArray options;
            for (const QByteArray &t : *item.Options)
                options.append(Text(t));
            o["options"] = options;
        }
        if (!item.Form.isEmpty()) {
            o["form"] = Text(item.Form);
            if (item.Form == "number") {
                o["decimals"] = item.Decimals;
                o["suffix"] = Text(item.Suffix);
            }
        }
        if (!item.Seen.empty()) {
            QJsonObject seen;
            for (const auto &[value, literal] : item.Seen)
                seen[Text(value)] = Text(literal);
            o["seen"] = seen;
        }
        items[Text(reg)] = o;
    }
    root["items"] = items;
    QJsonObject context;
    for (const auto &[reg, value] : Context)
        context[Text(reg)] = Text(value);
    root["context"] = context;
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool TMenuStructure::FromJson(const QByteArray &json, QString *error)
{
    *this = TMenuStructure();
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    auto fail = [&](const QString &why) {
        *this = TMenuStructure();
        if (error)
            *error = why;
        return false;
    };
    if (!doc.isObject())
        return fail(QStringLiteral("not a JSON object (%1)").arg(parseError.errorString()));
    const QJsonObject root = doc.object();
    if (root.value("format").toInt() != FormatVersion)
        return fail(QStringLiteral("a structure of another format"));
    Model = Latin1(root.value("model"));
    Version = Latin1(root.value("version"));
    if (Model.isEmpty())
        return fail(QStringLiteral("no model named"));
    const QJsonObject menus = root.value("menus").toObject();
    for (auto it = menus.begin(); it != menus.end(); ++it) {
        const QJsonObject o = it.value().toObject();
        TMenuShape menu;
        menu.List = Latin1(o.value("list"));
        for (const QJsonValue &n : o.value("names").toArray())
            menu.Names.append(Latin1(n));
        // Every entry of the list has its name: anything else is no structure the reads made.
        if (menu.List.size() % 8 != 0 || menu.Names.size() != menu.List.size() / 8)
            return fail(QStringLiteral("menu %1 does not name each of its items").arg(it.key()));
        Menus[it.key().toLatin1()] = menu;
    }
    const QJsonObject items = root.value("items").toObject();
    for (auto it = items.begin(); it != items.end(); ++it) {
        const QJsonObject o = it.value().toObject();
        TItemShape item;
        item.TypeCode = Latin1(o.value("type"));
        if (o.contains("perm"))
            item.Permission = static_cast<uint8_t>(o.value("perm").toInt());
        if (o.contains("min"))
            item.Minimum = static_cast<int32_t>(o.value("min").toDouble());
        if (o.contains("max"))
            item.Maximum = static_cast<int32_t>(o.value("max").toDouble());
        if (o.contains("options")) {
            QList<QByteArray> options;
            for (const QJsonValue &t : o.value("options").toArray())
                options.append(Latin1(t));
            item.Options = options;
        }
        item.Form = Latin1(o.value("form"));
        item.Decimals = o.value("decimals").toInt();
        item.Suffix = Latin1(o.value("suffix"));
        const QJsonObject seen = o.value("seen").toObject();
        for (auto s = seen.begin(); s != seen.end(); ++s)
            item.Seen[s.key().toLatin1()] = Latin1(s.value());
        Items[it.key().toLatin1()] = item;
    }
    const QJsonObject context = root.value("context").toObject();
    for (auto it = context.begin(); it != context.end(); ++it)
        Context[it.key().toLatin1()] = Latin1(it.value());
    return true;
}

// --- TMenuStructureCache ------------------------------------------------------------------------

TMenuStructureCache::TMenuStructureCache(const QString &folder) : Folder(folder) {}

QString TMenuStructureCache::DefaultFolder()
{
    return AppPaths::UserDir(AppPaths::UserFolder::Cache) + QStringLiteral("/menus");
}

QString TMenuStructureCache::FileFor(const QByteArray &model, const QByteArray &version) const
{
    // The readable part for people looking into the folder; the hash keeps texts apart that
    // differ only in characters a file name cannot carry.
    const QByteArray hash =
        QCryptographicHash::hash(model + '\0' + version, QCryptographicHash::Sha1).toHex().left(8);
    return Folder + QLatin1Char('/') + NamePart(model) + QLatin1Char('_') + NamePart(version) +
           QLatin1Char('-') + QString::fromLatin1(hash) + QStringLiteral(".json");
}

std::unique_ptr<TMenuStructure> TMenuStructureCache::Load(const QByteArray &model,
                                                          const QByteArray &version) const
{
    if (model.isEmpty())
        return nullptr;
    QFile file(FileFor(model, version));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    auto structure = std::make_unique<TMenuStructure>();
    // A file that is not what it says (edited, another model's) counts as no structure.
    if (!structure->FromJson(file.readAll(), nullptr) || structure->Model != model ||
        structure->Version != version)
        return nullptr;
    return structure;
}

std::vector<std::unique_ptr<TMenuStructure>> TMenuStructureCache::LoadAll() const
{
    std::vector<std::unique_ptr<TMenuStructure>> all;
    const QStringList files = QDir(Folder).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString &name : files) {
        QFile file(Folder + QLatin1Char('/') + name);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        auto structure = std::make_unique<TMenuStructure>();
        if (structure->FromJson(file.readAll(), nullptr))
            all.push_back(std::move(structure));
    }
    return all;
}

bool TMenuStructureCache::Save(const TMenuStructure &structure, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        if (NotKept)
            NotKept(why);
        return false;
    };
    if (!QDir().mkpath(Folder))
        return fail(QStringLiteral("cannot create the folder %1").arg(Folder));
    QString why;
    if (!WriteWholeFile(FileFor(structure.Model, structure.Version), structure.ToJson(), &why))
        return fail(why);
    return true;
}

void TMenuStructureCache::Drop(const QByteArray &model, const QByteArray &version)
{
    ++Drops;
    QFile::remove(FileFor(model, version));
}

int TMenuStructureCache::Clear()
{
    int removed = 0;
    QDir dir(Folder);
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files))
        removed += dir.remove(name) ? 1 : 0;
    return removed;
}
