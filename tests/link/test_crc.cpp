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
