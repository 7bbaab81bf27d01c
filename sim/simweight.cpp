// The simulated load: ramps, noise and the weighing functions of the front panel.
#include "simweight.h"

#include <cmath>

namespace
{

// A repeatable noise value in -1 .. 1 for a time slot of 40 ms.
double NoiseAt(int64_t nowMs, uint32_t seed)
{
    uint64_t z = static_cast<uint64_t>(nowMs / 40) * 0x9E3779B97F4A7C15ull + seed;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z % 20001) / 10000.0 - 1.0;
}

constexpr double PhysicalZero = 1000.0;             // 0.1 mV/V
constexpr double PhysicalGain = 20000.0 / 300000.0; // signal units per count

} // namespace

void TSimWeight::SetLoad(double counts, int64_t nowMs)
{
    PreviousLevel = Load(nowMs);
    Level = counts;
    ChangedAt = nowMs;
}

double TSimWeight::Load(int64_t nowMs) const
{
    double target = Level;
    double from = PreviousLevel;
    int64_t since = nowMs - ChangedAt;
    if (StepEveryMs > 0) {
        // Steps alternate between the level and the level plus the step size.
        const int64_t phase = nowMs / StepEveryMs;
        target = Level + (phase % 2 ? StepSize : 0);
        from = Level + (phase % 2 ? 0 : StepSize);
        since = nowMs - phase * StepEveryMs;
    }
    // A moment before the change (the logging stream's clock may run behind) sees it done.
    if (since >= 0 && since < MotionMs && MotionMs > 0)
        return from + (target - from) * static_cast<double>(since) / static_cast<double>(MotionMs);
    return target;
}

bool TSimWeight::InMotion(int64_t nowMs) const
{
    if (StepEveryMs > 0 && StepSize != 0 && nowMs % StepEveryMs < MotionMs)
        return true;
    return nowMs >= ChangedAt && nowMs - ChangedAt < MotionMs && Level != PreviousLevel;
}

double TSimWeight::Signal(int64_t nowMs) const
{
    const double noise = Noise > 0 ? Noise * NoiseAt(nowMs, Seed) : 0.0;
    return PhysicalZero + (Load(nowMs) + noise) * PhysicalGain;
}

int32_t TSimWeight::RawCounts(int64_t nowMs) const
{
    if (CalSpan == 0)
        return 0;
    const double counts = (Signal(nowMs) - CalZero) * CalRef / CalSpan;
    if (!std::isfinite(counts) || std::fabs(counts) > 2.0e9)
        return counts < 0 ? -2000000000 : 2000000000;
    return static_cast<int32_t>(std::lround(counts));
}

uint32_t TSimWeight::StatusA(int64_t nowMs) const
{
    uint32_t bits = 0;
    const int32_t gross = Gross(nowMs);
    if (gross == 0)
        bits |= WeightCentreZeroBit;
    if (Shown(nowMs) == 0)
        bits |= WeightZeroBit;
    if (InMotion(nowMs))
        bits |= WeightMotionBit;
    if (NetMode)
        bits |= WeightNetBit;
    return bits;
}

uint32_t TSimWeight::StatusB(int64_t nowMs) const
{
    return Io ^ ((nowMs / 1000) % 2 ? 1u : 0u);
}

bool TSimWeight::Zero(int64_t nowMs)
{
    if (InMotion(nowMs))
        return false;
    ZeroOffset += Gross(nowMs);
    return true;
}

bool TSimWeight::TareNow(int64_t nowMs)
{
    if (InMotion(nowMs))
        return false;
    Tare = Gross(nowMs);
    NetMode = true;
    return true;
}
