// One simulated instrument in this process and the program's side of the link to it (engine,
// catalogue, tree, session), shared by the settings tests against vornsim.
#pragma once

#include "fake_link.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "settings/device.h"
#include "settings/session.h"
#include "settings/settingstree.h"
#include "vornsim.h"

#include <QList>
#include <memory>

// One simulated instrument and the program's side of the link to it.
struct TSimBench {
    TVornSimConfig Config;
    std::unique_ptr<TVornSim> Sim;
    TTransactionEngine Engine;
    TDevice Device;
    TSettingsTreeModel Tree{&Device};
    TSession Session{&Engine, &Device, &Tree};
    TRecordingReporter Reporter;
    QList<QByteArray> Sent; // message texts, in order
    QList<QByteArray> Typed;

    bool Start()
    {
        Config.TcpPort = 0;
        Sim = std::make_unique<TVornSim>(Config);
        if (!Sim->Start())
            return false;
        auto socket = std::make_unique<TIOIfaceSocket>();
        socket->SetHostText(QStringLiteral("127.0.0.1"));
        socket->SetPort(Sim->Port());
        Engine.SetLink(std::move(socket));
        Engine.Reporter = &Reporter;
        Engine.OnFrameSent = [this](const QByteArray &frame) { Sent << FrameText(frame); };
        Device.OnExchange = [this](const QByteArray &r) { return Engine.TransactText(r); };
        Session.Reporter = &Reporter;
        Session.OnPasscode = [this](int, const QString &) -> std::optional<QByteArray> {
            if (Typed.isEmpty())
                return std::nullopt;
            return Typed.takeFirst();
        };
        Engine.Link()->Open();
        return PumpUntil([this] { return Engine.LinkOpen(); });
    }
    // A 2 ms tick and a short time-out: a lost reply costs milliseconds.
    void FastTicks(int timeoutTicks = 20)
    {
        Engine.SetTickInterval(2);
        Engine.TimeoutTicks = timeoutTicks;
    }
    TSimModel &Model() { return Sim->Instrument().Model(); }
    // A write through the engine, quiet; true when accepted.
    bool Write(int reg, const QByteArray &data) { return Engine.Transact(CmdWrite, reg, data, true, false); }
    int CountSent(const QByteArray &prefix) const
    {
        int n = 0;
        for (const QByteArray &s : Sent)
            n += s.startsWith(prefix) ? 1 : 0;
        return n;
    }
    TMenuNode *Find(TMenuNode *node, const QByteArray &reg)
    {
        if (node->Data && node->Data->Register == reg)
            return node;
        for (auto &child : node->Children)
            if (TMenuNode *found = Find(child.get(), reg))
                return found;
        return nullptr;
    }
    TMenuNode *Find(const QByteArray &reg) { return Find(Tree.Root(), reg); }
};
