// The strict reader of typed values: what is taken, and that everything else is refused with a
// reason naming the text, never dropped, guessed or cut.
#include "values/valuetext.h"

#include <gtest/gtest.h>

namespace
{

TEST(ReadNumber, TakesOnlyASignDigitsAndOneDecimalMark)
{
    const struct {
        const char *Text;
        int Decimals;
        std::optional<int64_t> Scaled;
        const char *RefusalHas; // part of the refusal when refused
    } rows[] = {
        // taken
        {"12.5", 2, 1250, ""},
        {"12.50", 2, 1250, ""},
        {"12", 2, 1200, ""},
        {"-0.0150", 4, -150, ""},
        {"+3", 0, 3, ""},
        {".5", 1, 5, ""},
        {"5.", 1, 50, ""},
        {"  42 ", 0, 42, ""},
        {"000123", 0, 123, ""},
        {"1500,5", 2, 150050, ""}, // a comma alone is the decimal mark
        {"12,5", 2, 1250, ""},
        {"0,01", 4, 100, ""},
        {"-0", 1, 0, ""},
        {"999999999999999999", 0, 999999999999999999LL, ""},
        // the loose readings of before, each refused
        {"abc", 4, std::nullopt, "\"abc\" is not a number"},
        {"1.2.3", 4, std::nullopt, "\"1.2.3\" is not a number: use digits with at most one decimal mark"},
        {"1.500,00", 2, std::nullopt, "holds both \".\" and \",\""},
        {"1,500.00", 2, std::nullopt, "holds both"},
        {"1,500,000", 0, std::nullopt, "is not a number"},
        {"1.5mV", 4, std::nullopt, "\"1.5mV\" is not a number"},
        {"1e3", 2, std::nullopt, "\"1e3\" is not a number"},
        {"0x10", 2, std::nullopt, "\"0x10\" is not a number"},
        {"1-2", 2, std::nullopt, "\"1-2\" is not a number"},
        {"2-0", 1, std::nullopt, "\"2-0\" is not a number"},
        {"--5", 0, std::nullopt, "is not a number"},
        {"+-5", 0, std::nullopt, "is not a number"},
        {"nan", 3, std::nullopt, "\"nan\" is not a number"},
        {"inf", 3, std::nullopt, "is not a number"},
        {"1 500", 0, std::nullopt, "\"1 500\" is not a number"},
        {"-", 0, std::nullopt, "\"-\" is not a number"},
        {".", 2, std::nullopt, "is not a number"},
        {"", 2, std::nullopt, "Nothing was entered"},
        {"   ", 2, std::nullopt, "Nothing was entered"},
        // decimals beyond the item's are refused, not cut (also zeros: "1,500" is no 1.5 here)
        {"12.345", 2, std::nullopt, "has more decimals than this entry shows: at most 2, such as 12.50"},
        {"1,500", 2, std::nullopt, "has more decimals"},
        {"-3.00009", 4, std::nullopt, "at most 4, such as 1.2500"},
        {"2.5", 0, std::nullopt, "takes whole numbers only, such as 125"},
        {"7.0", 0, std::nullopt, "takes whole numbers only"},
        // beyond 18 digits, scaled
        {"1000000000000000000", 0, std::nullopt, "is too large"},
        {"99999999999999999999999", 0, std::nullopt, "is too large"},
        {"10000000000000000", 2, std::nullopt, "is too large"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.Text);
        const TNumberRead read = ReadNumber(QString::fromLatin1(r.Text), r.Decimals);
        EXPECT_EQ(read.Value, r.Scaled);
        if (r.Scaled)
            EXPECT_TRUE(read.Refusal.isEmpty());
        else
            EXPECT_TRUE(read.Refusal.contains(QString::fromLatin1(r.RefusalHas)))
                << read.Refusal.toStdString();
    }
}

TEST(ReadNumber, SignsAndNamesFollowTheEntry)
{
    EXPECT_EQ(ReadNumber("+7", 0, false).Value, 7);
    const TNumberRead negative = ReadNumber("-7", 0, false);
    EXPECT_FALSE(negative);
    EXPECT_EQ(negative.Refusal, "\"-7\" is negative: this entry takes no sign; use digits only, such as 125");
    EXPECT_EQ(ReadNumber("kg", 2, true, "a weight").Refusal,
              "\"kg\" is not a weight: use digits with at most one decimal mark, such as 12.50");
    EXPECT_EQ(ReadNumber("", 1, true, "a weight").Refusal,
              "Nothing was entered: type a weight; use digits with at most one decimal mark, such as 12.5");
}

TEST(ScaledText, WritesTheExactValue)
{
    const struct {
        int64_t Scaled;
        int Decimals;
        const char *Text;
    } rows[] = {{1250, 2, "12.50"}, {-150, 4, "-0.0150"}, {5, 3, "0.005"},
                {0, 2, "0.00"},     {-7, 0, "-7"},        {INT64_MIN, 0, "-9223372036854775808"}};
    for (const auto &r : rows)
        EXPECT_EQ(ScaledText(r.Scaled, r.Decimals), r.Text);
}

TEST(ReadPasscode, DigitsOnlyAsHex)
{
    EXPECT_EQ(ReadPasscode("5678").Value, "162E");
    EXPECT_EQ(ReadPasscode("000000").Value, "0");
    EXPECT_EQ(ReadPasscode("999999").Value, "F423F");
    for (const char *bad : {"abc", "", "56 78", "+5678", "56.78", "1234567", "0x12"}) {
        SCOPED_TRACE(bad);
        const TValueRead<QByteArray> read = ReadPasscode(bad);
        EXPECT_FALSE(read);
        EXPECT_TRUE(read.Refusal.contains("is not a passcode: a passcode is 1 to 6 digits"));
    }
}

TEST(ReadIpAddress, FourOctetsAndNothingElse)
{
    EXPECT_EQ(ReadIpAddress("10.0.0.1").Value, 0x0A000001u);
    EXPECT_EQ(ReadIpAddress(" 255.255.255.255 ").Value, 0xFFFFFFFFu);
    EXPECT_EQ(ReadIpAddress("192.168.001.005").Value, 0xC0A80105u);
    const TValueRead<uint32_t> high = ReadIpAddress("192.168.300.5");
    EXPECT_FALSE(high);
    EXPECT_EQ(high.Refusal,
              "\"192.168.300.5\" is not an IP address: 300 is larger than 255; use four numbers "
              "0 to 255 separated by \".\", such as 192.168.1.5");
    for (const char *bad : {"10.0.0", "10.0.0.1.2", "10.0.0.1x", "10..0.1", "a.b.c.d", "", "1000.0.0.1",
                            "-1.0.0.1", "10.0.0.+1", "10,0,0,1"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ReadIpAddress(bad));
    }
}

TEST(TextLength, EscapesCountAsOneAndLongerTextIsRefused)
{
    EXPECT_EQ(EscapedLength("AB\\0DCDE"), 6);
    EXPECT_EQ(EscapedLength("\\0D\\0A"), 2);
    EXPECT_EQ(EscapedLength(""), 0);
    EXPECT_TRUE(TextLengthRefusal("HEADER1", 24, 24).isEmpty());
    EXPECT_TRUE(TextLengthRefusal("HEADER1", 99, 0).isEmpty()); // no limit known
    EXPECT_EQ(TextLengthRefusal("HEADER1", 25, 24),
              "The text has 25 characters, but HEADER1 takes at most 24: shorten it; nothing was sent");
}

} // namespace
