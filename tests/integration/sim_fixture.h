// An in-process vornsim and the real transaction engine connected to it over loopback TCP or a
// pty, on a 2 ms tick, with a register catalogue using the engine as its exchange.
#pragma once

#include "fake_link.h"
#include "link/IOIface.h"
#include "link/transact.h"
#include "settings/device.h"
#include "vornsim.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class SimLinkTest : public ::testing::Test
{
protected:
    // Starts the simulator with Cfg and connects the engine: over TCP, or the pty when asked.
    void Connect(bool overPty = false)
    {
        Engine.reset();
        if (overPty) {
            Cfg.UsePty = true;
            Cfg.TcpPort = -1;
            Cfg.PtyLink = Dir.filePath(QStringLiteral("vorn"));
        } else {
            Cfg.TcpPort = 0;
        }
        Sim = std::make_unique<TVornSim>(Cfg);
        QString error;
        ASSERT_TRUE(Sim->Start(&error)) << error.toStdString();
        Engine = std::make_unique<TTransactionEngine>();
        Engine->Reporter = &Reporter;
        Engine->SetTickInterval(2);
        Engine->TimeoutTicks = 100; // 200 ms: a loaded machine does not fake a time-out
        Engine->OnConnectedChanged = [this](bool up) { Connected = up; };
        if (overPty) {
            auto serial = std::make_unique<TIOIfaceSerial>();
            serial->SetPortName(Sim->PtyPath());
            serial->SetBaud(9600);
            Serial = serial.get();
            Engine->SetLink(std::move(serial));
        } else {
            auto socket = std::make_unique<TIOIfaceSocket>();
            socket->SetHostText(QStringLiteral("127.0.0.1"));
            socket->SetPort(Sim->Port());
            Engine->SetLink(std::move(socket));
        }
        Engine->Link()->Open();
        ASSERT_TRUE(PumpUntil([this] { return Engine->LinkOpen(); }, 5000));
        Device.OnExchange = [this](const QByteArray &request) { return Engine->TransactText(request); };
    }
    TVornInstrument &Instrument() { return Sim->Instrument(); }
    bool Write(int reg, const QByteArray &data) { return Engine->Transact(CmdWrite, reg, data, true, true); }
    QByteArray Read(int reg)
    {
        return Engine->Transact(CmdRead, reg, {}, true, true) ? Engine->LastReply.Data
                                                              : QByteArray("<failed>");
    }
    void OpenFullSession()
    {
        ASSERT_TRUE(Write(0x0019, "162E"));
        ASSERT_TRUE(Write(0x00EF, "FF"));
    }
    void TearDown() override
    {
        Engine.reset();
        Sim.reset();
    }

    QTemporaryDir Dir;
    TVornSimConfig Cfg;
    std::unique_ptr<TVornSim> Sim;
    std::unique_ptr<TTransactionEngine> Engine;
    TIOIfaceSerial *Serial = nullptr;
    TDevice Device;
    TRecordingReporter Reporter;
    bool Connected = true;
};
