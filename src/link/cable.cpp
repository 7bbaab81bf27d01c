// The line settings each serial cable imposes (shared by the connection dialog and brellin-cli).
#include "cable.h"

bool CableFixesLine(int cable)
{
    return cable == 1 || cable == 2;
}

TSerialLineSettings ImposeCableSettings(int cable, TSerialLineSettings chosen)
{
    if (!CableFixesLine(cable))
        return chosen;
    // The optical head reaches one instrument at a time: 9600 8N1 to any address. The fast link
    // starts there too and switches both ends to 57600 once connected.
    return TSerialLineSettings{};
}

QList<int> CableBaudRates(int cable)
{
    if (cable == 1)
        return {9600};
    if (cable == 2)
        return {9600, 57600};
    return {9600, 57600, 19200, 4800, 2400, 1200};
}

QList<int> CableSearchAddresses(int cable)
{
    if (CableFixesLine(cable))
        return {0};
    return {0, 1};
}
