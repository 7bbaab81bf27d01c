// CRC unit: the frame CRC of the instrument protocol (CRC-16/CCITT-FALSE) and the CRC-16 step
// that the record store uses for its check values (by tables, or carry-less multiplication).
#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

// CRC-16/CCITT-FALSE of a message text: poly 0x1021, init 0xFFFF, no reflection, no final XOR.
uint16_t FrameCrc(const QByteArray &text);
// FrameCrc as exactly 4 upper-case hexadecimal digits.
QByteArray FrameCrcHex(const QByteArray &text);
// True when the last 4 characters equal FrameCrcHex of everything before them (case-sensitive).
bool CheckFrameCrc(const QByteArray &text);
// One step of the reflected CRC-16 (poly 0x8005, as CRC-16/ARC) over a block; the caller picks the start
// value.
uint16_t CrcUpdate(uint16_t crc, const void *bytes, std::size_t length);
