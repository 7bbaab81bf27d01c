// CRC unit: frame CRC (bitwise, it is only ever run over short texts) and the fast store CRC.
#include "CRC.h"

#include <array>
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define BRELLIN_FOLDED_CRC 1
#endif

namespace
{

// The store CRC sixteen bytes at a time ("slicing by 16"): Arc[k][i] is the CRC of byte i followed
// by k zero bytes, so sixteen table lookups replace sixteen dependent steps. The record store runs
// this over every line it loads.
constexpr std::size_t ArcSlice = 16;
using TArcTables = std::array<std::array<uint16_t, 256>, ArcSlice>;

constexpr TArcTables MakeArcTables()
{
    TArcTables t{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
        t[0][i] = crc;
    }
    for (std::size_t k = 1; k < ArcSlice; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}

constexpr TArcTables Arc = MakeArcTables();

// Sixteen bytes in one step: the register meets the first two, and each byte adds the CRC of
// itself followed by the bytes after it in the block.
inline uint16_t Slice16(uint16_t crc, const uint8_t *p)
{
    // Summed pairwise, so the sixteen lookups do not wait on one another.
    auto pair = [p](int i) { return Arc[15 - i][p[i]] ^ Arc[14 - i][p[i + 1]]; };
    const unsigned first = Arc[15][(crc ^ p[0]) & 0xFF] ^ Arc[14][((crc >> 8) ^ p[1]) & 0xFF];
    return static_cast<uint16_t>(((first ^ pair(2)) ^ (pair(4) ^ pair(6))) ^
                                 ((pair(8) ^ pair(10)) ^ (pair(12) ^ pair(14))));
}

#ifdef BRELLIN_FOLDED_CRC
// Longer blocks by carry-less multiplication. Sixteen bytes, loaded as a 128-bit number, hold the
// polynomial whose x^127 coefficient is the first bit sent (bit 0 of byte 0). Moving that block
// 128 bits on is multiplying by x^128 mod P: its first eight bytes by x^192, its last eight by
// x^128. The products come out one degree high, so the constants are x^191 and x^127 mod P,
// coefficient of x^d at bit 63 - d. Fold by fold the message shrinks to one block with the same
// remainder, whose CRC the tables then give.
constexpr uint64_t FoldConstant(int power)
{
    uint32_t r = 1;
    for (int i = 0; i < power; ++i) {
        r <<= 1;
        if (r & 0x10000u)
            r ^= 0x18005u; // x^16 + x^15 + x^2 + 1
    }
    uint64_t c = 0;
    for (int d = 0; d < 16; ++d)
        if (r >> d & 1)
            c |= uint64_t(1) << (63 - d);
    return c;
}

bool FoldingAvailable()
{
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
    }();
    return available;
}

// A block of at least sixteen bytes whose length is not one more than a multiple of sixteen.
__attribute__((target("pclmul,ssse3"))) uint16_t FoldedCrc(uint16_t crc, const uint8_t *p, std::size_t length)
{
    // The first block is the message's first 16 - z bytes after z zeros, which do not change the
    // remainder; the register meets the message's first two bytes (z <= 14).
    const std::size_t z = (ArcSlice - length % ArcSlice) % ArcSlice;
    const __m128i shift = _mm_sub_epi8(_mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                                       _mm_set1_epi8(static_cast<char>(z)));
    __m128i a = _mm_xor_si128(_mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), shift),
                              _mm_shuffle_epi8(_mm_cvtsi32_si128(crc), shift));
    const __m128i k =
        _mm_set_epi64x(static_cast<long long>(FoldConstant(127)), static_cast<long long>(FoldConstant(191)));
    for (const uint8_t *q = p + ArcSlice - z, *end = p + length; q < end; q += ArcSlice)
        a = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i *>(q)));
    alignas(16) uint8_t block[ArcSlice];
    _mm_store_si128(reinterpret_cast<__m128i *>(block), a);
    return Slice16(0, block);
}
#endif

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
#ifdef BRELLIN_FOLDED_CRC
    if (length >= ArcSlice && FoldingAvailable()) {
        // The folding needs the register's two bytes in its first block.
        if (length % ArcSlice == 1) {
            crc = static_cast<uint16_t>((crc >> 8) ^ Arc[0][(crc ^ *p++) & 0xFF]);
            --length;
        }
        return FoldedCrc(crc, p, length);
    }
#endif
    for (; length >= ArcSlice; length -= ArcSlice, p += ArcSlice)
        crc = Slice16(crc, p);
    // The rest as one block of n >= 2 bytes: the register meets its first two bytes, and each byte
    // adds the CRC of itself followed by the bytes after it.
    if (length >= 2) {
        uint16_t next = Arc[length - 1][(crc ^ p[0]) & 0xFF] ^ Arc[length - 2][((crc >> 8) ^ p[1]) & 0xFF];
        for (std::size_t i = 2; i < length; ++i)
            next ^= Arc[length - 1 - i][p[i]];
        crc = next;
    } else if (length == 1) {
        crc = static_cast<uint16_t>((crc >> 8) ^ Arc[0][(crc ^ *p) & 0xFF]);
    }
    return crc;
}
