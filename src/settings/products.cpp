// Product functions and the clock.
#include "products.h"

#include "device.h"
#include "i18n/LumsLang.h"
#include "journal/journalscope.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "session.h"
#include "settingssave.h"
#include "settingstree.h"
#include "values/tools.h"

#include <QStringList>
#include <functional>

namespace
{

constexpr int ProductName = 0xB013;

QByteArray Hex(int value)
{
    return QByteArray::number(value, 16).toUpper();
}

bool QuietRead(TTransactionEngine *engine, int command, int reg, const QByteArray &data, int attempts)
{
    for (int i = 0; i < std::max(1, attempts); ++i) {
        if (engine->Transact(command, reg, data, true, false))
            return true;
        if (!engine->LinkOpen() || !engine->LastWaitTimedOut())
            return false;
    }
    return false;
}

} // namespace

std::optional<int> ReadProductCount(TTransactionEngine *engine, int attempts)
{
    if (!QuietRead(engine, CmdReadMenu, 0xB100, "0000", attempts))
        return std::nullopt;
    const QByteArray list = engine->LastReply.Data;
    int count = 0;
    for (qsizetype i = 0; i + 8 <= list.size(); i += 8)
        count += HexToInt(list.mid(i + 4, 4)) >= 2 ? 1 : 0;
    return count;
}

std::optional<QByteArray> ReadProductName(TTransactionEngine *engine, int attempts)
{
    if (!QuietRead(engine, CmdRead, ProductName, {}, attempts))
        return std::nullopt;
    return engine->LastReply.Data;
}

namespace
{

constexpr int ProductMenu = 0xB100;
constexpr int ActiveProduct = 0xB010;

QString Quoted(const QByteArray &name)
{
    return QString::fromLatin1(name.trimmed());
}

// The instrument's products as one journal value: "APPLES, PEARS".
QByteArray NamesText(const QList<QByteArray> &names)
{
    if (names.isEmpty())
        return "(no products)";
    QList<QByteArray> trimmed;
    for (const QByteArray &name : names)
        trimmed << name.trimmed();
    return trimmed.join(", ");
}

// Reads sent a few times before they count as unanswered; put back afterwards.
class TPatientDevice
{
public:
    explicit TPatientDevice(TDevice &device) : Device(device), Attempts(device.ReadAttempts)
    {
        Device.ReadAttempts = std::max(3, Attempts);
    }
    ~TPatientDevice() { Device.ReadAttempts = Attempts; }
    TPatientDevice(const TPatientDevice &) = delete;
    TPatientDevice &operator=(const TPatientDevice &) = delete;

private:
    TDevice &Device;
    int Attempts;
};

} // namespace

TProductOps::TProductOps(TTransactionEngine *engine, TDevice *device, TSettingsTreeModel *tree)
    : Engine(engine), Device(device), Tree(tree)
{
}

int TProductOps::ProductIndex(const TMenuNode *node)
{
    if (!node || !node->Data || node->Data->RegisterNumber() != ProductMenu)
        return -1;
    const int key = static_cast<int>(HexToInt(node->Data->MenuKey));
    return key >= 2 ? key - 2 : -1;
}

QString TProductOps::DeleteQuestion(const QByteArray &name)
{
    return LangText("Messages", "DeleteProduct", "Delete the product %1?").arg(Quoted(name)) + "\n" +
           LangText("Messages", "DeleteProductTotals",
                    "Deleting a product will clear all Totals.  Continue?");
}

std::optional<int> TProductOps::BeginAdd()
{
    Device->ExtendSession();
    return ReadNameLimit();
}

std::pair<QByteArray, std::optional<int>> TProductOps::BeginRename(TMenuNode *product)
{
    Device->ExtendSession();
    QByteArray name = product && product->Data ? product->Data->Name : QByteArray();
    if (ProductIndex(product) >= 0) {
        // The instrument names the product whose menu was named last.
        TProductKeeper keepProduct(*Device);
        TRegisterKeeper keep(*Device);
        Device->SetRegister(ProductMenu);
        Device->SetMenu(product->Data->MenuKey);
        Device->ReadItemName();
        if (Engine->Transact(CmdRead, ProductName, {}, true, true))
            name = Engine->LastReply.Data;
    }
    return {name, ReadNameLimit()};
}

