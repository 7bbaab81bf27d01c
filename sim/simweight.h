// The simulated load cell and weighing state: a load with noise, steps and motion, the
// calibration that turns its signal into counts, zero, tare and gross/net, and the IO bits.
#pragma once

#include <cstdint>

// Status word A bits of the instrument.
enum : uint32_t {
    WeightNetBit = 0x0200,
    WeightZeroBit = 0x0400,
    WeightCentreZeroBit = 0x0800,
    WeightMotionBit = 0x1000,
};

class TSimWeight
{
public:
    // Load on the cell in counts of the last displayed digit.
    void SetLoad(double counts, int64_t nowMs);
    double Load(int64_t nowMs) const;
    bool InMotion(int64_t nowMs) const;

    double Noise = 0;        // peak noise in counts
    int64_t MotionMs = 400;  // a load change ramps over this time, with the motion bit set
    int64_t StepEveryMs = 0; // when > 0 the load steps between Level and Level + StepSize
    double StepSize = 0;
    uint32_t Seed = 1;

    // Signal in 0.0001 mV/V units: 0.1 mV/V at no load, 2 mV/V at 300000 counts.
    double Signal(int64_t nowMs) const;
    // Counts the calibration makes of the signal, before zero and tare.
    int32_t RawCounts(int64_t nowMs) const;
    int32_t Gross(int64_t nowMs) const { return RawCounts(nowMs) - ZeroOffset; }
    int32_t Net(int64_t nowMs) const { return Gross(nowMs) - Tare; }
    int32_t Shown(int64_t nowMs) const { return NetMode ? Net(nowMs) : Gross(nowMs); }
    uint32_t StatusA(int64_t nowMs) const;
    // Digital IO: the configured bits, IO1 toggling once a second.
    uint32_t StatusB(int64_t nowMs) const;

    // Front-panel functions; false when the instrument declines (motion).
    bool Zero(int64_t nowMs);
    bool TareNow(int64_t nowMs);
    void ClearTare() { Tare = 0, NetMode = false; }
    void ToggleGrossNet() { NetMode = !NetMode; }

    // Calibration in force (signal units of 0.0001 mV/V; weights in counts).
    int32_t CalZero = 1000;
    int32_t CalRef = 300000;
    int32_t CalSpan = 20000;

    int32_t ZeroOffset = 0;
    int32_t Tare = 0;
    bool NetMode = false;
    uint32_t Io = 0x00000004;

private:
    double Level = 1250;
    double PreviousLevel = 1250;
    int64_t ChangedAt = -1000000;
};
