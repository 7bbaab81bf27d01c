// Settings comparison: file entries, file against file, instrument against file.
#include "compare.h"

#include "SendSettings.h"
#include "i18n/LumsLang.h"
#include "link/comms.h"
#include "link/transact.h"
#include "session.h"
#include "values/tools.h"

#include <QHash>
#include <optional>

namespace
{

constexpr int CalibrationRegister = 0x00F8;
constexpr int ProductAdd = 0xB001;
constexpr int ProductRename = 0xB012;
constexpr int ProductSelect = 0xB010;
constexpr int ProductMenuRegister = 0xB100;
// How often an unanswered read is asked again (as a save does).
constexpr int CompareReadAttempts = 3;
// Items in a row without any reply after which the instrument counts as silent: the rest is listed
// as not read instead of being waited for item by item.
constexpr int SilentItemsToStop = 3;
// Executes a settings file may carry besides the product names: totals and product resets and the
// end of a transfer. They set nothing that could be read back.
constexpr int KnownExecutes[] = {0xB002, 0xB005, 0x00ED};

// An item's title: the padded name, " : " and the display text.
void SplitTitle(const QByteArray &title, QByteArray &name, QByteArray &text)
{
    const qsizetype sep = title.indexOf(" : ");
    if (sep < 0) {
        name = title.trimmed();
        text.clear();
        return;
    }
    name = title.left(sep).trimmed();
    text = title.mid(sep + 3);
}

bool IsRequest(const QByteArray &line, Tcommsobj &msg)
{
    return msg.Decode(line) && msg.RequestFlag && !msg.ErrorFlag &&
           (msg.Command == CmdWrite || msg.Command == CmdExecute);
}

QString LineError(int line, const char *what)
{
    return QStringLiteral("line %1 %2").arg(line).arg(QLatin1String(what));
}

} // namespace

QByteArray TSettingsEntry::DisplayText() const
{
    // Strings: the title shows the text without its trailing blanks, the value keeps them.
    if (ProductName || Text.isEmpty() || Text == Value.trimmed())
        return Value;
    // A title longer than 25 characters was cut with " ...": the value itself says more then.
    if (Text.endsWith(" ...")) {
        const QByteArray shown = Text.left(Text.size() - 4);
        if (Value.startsWith(shown))
            return Value;
        return Text + " [" + Value + "]";
    }
    return Text;
}

QByteArray PathText(const QList<QByteArray> &path)
{
    return path.join(" > ");
}

