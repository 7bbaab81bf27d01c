// The data plate of the front-panel picture: the connected instrument's capacity and division
// ("Max 3000 kg   e = 0.01 kg"), read from its full-scale and division registers.
#pragma once

#include <QByteArray>

class TTransactionEngine;

// The full-scale weight: its display text carries the decimals and the units ("3000.00 kg").
inline constexpr int PlateFullScaleRegister = 0x002F;
// The division in displayed digits (1 .. 100); the instrument names the item "E".
inline constexpr int PlateDivisionRegister = 0x1104;
inline constexpr char PlateDivisionName[] = "E";

// The plate's text from the full scale's display text and the division's value (hexadecimal);
// empty when either is not a plain weight and a positive count.
QByteArray CapacityPlateText(const QByteArray &fullScaleText, const QByteArray &divisionHex);

// Reads both registers without reporting a refusal: an instrument that does not answer them, or
// names the division register otherwise, gets no plate (empty).
QByteArray ReadCapacityPlate(TTransactionEngine &engine);
