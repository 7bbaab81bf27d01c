// The demo instrument: the simulated instrument started inside the program on a free loopback
// port, and the TCP transport that reaches it.
#pragma once

#include "link/ui/comdialog.h"

#include <QString>
#include <memory>

class TVornSim;

class TDemoInstrument
{
public:
    TDemoInstrument();
    ~TDemoInstrument();
    // Starts listening on 127.0.0.1 only; false with the reason otherwise.
    bool Start(QString *error);
    int Port() const;
    // A new transport to the demo instrument (not yet open), for any unit address, plain cable.
    TConnectionChoice Choice() const;
    TVornSim *Sim() const { return Simulator.get(); }

private:
    std::unique_ptr<TVornSim> Simulator;
};
