// The demo instrument (see demo.h).
#include "shell/ui/demo.h"

#include "link/IOIface.h"
#include "vornsim.h"

TDemoInstrument::TDemoInstrument() = default;
TDemoInstrument::~TDemoInstrument() = default;

bool TDemoInstrument::Start(QString *error)
{
    TVornSimConfig config;
    config.TcpHost = "127.0.0.1";
    config.TcpPort = 0;
    // A little life on the scale: noise, and a load that comes and goes.
    config.WeightNoise = 2;
    config.WeightStepEveryMs = 6000;
    config.WeightStepSize = 250;
    Simulator = std::make_unique<TVornSim>(config);
    if (!Simulator->Start(error)) {
        Simulator.reset();
        return false;
    }
    return true;
}

int TDemoInstrument::Port() const
{
    return Simulator ? Simulator->Port() : 0;
}

TConnectionChoice TDemoInstrument::Choice() const
{
    auto socket = std::make_unique<TIOIfaceSocket>();
    socket->SetHostText("127.0.0.1");
    socket->SetPort(Port());
    return TConnectionChoice{std::move(socket), 0, 0, true};
}