std::optional<int> TProductOps::ReadNameLimit()
{
    if (!Engine->Transact(CmdReadLimit, ProductName, {}, true, true))
        return std::nullopt;
    return static_cast<int>(Engine->LastReply.Status);
}

std::optional<QList<QByteArray>> TProductOps::ReadProductNames()
{
    TProductKeeper keepProduct(*Device);
    TRegisterKeeper keep(*Device);
    TPatientDevice patient(*Device);
    Device->SetRegister(ProductMenu);
    Device->SetMenu("0000");
    Device->ReadMenuList();
    if (Device->ReplyFailed())
        return std::nullopt;
    const QByteArray list = Device->ReplyText();
    QList<QByteArray> names;
    for (qsizetype i = 0; i + 8 <= list.size(); i += 8) {
        const QByteArray key = list.mid(i + 4, 4);
        if (HexToInt(key) < 2)
            continue;
        Device->SetRegister(ProductMenu);
        Device->SetMenu(key);
        Device->ReadItemName();
        if (Device->ReplyFailed())
            return std::nullopt;
        names << Device->ItemName(); // with its blanks
    }
    return names;
}

std::optional<QByteArray> TProductOps::ReadActive()
{
    // Read past the catalogue, which would first select again the product it is keeping: this
    // is the instrument's own choice after a product function.
    if (!QuietRead(Engine, CmdRead, ActiveProduct, {}, 3))
        return std::nullopt;
    return Engine->LastReply.Data;
}

void TProductOps::Report(const QString &text)
{
    LastMessage = text;
    if (Engine->Reporter)
        Engine->Reporter->Error(text);
}

TProductOutcome TProductOps::Run(int reg, const QByteArray &arg,
                                 const std::function<TProductOutcome()> &check)
{
    const QByteArray request = "2010" + HexText(static_cast<uint32_t>(reg), 4) + ':' + arg;
    // Sent once: a product function sent twice adds, renames or deletes twice.
    const QByteArray reply = Engine->TransactTextOnce(request);
    Refusal.clear();
    ReadBackConfirmed = false;
    if (!reply.isEmpty()) {
        Tcommsobj answer;
        answer.Decode(reply);
        if (answer.ErrorFlag)
            Refusal = QString::fromLatin1(answer.ErrorText()).trimmed();
        return answer.ErrorFlag ? TProductOutcome::Refused : TProductOutcome::Confirmed;
    }
    if (!Engine->LinkOpen())
        return TProductOutcome::Unknown;
    const TProductOutcome seen = check();
    ReadBackConfirmed = seen == TProductOutcome::Confirmed;
    return seen;
}

bool TProductOps::JournalIntent(std::optional<TJournalScope> &journal, int reg, const TMenuNode *node,
                                const QByteArray &before, const QByteArray &asked, const char *what)
{
    if (!Engine->Changes)
        return true;
    TChangeEvent event;
    event.Kind = "product";
    event.Path = node ? MenuPathOf(*node) : QByteArray();
    event.Command = CmdExecute;
    event.Register = reg;
    event.Before = before;
    event.Asked = asked;
    journal.emplace(Engine, event);
    if (journal->Allowed())
        return true;
    LastOutcome = TProductOutcome::NotSent;
    Report(QStringLiteral("The change journal could not be written (%1): the product %2 was not %3.")
               .arg(journal->Error(), Quoted(asked), QLatin1String(what)));
    return false;
}

TChangeResult TProductOps::JournalResult(const std::optional<QByteArray> &readBack) const
{
    TChangeResult result;
    result.ReadBack = readBack.value_or(QByteArray());
    switch (LastOutcome) {
    case TProductOutcome::Confirmed:
        result.Outcome = TChangeOutcome::Confirmed;
        if (ReadBackConfirmed)
            result.Note = QStringLiteral("no reply; the products read back show it done");
        break;
    case TProductOutcome::Refused:
        result.Outcome = TChangeOutcome::Refused;
        result.Text = Refusal;
        break;
    case TProductOutcome::NotDone:
        result.Text = QStringLiteral("no reply, and the products read back show it not done");
        break;
    default:
        result.Text = QStringLiteral("no reply, and the products could not be read back");
        break;
    }
    return result;
}

