// Product functions and the clock.
#include "products.h"

#include "device.h"
#include "link/comms.h"
#include "link/reporter.h"
#include "link/transact.h"
#include "session.h"
#include "settingstree.h"

namespace
{

constexpr int ProductName = 0xB013;

QByteArray Hex(int value)
{
    return QByteArray::number(value, 16).toUpper();
}

} // namespace

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
    Engine->Transact(CmdExecute, 0xB001, name, true, true);
    return Tree->AfterEdit(productMenu);
}

TMenuNode *TProductOps::RenameProduct(TMenuNode *productMenu, const QByteArray &name)
{
    Engine->Transact(CmdExecute, 0xB012, name, true, true);
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
    if (Engine->Transact(CmdExecute, 0xB002, {}, true, true))
        Engine->Transact(CmdExecute, 0xB011, {}, true, true);
    return Tree->AfterEdit(productMenu);
}

std::optional<QByteArray> ReadInstrumentClock(TTransactionEngine *engine)
{
    if (!engine->Transact(CmdRead, 0x0150, {}, true, false))
        return std::nullopt;
    return engine->LastReply.Data;
}

bool SetInstrumentClock(TTransactionEngine *engine, TSession *session, const QDateTime &when)
{
    session->RequestAccess(0);
    const QDate date = when.date();
    const QTime time = when.time();
    const std::pair<int, int> parts[] = {{0x0154, date.year()},
                                         {0x0153, date.month()},
                                         {0x0152, date.day()},
                                         {0x0155, time.hour()},
                                         {0x0156, time.minute()}};
    bool ok = true;
    for (const auto &[reg, value] : parts) {
        if (!engine->Transact(CmdWrite, reg, Hex(value), true, true)) {
            ok = false;
            break;
        }
    }
    session->LockInstrument();
    return ok;
}
