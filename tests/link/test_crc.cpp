// CRCs against the published check values and the framing examples of the protocol.
#include "link/CRC.h"

#include <gtest/gtest.h>

TEST(Crc, FrameCrcMatchesPublishedCheckValueAndExamples)
{
    EXPECT_EQ(FrameCrc("123456789"), 0x29B1);
    EXPECT_EQ(FrameCrc(""), 0xFFFF);
    EXPECT_EQ(FrameCrcHex(""), "FFFF");
    EXPECT_EQ(FrameCrcHex("20110009:"), "2ABD");
}

TEST(Crc, CheckFrameCrcIsExactAndCaseSensitive)
{
    EXPECT_TRUE(CheckFrameCrc("20110009:2ABD"));
    EXPECT_FALSE(CheckFrameCrc("20110009:2abd"));
    EXPECT_FALSE(CheckFrameCrc("20110009:2ABE"));
    EXPECT_FALSE(CheckFrameCrc("ABC"));
    EXPECT_TRUE(CheckFrameCrc("FFFF")); // empty text before its CRC
}

TEST(Crc, CrcUpdateIsCrc16Arc)
{
    // CRC-16/ARC: init 0, check value 0xBB3D; the step composes over split blocks.
    EXPECT_EQ(CrcUpdate(0, "123456789", 9), 0xBB3D);
    const uint16_t part = CrcUpdate(0x1234, "12345", 5);
    EXPECT_EQ(CrcUpdate(part, "6789", 4), CrcUpdate(0x1234, "123456789", 9));
    EXPECT_EQ(CrcUpdate(0x5555, "", 0), 0x5555);
}

TEST(Crc, CrcUpdateAgreesWithTheBitwiseDefinitionAtEveryLengthAndAlignment)
{
    auto bitwise = [](uint16_t crc, const uint8_t *p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            crc ^= p[i];
            for (int bit = 0; bit < 8; ++bit)
                crc =
                    (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
        }
        return crc;
    };
    uint8_t data[80];
    uint32_t seed = 12345;
    for (uint8_t &b : data) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    for (size_t start = 0; start < 8; ++start)
        for (size_t n = 0; n + start <= sizeof data; ++n)
            ASSERT_EQ(CrcUpdate(0xBEEF, data + start, n), bitwise(0xBEEF, data + start, n))
                << start << "+" << n;
}