bool TProductOps::SelectChecked(TMenuNode *product, const char *what)
{
    const QByteArray name = product->Data->Name;
    TRegisterKeeper keep(*Device);
    Device->SetRegister(ProductMenu);
    Device->SetMenu(product->Data->MenuKey);
    Device->ReadMenuList();
    const bool listed = !Device->ReplyFailed();
    const std::optional<QByteArray> current = listed ? ReadProductName(Engine) : std::nullopt;
    if (current && *current == name)
        return true;
    LastOutcome = TProductOutcome::NotSent;
    const bool renaming = qstrcmp(what, "renamed") == 0;
    Report(current
               ? (renaming ? LangText("Messages", "ProductChangedRename",
                                      "The instrument's products changed since they were read: product %1 is "
                                      "now %2. Nothing was renamed; the products are read again.")
                           : LangText("Messages", "ProductChangedDelete",
                                      "The instrument's products changed since they were read: product %1 is "
                                      "now %2. Nothing was deleted; the products are read again."))
                     .arg(ProductIndex(product) + 1)
                     .arg(Quoted(*current))
               : (renaming
                      ? LangText("Messages", "ProductUnknownRename",
                                 "The instrument did not show which product is %1: nothing was renamed.")
                      : LangText("Messages", "ProductUnknownDelete",
                                 "The instrument did not show which product is %1: nothing was deleted."))
                     .arg(Quoted(name)));
    return false;
}

TMenuNode *TProductOps::Reload(TMenuNode *node, int selectIndex)
{
    TMenuNode *menu = ProductIndex(node) >= 0 ? node->Parent : node;
    if (!menu || !menu->Data || menu->Data->RegisterNumber() != ProductMenu)
        return Tree->AfterEdit(node);
    // The product list changed: the product menu is read again (the active product kept).
    Device->SetRegister(ProductMenu);
    if (!Tree->ReloadChildren(menu, true))
        return nullptr;
    if (selectIndex >= 0 && menu->HasPlaceholder())
        Tree->Expanding(menu);
    for (auto &child : menu->Children)
        if (selectIndex >= 0 && ProductIndex(child.get()) == selectIndex)
            return child.get();
    return menu;
}

TMenuNode *TProductOps::AddProduct(TMenuNode *node, const QByteArray &name)
{
    LastMessage.clear();
    Device->ExtendSession();
    int added = -1;
    {
        TProductKeeper keepProduct(*Device);
        const std::optional<QList<QByteArray>> before = ReadProductNames();
        if (!before) {
            LastOutcome = TProductOutcome::NotSent;
            Report(LangText("Messages", "ProductUnreadAdd",
                            "The instrument's products could not be read: the product %1 was not added.")
                       .arg(Quoted(name)));
            return Reload(node, -1);
        }
        // The add is one line of the instrument's journal: the products before and after.
        std::optional<TJournalScope> journal;
        if (!JournalIntent(journal, 0xB001, node, NamesText(*before), name, "added"))
            return Reload(node, -1);
        // The instrument makes the new product the active one: that stays so. It is read before
        // any product is named again.
        std::optional<QByteArray> choice;
        std::optional<QList<QByteArray>> now;
        bool checked = false;
        LastOutcome = Run(0xB001, name, [&] {
            checked = true;
            choice = ReadActive();
            now = ReadProductNames();
            if (!now)
                return TProductOutcome::Unknown;
            if (*now == *before + QList<QByteArray>{name})
                return TProductOutcome::Confirmed;
            return *now == *before ? TProductOutcome::NotDone : TProductOutcome::Unknown;
        });
        if (LastOutcome == TProductOutcome::Confirmed) {
            added = static_cast<int>(before->size());
            if (!checked)
                choice = ReadActive();
            if (choice)
                Device->SetKeptProduct(*choice);
        }
        if (journal) {
            if (!checked && Engine->LinkOpen())
                now = ReadProductNames();
            journal->Finish(JournalResult(now ? std::optional(NamesText(*now)) : std::nullopt));
        }
    }
    switch (LastOutcome) {
    case TProductOutcome::NotDone:
        Report(LangText(
                   "Messages", "ProductNotAdded",
                   "The instrument did not answer, and it does not hold the product %1: the product was not "
                   "added.")
                   .arg(Quoted(name)));
        break;
    case TProductOutcome::Unknown:
        Report(LangText(
                   "Messages", "ProductAddUnconfirmed",
                   "The instrument did not confirm adding the product %1, and its products could not be read "
                   "back: look at the instrument before adding it again.")
                   .arg(Quoted(name)));
        break;
    default:
        break;
    }
    return Reload(node, added);
}

