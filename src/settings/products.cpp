// Product functions and the clock.
#include "products.h"

#include "device.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/tools.h"
#include "link/transact.h"
#include "session.h"
#include "settingstree.h"

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

enum class TEffect { Done, NotDone, Unknown };

// Runs a product function. It changes the instrument's state, so it is never sent again blindly:
// after a lost reply the state is read back, and the function goes out once more only when it did
// not take effect. True when it was accepted (or read back as done); refusals are reported by the
// engine, a reply that stays lost here.
bool ExecuteProduct(TTransactionEngine *engine, int reg, const QByteArray &arg,
                    const std::function<TEffect()> &check)
{
    const QByteArray request = "2010" + HexText(static_cast<uint32_t>(reg), 4) + ':' + arg;
    for (int send = 0; send < 2; ++send) {
        const QByteArray reply = engine->TransactTextOnce(request);
        if (!reply.isEmpty()) {
            Tcommsobj answer;
            answer.Decode(reply);
            return !answer.ErrorFlag;
        }
        if (!engine->LinkOpen())
            break;
        const TEffect effect = check();
        if (effect == TEffect::Done)
            return true;
        if (effect == TEffect::Unknown) {
            if (engine->Reporter)
                engine->Reporter->Error(QStringLiteral(
                    "The instrument did not answer: whether the product function took effect is "
                    "not known"));
            return false;
        }
    }
    if (engine->Reporter)
        engine->Reporter->Error(QStringLiteral("Instrument not responding"));
    return false;
}

// A change of the product count by `change` from `before`.
TEffect CountChanged(TTransactionEngine *engine, std::optional<int> before, int change)
{
    const std::optional<int> now = ReadProductCount(engine);
    if (!before || !now)
        return TEffect::Unknown;
    if (*now == *before + change)
        return TEffect::Done;
    return *now == *before ? TEffect::NotDone : TEffect::Unknown;
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

TProductOps::TProductOps(TTransactionEngine *engine, TDevice *device, TSettingsTreeModel *tree)
    : Engine(engine), Device(device), Tree(tree)
{
}

std::optional<int> TProductOps::BeginAdd()
{
    Device->ExtendSession();
    return ReadNameLimit();
}

std::pair<QByteArray, std::optional<int>> TProductOps::BeginRename()
{
    Device->ExtendSession();
    QByteArray name = ReadCurrentName();
    return {name, ReadNameLimit()};
}

std::optional<int> TProductOps::ReadNameLimit()
{
    if (!Engine->Transact(CmdReadLimit, ProductName, {}, true, true))
        return std::nullopt;
    return static_cast<int>(Engine->LastReply.Status);
}

QByteArray TProductOps::ReadCurrentName()
{
    if (!Engine->Transact(CmdRead, ProductName, {}, true, true))
        return {};
    return Engine->LastReply.Data;
}

TMenuNode *TProductOps::AddProduct(TMenuNode *productMenu, const QByteArray &name)
{
    Device->ExtendSession();
    const std::optional<int> before = ReadProductCount(Engine);
    ExecuteProduct(Engine, 0xB001, name, [&] { return CountChanged(Engine, before, 1); });
    return Tree->AfterEdit(productMenu);
}

TMenuNode *TProductOps::RenameProduct(TMenuNode *productMenu, const QByteArray &name)
{
    ExecuteProduct(Engine, 0xB012, name, [&] {
        const std::optional<QByteArray> now = ReadProductName(Engine);
        return !now ? TEffect::Unknown : *now == name ? TEffect::Done : TEffect::NotDone;
    });
    return Tree->AfterEdit(productMenu);
}

TMenuNode *TProductOps::DeleteProduct(TMenuNode *productMenu, TReporter *reporter)
{
    if (!reporter || !reporter->Ask(QStringLiteral("Deleting a product will clear all Totals.  Continue?")))
        return productMenu;
    return DeleteConfirmed(productMenu);
}

TMenuNode *TProductOps::DeleteConfirmed(TMenuNode *productMenu)
{
    Device->ExtendSession();
    if (productMenu && productMenu->Data) {
        // The instrument deletes the product whose menu was listed last.
        Device->SetRegisterText(productMenu->Data->Register);
        Device->SetMenu(productMenu->Data->MenuKey);
        Device->ReadMenuList();
    }
    // Clearing the totals twice leaves them cleared; deleting is read back.
    if (Engine->Transact(CmdExecute, 0xB002, {}, true, true)) {
        const std::optional<int> before = ReadProductCount(Engine);
        ExecuteProduct(Engine, 0xB011, {}, [&] { return CountChanged(Engine, before, -1); });
    }
    return Tree->AfterEdit(productMenu);
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