bool SettingsEntries(const QList<QByteArray> &lines, QList<TSettingsEntry> &entries, QString *error)
{
    entries.clear();
    QList<QByteArray> titles;  // titles by depth, the root first
    int productDepth = -1;     // depth of the product whose menu is open; -1 outside
    int productMenuDepth = -1; // depth of the product menu (the title its reset follows)
    int products = 0;
    QHash<QByteArray, int> seen;
    auto fail = [&](int line, const char *what) {
        if (error)
            *error = LineError(line, what);
        return false;
    };
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const int number = i + 1;
        if (IsReadableLine(line)) {
            const qsizetype colon = line.indexOf(':');
            const int64_t depth = colon < 0 ? 1 : std::max<int64_t>(1, DigitsToInt(line.left(colon)));
            // A title deeper than one below the last hangs below the last one, as in the preview.
            while (titles.size() >= depth)
                titles.removeLast();
            QByteArray text = colon < 0 ? line : line.mid(colon + 1);
            if (text.startsWith(' '))
                text.remove(0, 1);
            titles.append(text);
            if (productDepth >= 0 && titles.size() <= productDepth)
                productDepth = -1;
            if (productMenuDepth >= 0 && titles.size() <= productMenuDepth)
                productMenuDepth = -1;
            continue;
        }
        Tcommsobj msg;
        if (!IsRequest(line, msg))
            return fail(number, "is neither a title nor a write or execute request");
        if (titles.isEmpty())
            return fail(number, "is a request before any title");
        TSettingsEntry entry;
        entry.Line = number;
        if (msg.Command == CmdExecute) {
            if (msg.Register == ProductAdd || msg.Register == ProductRename) {
                // The title above is a product: the values below it are that product's.
                productDepth = static_cast<int>(titles.size());
                entry.Path = titles;
                entry.Value = msg.Data;
                entry.Product = products++;
                entry.ProductName = true;
                entry.InProducts = true;
                entry.Key = "P" + QByteArray::number(entry.Product) + ":name";
                entries.append(std::move(entry));
                continue;
            }
            if (std::find(std::begin(KnownExecutes), std::end(KnownExecutes), msg.Register) ==
                std::end(KnownExecutes))
                return fail(number, "executes a function a settings file does not carry");
            if (msg.Register != 0x00ED)
                productMenuDepth = static_cast<int>(titles.size());
            continue;
        }
        // The write of 1 to the product choice belongs to the rename of the first product.
        if (msg.Register == ProductSelect && i + 1 < lines.size()) {
            Tcommsobj next;
            if (IsRequest(lines[i + 1], next) && next.Command == CmdExecute && next.Register == ProductRename)
                continue;
        }
        entry.Register = msg.Register;
        entry.Value = msg.Data;
        if (msg.Register == CalibrationRegister) {
            entry.Path = {titles.first(), "Calibration"};
        } else {
            QByteArray name;
            SplitTitle(titles.last(), name, entry.Text);
            entry.Path = titles.mid(0, titles.size() - 1);
            entry.Path.append(name);
        }
        if (productDepth >= 0)
            entry.Product = products - 1;
        entry.InProducts = productDepth >= 0 || productMenuDepth >= 0;
        const QByteArray reg = HexText(static_cast<uint32_t>(msg.Register), 4);
        if (entry.Product >= 0) {
            entry.Key = "P" + QByteArray::number(entry.Product) + ":" + reg;
        } else {
            const int n = seen.value(reg, 0);
            seen[reg] = n + 1;
            entry.Key = reg + "#" + QByteArray::number(n);
        }
        entries.append(std::move(entry));
    }
    return true;
}

QByteArray TCompareResult::Summary() const
{
    // In the program's language (the window shows it), English on the command line.
    QString text =
        Compared == 1
            ? LangText("Messages", "CompareOne", "1 item compared, %1 different").arg(Differences.size())
            : LangText("Messages", "CompareMany", "%1 items compared, %2 different")
                  .arg(Compared)
                  .arg(Differences.size());
    if (!Unread.isEmpty())
        text += LangText("Messages", "CompareUnread", ", %1 could not be read").arg(Unread.size());
    if (ProductsNotCompared > 0)
        text += LangText("Messages", "CompareProducts",
                         ", %1 product values not compared (reading them would select products)")
                    .arg(ProductsNotCompared);
    if (ProductNotRestored)
        text += LangText("Messages", "CompareNotReselected",
                         ", the product that was active could not be selected again");
    if (AccessRefused)
        text += LangText("Messages", "CompareRefused", ", access refused");
    else if (!Complete)
        text += LangText("Messages", "CompareStopped", ", stopped early: the instrument did not answer");
    return text.toUtf8();
}

TCompareResult CompareSettingsFiles(const QList<TSettingsEntry> &first, const QList<TSettingsEntry> &second)
{
    TCompareResult result;
    QHash<QByteArray, const TSettingsEntry *> others;
    for (const TSettingsEntry &e : second)
        others.insert(e.Key, &e);
    QHash<QByteArray, bool> matched;
    for (const TSettingsEntry &e : first) {
        ++result.Compared;
        const TSettingsEntry *other = others.value(e.Key, nullptr);
        if (!other) {
            result.Differences.append({e.Path, e.DisplayText(), "(absent)"});
            continue;
        }
        matched.insert(e.Key, true);
        if (other->Value != e.Value)
            result.Differences.append({e.Path, e.DisplayText(), other->DisplayText()});
    }
    for (const TSettingsEntry &e : second) {
        if (matched.contains(e.Key))
            continue;
        ++result.Compared;
        result.Differences.append({e.Path, "(absent)", e.DisplayText()});
    }
    return result;
}