TMenuNode *TProductOps::RenameProduct(TMenuNode *product, const QByteArray &name)
{
    LastMessage.clear();
    const int index = ProductIndex(product);
    if (index < 0) {
        LastOutcome = TProductOutcome::NotSent;
        Report(
            LangText("Messages", "ProductPickRename", "Select the product to rename: nothing was renamed."));
        return product;
    }
    const QByteArray old = product->Data->Name;
    Device->ExtendSession();
    {
        TProductKeeper keepProduct(*Device);
        if (!SelectChecked(product, "renamed"))
            return Reload(product, -1);
        // The rename is one line of the instrument's journal: the name before and after.
        std::optional<TJournalScope> journal;
        if (!JournalIntent(journal, 0xB012, product, old, name, "renamed"))
            return Reload(product, -1);
        std::optional<QByteArray> now;
        bool checked = false;
        LastOutcome = Run(0xB012, name, [&] {
            checked = true;
            now = ReadProductName(Engine);
            if (!now)
                return TProductOutcome::Unknown;
            if (*now == name)
                return TProductOutcome::Confirmed;
            return *now == old ? TProductOutcome::NotDone : TProductOutcome::Unknown;
        });
        if (journal) {
            if (!checked && Engine->LinkOpen())
                now = ReadProductName(Engine);
            journal->Finish(JournalResult(now));
        }
    }
    switch (LastOutcome) {
    case TProductOutcome::NotDone:
        Report(
            LangText(
                "Messages", "ProductNotRenamed",
                "The instrument did not answer, and the product %1 still has its name: it was not renamed.")
                .arg(Quoted(old)));
        break;
    case TProductOutcome::Unknown:
        Report(LangText(
                   "Messages", "ProductRenameUnconfirmed",
                   "The instrument did not confirm renaming the product %1 to %2, and the name could not be "
                   "read back: look at the instrument before renaming it again.")
                   .arg(Quoted(old), Quoted(name)));
        break;
    default:
        break;
    }
    return Reload(product, index);
}

TMenuNode *TProductOps::DeleteProduct(TMenuNode *product, TReporter *reporter)
{
    if (ProductIndex(product) < 0 || !reporter || !reporter->Ask(DeleteQuestion(product->Data->Name)))
        return product;
    return DeleteConfirmed(product);
}

