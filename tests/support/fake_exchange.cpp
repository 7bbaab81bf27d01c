// Scripted exchange and register table for catalogue tests.
#include "fake_exchange.h"

#include "link/comms.h"
#include "values/tools.h"

namespace
{

QByteArray Reply(const QByteArray &request, bool error, const QByteArray &data)
{
    Tcommsobj msg;
    msg.Decode(request.left(9));
    msg.RequestFlag = false;
    msg.ErrorFlag = error;
    msg.Address = 0;
    msg.Data = data;
    return msg.Encode();
}

} // namespace

void TFakeExchange::AnswerOk(const QByteArray &request, const QByteArray &data)
{
    Answers[request] = Reply(request, false, data);
}

void TFakeExchange::AnswerError(const QByteArray &request, uint32_t status)
{
    Answers[request] = Reply(request, true, HexText(status, 4));
}

QByteArray TFakeExchange::Exchange(const QByteArray &request)
{
    Requests.append(request);
    const auto it = Answers.constFind(request);
    if (it != Answers.constEnd())
        return *it;
    return Fallback ? Fallback(request) : QByteArray();
}

int TFakeExchange::Count(const QByteArray &prefix) const
{
    int n = 0;
    for (const QByteArray &r : Requests)
        n += r.startsWith(prefix) ? 1 : 0;
    return n;
}

TFakeRegisters::TReg &TFakeRegisters::Add(int reg, int type, const QByteArray &name, const QByteArray &value,
                                          const QByteArray &literal)
{
    TReg &r = Regs[reg];
    r.Type = type;
    r.Name = name;
    r.Value = value;
    r.Literal = literal;
    return r;
}

TFakeRegisters::TReg &TFakeRegisters::AddMenu(int reg, const QByteArray &name, QList<QPair<int, int>> items)
{
    TReg &r = Add(reg, 8, name);
    r.Menu = std::move(items);
    return r;
}

QByteArray TFakeRegisters::Exchange(const QByteArray &request)
{
    Requests.append(request);
    Tcommsobj msg;
    if (!msg.Decode(request))
        return {};
    const int reg = msg.Register;
    if (msg.Command == CmdWrite && reg == 0x00EF) {
        Writes.append({reg, msg.Data});
        return Reply(request, false, {});
    }
    if (msg.Command == CmdExecute && reg == 0x00EE)
        return Reply(request, false, {});
    const auto it = Regs.find(reg);
    if (it == Regs.end() || it->Refused)
        return Reply(request, true, "1000");
    TReg &r = *it;
    switch (msg.Command) {
    case CmdReadType:
        return Reply(request, false, HexText(static_cast<uint32_t>(r.Type), 2));
    case CmdReadMinimum:
        return Reply(request, false, HexText(static_cast<uint32_t>(r.Minimum), 8));
    case CmdReadLimit:
        return Reply(request, false, HexText(static_cast<uint32_t>(r.Maximum), 8));
    case CmdReadFormatted:
        return Reply(request, false, r.Literal);
    case CmdReadOption: {
        const int i = static_cast<int>(HexToInt(msg.Data)) - r.Minimum;
        if (i < 0 || i >= r.Options.size())
            return Reply(request, true, "0400");
        return Reply(request, false, r.Options[i]);
    }
    case CmdReadPermission:
        return Reply(request, false, HexText(static_cast<uint32_t>(r.Permission), 2));
    case CmdRead:
        return Reply(request, false, r.Value);
    case CmdWrite:
        Writes.append({reg, msg.Data});
        r.Value = msg.Data;
        return Reply(request, false, {});
    case CmdExecute:
        Executes.append({reg, msg.Data});
        return Reply(request, false, r.Value);
    case CmdReadMenu: {
        QByteArray list;
        for (const auto &[item, key] : r.Menu)
            list += HexText(static_cast<uint32_t>(item), 4) + HexText(static_cast<uint32_t>(key), 4);
        return Reply(request, false, list);
    }
    case CmdReadItem:
        return Reply(request, false, HexText(static_cast<uint32_t>(r.Type), 2) + "00" + r.Name);
    default:
        return Reply(request, true, "2000");
    }
}

int TFakeRegisters::Count(const QByteArray &prefix) const
{
    int n = 0;
    for (const QByteArray &r : Requests)
        n += r.startsWith(prefix) ? 1 : 0;
    return n;
}