TCompareResult CompareWithInstrument(TTransactionEngine *engine, TSession *session,
                                     const QList<TSettingsEntry> &entries, bool fullLevel)
{
    TCompareResult result;
    auto lost = [&] { return !engine->LinkOpen() || engine->LastWaitTimedOut(); };
    if (!engine->LinkOpen()) {
        result.Complete = false;
        return result;
    }
    // A session open meanwhile keeps its access: its own end locks the instrument.
    const bool sessionOpen = session->SessionActive;
    if (!session->RequestAccess(fullLevel ? 2 : 1)) {
        result.Complete = false;
        result.AccessRefused = !lost();
        return result;
    }
    // An unanswered read is asked again, as a save does; a refusal is an answer.
    const auto read = [&](int command, int reg, const QByteArray &data) {
        for (int i = 0; i < CompareReadAttempts; ++i) {
            if (engine->Transact(command, reg, data, true, false))
                return true;
            if (!lost())
                return false;
        }
        return false;
    };
    const auto why = [&] {
        return lost() ? QStringLiteral("no reply")
                      : QString::fromLatin1(engine->LastReply.ErrorText().trimmed());
    };
    // A product's values are read with that product selected (naming its menu entry selects it); the
    // product that was active is selected again at the end.
    std::optional<QByteArray> active;
    int selected = -1;
    bool selectedAny = false;
    const auto select = [&](const TSettingsEntry &e) -> bool {
        if (e.Product == selected)
            return true;
        if (!selectedAny) {
            if (!read(CmdRead, ProductSelect, {})) {
                result.Unread.append({e.Path, QStringLiteral("the active product could not be read (") +
                                                  why() +
                                                  QStringLiteral("), so no product is selected to read it")});
                return false;
            }
            active = engine->LastReply.Data;
        }
        selectedAny = true;
        selected = -1;
        if (!read(CmdReadItem, ProductMenuRegister, HexText(static_cast<uint32_t>(e.Product + 2), 4))) {
            result.Unread.append({e.Path, QStringLiteral("its product could not be selected: ") + why()});
            return false;
        }
        selected = e.Product;
        return true;
    };
    int silent = 0; // items in a row that got no reply at all
    for (const TSettingsEntry &e : entries) {
        if (!engine->LinkOpen() || silent >= SilentItemsToStop) {
            result.Unread.append({e.Path, engine->LinkOpen()
                                              ? QStringLiteral("not read: the instrument stopped answering")
                                              : QStringLiteral("the link was closed")});
            result.Complete = false;
            continue;
        }
        if (e.Product >= 0 && !select(e)) {
            silent = lost() ? silent + 1 : 0;
            continue;
        }
        QByteArray value;
        if (e.ProductName) {
            // The name is the selecting reply's text, after the item's type.
            value = engine->LastReply.Data.mid(4);
            ++result.Compared;
            if (value.trimmed() != e.Value.trimmed())
                result.Differences.append({e.Path, value.trimmed(), e.Value.trimmed()});
            continue;
        }
        if (!read(CmdRead, e.Register, {})) {
            result.Unread.append({e.Path, why()});
            silent = lost() ? silent + 1 : 0;
            continue;
        }
        silent = 0;
        ++result.Compared;
        value = engine->LastReply.Data;
        if (value == e.Value)
            continue;
        // Only a differing item is read again, for the text the instrument shows for it.
        QByteArray shown = value;
        if (e.Register != CalibrationRegister && read(CmdReadFormatted, e.Register, {})) {
            const QByteArray text = engine->LastReply.Data.trimmed();
            if (text != value.trimmed())
                shown = text;
        }
        result.Differences.append({e.Path, shown, e.DisplayText()});
    }
    if (selectedAny && active && engine->LinkOpen()) {
        // The active product as it was: read, and written back when the reads changed it.
        const bool same =
            read(CmdRead, ProductSelect, {}) && HexToInt(engine->LastReply.Data) == HexToInt(*active);
        if (!same && !engine->Transact(CmdWrite, ProductSelect, *active, true, false))
            result.ProductNotRestored = true;
    } else if (selectedAny && !active) {
        result.ProductNotRestored = true;
    }
    if (engine->LinkOpen() && !sessionOpen)
        session->LockInstrument();
    return result;
}
