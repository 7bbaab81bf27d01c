// CRC unit: frame CRC (bitwise, it is only ever run over short texts) and the table-driven store CRC.
#include "CRC.h"

#include <array>

namespace
{

// The store CRC eight bytes at a time ("slicing by 8"): Arc[k][i] is the CRC of byte i followed
// by k zero bytes, so eight table lookups replace eight dependent steps. The record store runs
// this over every line it loads.
using TArcTables = std::array<std::array<uint16_t, 256>, 8>;

constexpr TArcTables MakeArcTables()
{
    TArcTables t{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
        t[0][i] = crc;
    }
    for (int k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}

constexpr TArcTables Arc = MakeArcTables();

// The frame CRC, byte at a time through a table built from the same bit loop.
constexpr std::array<uint16_t, 256> MakeCcittTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc =
                (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> CcittTable = MakeCcittTable();

} // namespace

uint16_t FrameCrc(const QByteArray &text)
{
    uint16_t crc = 0xFFFF;
    for (char ch : text) {
        const auto b = static_cast<uint8_t>(ch);
        crc = static_cast<uint16_t>((crc << 8) ^ CcittTable[((crc >> 8) ^ b) & 0xFF]);
    }
    return crc;
}

QByteArray FrameCrcHex(const QByteArray &text)
{
    static const char digits[] = "0123456789ABCDEF";
    const uint16_t crc = FrameCrc(text);
    QByteArray hex(4, '0');
    hex[0] = digits[(crc >> 12) & 0xF];
    hex[1] = digits[(crc >> 8) & 0xF];
    hex[2] = digits[(crc >> 4) & 0xF];
    hex[3] = digits[crc & 0xF];
    return hex;
}

bool CheckFrameCrc(const QByteArray &text)
{
    if (text.size() < 4)
        return false;
    const QByteArray body = text.left(text.size() - 4);
    return text.right(4) == FrameCrcHex(body);
}

uint16_t CrcUpdate(uint16_t crc, const void *bytes, std::size_t length)
{
    const auto *p = static_cast<const uint8_t *>(bytes);
    while (length >= 8) {
        const unsigned a = (crc ^ p[0]) & 0xFF;
        const unsigned b = ((crc >> 8) ^ p[1]) & 0xFF;
        crc = static_cast<uint16_t>(Arc[7][a] ^ Arc[6][b] ^ Arc[5][p[2]] ^ Arc[4][p[3]] ^ Arc[3][p[4]] ^
                                    Arc[2][p[5]] ^ Arc[1][p[6]] ^ Arc[0][p[7]]);
        p += 8;
        length -= 8;
    }
    while (length-- > 0)
        crc = static_cast<uint16_t>((crc >> 8) ^ Arc[0][(crc ^ *p++) & 0xFF]);
    return crc;
}
