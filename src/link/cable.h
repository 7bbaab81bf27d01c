// What each serial cable imposes on the line: the optical links run 8N1 at 9600 baud (the fast one
// raises the speed itself after connecting) and talk to whichever instrument sits on the head.
#pragma once

#include <QList>

struct TSerialLineSettings {
    int Baud = 9600;
    int DataBits = 8;
    int StopBits = 1;
    int Parity = 0; // 0 none, 1 odd, 2 even
    int UnitAddress = 0;
};

// Whether the cable (0 RS232, 1 optical, 2 fast optical) fixes the line settings.
bool CableFixesLine(int cable);
// The settings to use on the cable: unchanged for RS232, the fixed ones for the optical links.
TSerialLineSettings ImposeCableSettings(int cable, TSerialLineSettings chosen);
// The bit rates at which an instrument may answer on the cable, most likely first: every rate of
// RS232; 9600 on the optical link; on the fast one also 57600, where a session that ended without
// switching back leaves the instrument.
QList<int> CableBaudRates(int cable);
// The unit addresses a search asks at: any (0) and the first (1); the optical links reach only
// the instrument on the head, with address 0.
QList<int> CableSearchAddresses(int cable);