TMenuNode *TProductOps::DeleteConfirmed(TMenuNode *product)
{
    LastMessage.clear();
    const int index = ProductIndex(product);
    if (index < 0) {
        LastOutcome = TProductOutcome::NotSent;
        Report(
            LangText("Messages", "ProductPickDelete", "Select the product to delete: nothing was deleted."));
        return product;
    }
    const QByteArray name = product->Data->Name;
    Device->ExtendSession();
    {
        TProductKeeper keepProduct(*Device);
        const std::optional<QList<QByteArray>> before = ReadProductNames();
        const QByteArray active = Device->KeptProduct();
        if (!before) {
            LastOutcome = TProductOutcome::NotSent;
            Report(LangText("Messages", "ProductUnreadDelete",
                            "The instrument's products could not be read: the product %1 was not deleted.")
                       .arg(Quoted(name)));
            return Reload(product, -1);
        }
        // The instrument deletes the product whose menu was listed last.
        if (!SelectChecked(product, "deleted"))
            return Reload(product, -1);
        // The delete, with the clearing of the totals before it, is one line of the instrument's
        // journal: the products before and after.
        std::optional<TJournalScope> journal;
        if (!JournalIntent(journal, 0xB011, product, NamesText(*before), name, "deleted"))
            return Reload(product, -1);
        // Clearing the totals: cleared totals cleared again stay cleared, so a lost reply may be
        // followed by one more send; a refusal stops the delete.
        QByteArray reply;
        for (int send = 0; send < 2 && reply.isEmpty() && Engine->LinkOpen(); ++send)
            reply = Engine->TransactTextOnce("2010B002:");
        Tcommsobj cleared;
        if (reply.isEmpty() || !cleared.Decode(reply) || cleared.ErrorFlag) {
            LastOutcome = reply.isEmpty() ? TProductOutcome::NotDone : TProductOutcome::Refused;
            if (journal) {
                TChangeResult result;
                result.Outcome = reply.isEmpty() ? TChangeOutcome::NotConfirmed : TChangeOutcome::Refused;
                result.Text = reply.isEmpty() ? QStringLiteral("no reply to the clearing of the totals")
                                              : QString::fromLatin1(cleared.ErrorText()).trimmed();
                result.Note = QStringLiteral("the product was not deleted");
                journal->Finish(result);
            }
            if (reply.isEmpty())
                Report(LangText(
                           "Messages", "ProductTotalsUnanswered",
                           "The instrument did not answer the clearing of the totals: the product %1 was not "
                           "deleted.")
                           .arg(Quoted(name)));
            return Reload(product, -1);
        }
        QList<QByteArray> without = *before;
        if (index < without.size())
            without.removeAt(index);
        std::optional<QByteArray> choice;
        std::optional<QList<QByteArray>> now;
        bool checked = false;
        LastOutcome = Run(0xB011, {}, [&] {
            checked = true;
            choice = ReadActive();
            now = ReadProductNames();
            if (!now)
                return TProductOutcome::Unknown;
            if (*now == without)
                return TProductOutcome::Confirmed;
            return *now == *before ? TProductOutcome::NotDone : TProductOutcome::Unknown;
        });
        if (LastOutcome == TProductOutcome::Confirmed) {
            // The product that was active stays active; its place moves up when one before it went.
            // When the active product itself went, the instrument's choice stays.
            const int was = static_cast<int>(HexToInt(active));
            if (!checked)
                choice = ReadActive();
            if (!active.isEmpty() && was > index + 1)
                Device->SetKeptProduct(HexText(static_cast<uint32_t>(was - 1), 4));
            else if (!active.isEmpty() && was < index + 1)
                Device->SetKeptProduct(active);
            else if (choice)
                Device->SetKeptProduct(*choice);
        }
        if (journal) {
            if (!checked && Engine->LinkOpen())
                now = ReadProductNames();
            TChangeResult result = JournalResult(now ? std::optional(NamesText(*now)) : std::nullopt);
            result.Note = result.Note.isEmpty() ? QStringLiteral("totals cleared")
                                                : QStringLiteral("totals cleared; ") + result.Note;
            journal->Finish(result);
        }
    }
    switch (LastOutcome) {
    case TProductOutcome::NotDone:
        Report(
            LangText("Messages", "ProductNotDeleted",
                     "The instrument did not answer, and it still holds the product %1: it was not deleted.")
                .arg(Quoted(name)));
        break;
    case TProductOutcome::Unknown:
        Report(
            LangText(
                "Messages", "ProductDeleteUnconfirmed",
                "The instrument did not confirm deleting the product %1, and its products could not be read "
                "back: look at the instrument before deleting it again.")
                .arg(Quoted(name)));
        break;
    default:
        break;
    }
    return Reload(product, -1);
}

std::optional<QByteArray> ReadInstrumentClock(TTransactionEngine *engine)
{
    if (!engine->Transact(CmdRead, 0x0150, {}, true, false))
        return std::nullopt;
    return engine->LastReply.Data;
}

QString TClockSetResult::Text() const
{
    static const char *const keys[] = {"ClockYear", "ClockMonth", "ClockDay", "ClockHour", "ClockMinute"};
    static const char *const names[] = {"year", "month", "day", "hour", "minute"};
    auto name = [](int i) { return LangText("Messages", keys[i], QString::fromLatin1(names[i])); };
    // "the day, hour and minute"
    auto list = [&name](int from, int to) {
        QStringList parts;
        for (int i = from; i < to; ++i)
            parts << name(i);
        const QString last = parts.takeLast();
        return LangText("Messages", "ClockThe", "the %1")
            .arg(parts.isEmpty() ? last
                                 : LangText("Messages", "ClockAnd", "%1 and %2").arg(parts.join(", "), last));
    };
    if (!JournalError.isEmpty())
        return QStringLiteral("The change journal could not be written (%1): the instrument's clock was not "
                              "changed.")
            .arg(JournalError);
    if (Complete())
        return LangText("Messages", "ClockDone", "The instrument confirmed the new date and time.");
    if (Confirmed == 0 && !Unanswered)
        return Refused ? LangText("Messages", "ClockYearRefused",
                                  "The instrument's clock was not changed: it refused the year.")
                       : LangText("Messages", "ClockUnchanged", "The instrument's clock was not changed.");
    QStringList parts;
    parts << (Confirmed > 0
                  ? LangText("Messages", "ClockConfirmed", "it confirmed %1").arg(list(0, Confirmed))
                  : LangText("Messages", "ClockNoneConfirmed", "it confirmed none of it"));
    int next = Confirmed;
    if (Unanswered || Refused) {
        parts << (Unanswered
                      ? LangText("Messages", "ClockPartUnconfirmed", "the %1 was sent but not confirmed")
                      : LangText("Messages", "ClockPartRefused", "the %1 was refused"))
                     .arg(name(next));
        ++next;
    }
    if (next < 5)
        parts << (next == 4 ? LangText("Messages", "ClockNotSentOne", "%1 was not sent")
                            : LangText("Messages", "ClockNotSent", "%1 were not sent"))
                     .arg(list(next, 5));
    return LangText("Messages", "ClockPart", "The instrument's clock was set only in part: %1.")
        .arg(parts.join("; "));
}

