// The display register: the instrument lights the segments of its glass through the shared
// segment tables, so the mimic decodes exactly what the simulator draws.
#include "instrument.h"

#include "display/VornTables.h"
#include "values/tools.h"

QByteArray TVornInstrument::DisplayValue()
{
    const int64_t now = NowMs();
    TLcdStates states{};
    const int32_t shown = WeightData.Shown(now);
    QByteArray weight = SignedToDecimalText(shown, ModelData.WeightDecimals());
    // Six characters: beyond them the instrument shows overload.
    if (weight.size() - weight.count('.') > 6)
        weight = shown < 0 ? "-OL" : "OL";
    VornShowText(states, VornLarge, weight);
    VornShowText(states, VornMedium, Products[CurrentProduct].Name.toUpper().left(9));
    const QByteArray units = ModelData.UnitsText();
    const char *unitSymbol = units == "lb"  ? VornSymLb
                             : units == "t" ? VornSymTonne
                             : units == "g" ? VornSymGram
                                            : VornSymKg;
    VornSetSymbol(states, unitSymbol, true);
    const uint32_t status = WeightData.StatusA(now);
    VornSetSymbol(states, VornSymZero, status & WeightCentreZeroBit);
    VornSetSymbol(states, WeightData.NetMode ? VornSymNet : VornSymGross, true);
    VornSetSymbol(states, VornSymMotion, status & WeightMotionBit);
    return EncodeDisplayValue(states);
}
