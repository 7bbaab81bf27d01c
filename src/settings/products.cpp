// Product functions and the clock.
#include "products.h"

#include "device.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "session.h"
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
    return QStringLiteral("Delete the product %1?\nDeleting a product will clear all Totals.  Continue?")
        .arg(Quoted(name));
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
    if (!reply.isEmpty()) {
        Tcommsobj answer;
        answer.Decode(reply);
        return answer.ErrorFlag ? TProductOutcome::Refused : TProductOutcome::Confirmed;
    }
    if (!Engine->LinkOpen())
        return TProductOutcome::Unknown;
    return check();
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
    Report(current ? QStringLiteral("The instrument's products changed since they were read: product %1 is "
                                    "now %2. Nothing was %3; the products are read again.")
                         .arg(ProductIndex(product) + 1)
                         .arg(Quoted(*current), QLatin1String(what))
                   : QStringLiteral("The instrument did not show which product is %1: nothing was %2.")
                         .arg(Quoted(name), QLatin1String(what)));
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
            Report(
                QStringLiteral("The instrument's products could not be read: the product %1 was not added.")
                    .arg(Quoted(name)));
            return Reload(node, -1);
        }
        // The instrument makes the new product the active one: that stays so. It is read before
        // any product is named again.
        std::optional<QByteArray> choice;
        bool checked = false;
        LastOutcome = Run(0xB001, name, [&] {
            checked = true;
            choice = ReadActive();
            const std::optional<QList<QByteArray>> now = ReadProductNames();
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
    }
    switch (LastOutcome) {
    case TProductOutcome::NotDone:
        Report(QStringLiteral("The instrument did not answer, and it does not hold the product %1: the "
                              "product was not added.")
                   .arg(Quoted(name)));
        break;
    case TProductOutcome::Unknown:
        Report(QStringLiteral("The instrument did not confirm adding the product %1, and its products could "
                              "not be read back: look at the instrument before adding it again.")
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
        Report(QStringLiteral("Select the product to rename: nothing was renamed."));
        return product;
    }
    const QByteArray old = product->Data->Name;
    Device->ExtendSession();
    {
        TProductKeeper keepProduct(*Device);
        if (!SelectChecked(product, "renamed"))
            return Reload(product, -1);
        LastOutcome = Run(0xB012, name, [&] {
            const std::optional<QByteArray> now = ReadProductName(Engine);
            if (!now)
                return TProductOutcome::Unknown;
            if (*now == name)
                return TProductOutcome::Confirmed;
            return *now == old ? TProductOutcome::NotDone : TProductOutcome::Unknown;
        });
    }
    switch (LastOutcome) {
    case TProductOutcome::NotDone:
        Report(QStringLiteral("The instrument did not answer, and the product %1 still has its name: it was "
                              "not renamed.")
                   .arg(Quoted(old)));
        break;
    case TProductOutcome::Unknown:
        Report(QStringLiteral("The instrument did not confirm renaming the product %1 to %2, and the name "
                              "could not be read back: look at the instrument before renaming it again.")
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
        Report(QStringLiteral("Select the product to delete: nothing was deleted."));
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
            Report(QStringLiteral("The instrument's products could not be read: the product %1 was not "
                                  "deleted.")
                       .arg(Quoted(name)));
            return Reload(product, -1);
        }
        // The instrument deletes the product whose menu was listed last.
        if (!SelectChecked(product, "deleted"))
            return Reload(product, -1);
        // Clearing the totals: cleared totals cleared again stay cleared, so a lost reply may be
        // followed by one more send; a refusal stops the delete.
        QByteArray reply;
        for (int send = 0; send < 2 && reply.isEmpty() && Engine->LinkOpen(); ++send)
            reply = Engine->TransactTextOnce("2010B002:");
        Tcommsobj cleared;
        if (reply.isEmpty() || !cleared.Decode(reply) || cleared.ErrorFlag) {
            LastOutcome = reply.isEmpty() ? TProductOutcome::NotDone : TProductOutcome::Refused;
            if (reply.isEmpty())
                Report(QStringLiteral("The instrument did not answer the clearing of the totals: the product "
                                      "%1 was not deleted.")
                           .arg(Quoted(name)));
            return Reload(product, -1);
        }
        QList<QByteArray> without = *before;
        if (index < without.size())
            without.removeAt(index);
        std::optional<QByteArray> choice;
        bool checked = false;
        LastOutcome = Run(0xB011, {}, [&] {
            checked = true;
            choice = ReadActive();
            const std::optional<QList<QByteArray>> now = ReadProductNames();
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
    }
    switch (LastOutcome) {
    case TProductOutcome::NotDone:
        Report(QStringLiteral("The instrument did not answer, and it still holds the product %1: it was not "
                              "deleted.")
                   .arg(Quoted(name)));
        break;
    case TProductOutcome::Unknown:
        Report(
            QStringLiteral("The instrument did not confirm deleting the product %1, and its products could "
                           "not be read back: look at the instrument before deleting it again.")
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
    static const char *const names[] = {"year", "month", "day", "hour", "minute"};
    auto list = [](int from, int to) {
        QStringList parts;
        for (int i = from; i < to; ++i)
            parts << QString::fromLatin1(names[i]);
        const QString last = parts.takeLast();
        return QStringLiteral("the ") + (parts.isEmpty() ? last : parts.join(", ") + " and " + last);
    };
    if (Complete())
        return QStringLiteral("The instrument confirmed the new date and time.");
    if (Confirmed == 0 && !Unanswered)
        return QStringLiteral("The instrument's clock was not changed%1.")
            .arg(Refused ? QStringLiteral(": it refused the year") : QString());
    QStringList parts;
    parts << (Confirmed > 0 ? QStringLiteral("it confirmed ") + list(0, Confirmed)
                            : QStringLiteral("it confirmed none of it"));
    int next = Confirmed;
    if (Unanswered || Refused) {
        parts << QStringLiteral("the %1 was %2")
                     .arg(QString::fromLatin1(names[next]),
                          Unanswered ? QStringLiteral("sent but not confirmed") : QStringLiteral("refused"));
        ++next;
    }
    if (next < 5)
        parts << list(next, 5) +
                     (next == 4 ? QStringLiteral(" was not sent") : QStringLiteral(" were not sent"));
    return QStringLiteral("The instrument's clock was set only in part: %1.").arg(parts.join("; "));
}

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
    for (const auto &[reg, value] : parts) {
        if (!engine->LinkOpen())
            break; // nothing more is sent
        if (!engine->Transact(CmdWrite, reg, Hex(value), true, true)) {
            const bool refused =
                engine->LinkOpen() && !engine->LastWaitTimedOut() && engine->LastReply.ErrorFlag;
            r.Refused = refused;
            r.Unanswered = !refused;
            break;
        }
        ++r.Confirmed;
    }
    session->LockInstrument();
    if (result)
        *result = r;
    return r.Complete();
}