namespace
{

// The instrument's clock text ("dd/MM/yyyy HH:mm:ss") shows the date and minute asked for.
bool ClockShows(const QByteArray &text, const QDateTime &when)
{
    const QDateTime shown = QDateTime::fromString(QString::fromLatin1(text.left(16)), "dd/MM/yyyy HH:mm");
    return shown.isValid() && shown.date() == when.date() && shown.time().hour() == when.time().hour() &&
           shown.time().minute() == when.time().minute();
}

} // namespace

bool SetInstrumentClock(TTransactionEngine *engine, TSession *session, const QDateTime &when,
                        TClockSetResult *result)
{
    session->RequestAccess(0);
    const QDate date = when.date();
    const QTime time = when.time();
    const std::pair<int, int> parts[] = {{0x0154, date.year()},
                                         {0x0153, date.month()},
                                         {0x0152, date.day()},
                                         {0x0155, time.hour()},
                                         {0x0156, time.minute()}};
    TClockSetResult r;
    // The five writes are one line of the instrument's journal: the clock before, the date and time
    // asked for and the clock read back after them.
    std::optional<TJournalScope> journal;
    if (engine->Changes && engine->LinkOpen()) {
        TChangeEvent event;
        event.Kind = "clock";
        event.Command = CmdWrite;
        event.Register = 0x0150;
        event.Before = ReadInstrumentClock(engine).value_or(QByteArray());
        event.Asked = when.toString(QStringLiteral("yyyy-MM-dd HH:mm")).toLatin1();
        journal.emplace(engine, event);
        if (!journal->Allowed()) {
            r.JournalError = journal->Error();
            if (result)
                *result = r;
            return false;
        }
    }
    QString refusal;
    for (const auto &[reg, value] : parts) {
        if (!engine->LinkOpen())
            break; // nothing more is sent
        if (!engine->Transact(CmdWrite, reg, Hex(value), true, true)) {
            const bool refused =
                engine->LinkOpen() && !engine->LastWaitTimedOut() && engine->LastReply.ErrorFlag;
            r.Refused = refused;
            r.Unanswered = !refused;
            if (refused)
                refusal = QString::fromLatin1(engine->LastReply.ErrorText()).trimmed();
            break;
        }
        ++r.Confirmed;
    }
    // The last write unanswered: the clock read back says whether it took effect.
    const bool lastUnanswered = r.Unanswered && r.Confirmed == 4;
    std::optional<QByteArray> readBack;
    if ((journal || lastUnanswered) && engine->LinkOpen())
        readBack = ReadInstrumentClock(engine);
    const bool readBackShows = readBack && ClockShows(*readBack, when);
    if (lastUnanswered && readBackShows) {
        r.Confirmed = 5;
        r.Unanswered = false;
    }
    if (journal) {
        TChangeResult recorded;
        recorded.ReadBack = readBack.value_or(QByteArray());
        if (r.Complete()) {
            recorded.Outcome = TChangeOutcome::Confirmed;
            if (lastUnanswered)
                recorded.Note = QStringLiteral("no reply to the minute; the clock read back shows it");
        } else if (r.Refused) {
            recorded.Outcome = TChangeOutcome::Refused;
            recorded.Text = refusal;
            recorded.Note = r.Text();
        } else {
            recorded.Text = r.Text();
        }
        journal->Finish(recorded);
    }
    session->LockInstrument();
    if (result)
        *result = r;
    return r.Complete();
}
