// Number and text conversions.
#include "values/tools.h"

#include <QLocale>
#include <clocale>
#include <gtest/gtest.h>

TEST(Tools, HexToIntSkipsBlanksAndRestartsOnStrangers)
{
    EXPECT_EQ(HexToInt(" 1A f"), 0x1AFu);
    EXPECT_EQ(HexToInt("12;"), 0u);
    EXPECT_EQ(HexToInt(""), 0u);
    EXPECT_EQ(HexToInt("zz12"), 0x12u);
    EXPECT_EQ(HexToInt("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(HexToInt("1FFFFFFFF"), 0xFFFFFFFFu); // wraps at 32 bits
}

TEST(Tools, DigitAndLeadingIntegers)
{
    EXPECT_EQ(DigitsToInt("1,234.5"), 12345);
    EXPECT_EQ(DigitsToInt("12-3"), -123);
    EXPECT_EQ(DigitsToInt(""), 0);
    EXPECT_EQ(LeadingInt("  \t42 7"), 42);
    EXPECT_EQ(LeadingInt("300x"), 300);
    EXPECT_EQ(LeadingInt(""), 0);
    EXPECT_EQ(LeadingInt("abc"), 0);
    EXPECT_EQ(LeadingInt("x100"), 0); // only blanks are skipped
    EXPECT_EQ(LeadingInt(" -5"), 0);
}

TEST(Tools, DecimalTextsUseThePointWhateverTheLocale)
{
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(UnsignedToDecimalText(12345, 2), "123.45");
    EXPECT_EQ(UnsignedToDecimalText(4294967295u, 0), "4294967295");
    EXPECT_EQ(UnsignedToDecimalText(5, 3), "0.005");
    EXPECT_EQ(UnsignedToDecimalText(5, 10), "");
    EXPECT_EQ(SignedToDecimalText(-12345, 1), "-1234.5");
    EXPECT_EQ(SignedToDecimalText(-7, 0), "-7");
    EXPECT_EQ(SignedToDecimalText(-7, -1), "");
    EXPECT_EQ(FloatToDecimalText(0, 2.5), "2");
    EXPECT_EQ(FloatToDecimalText(0, 3.5), "4");
    EXPECT_EQ(FloatToDecimalText(0, -2.5), "-2");
    EXPECT_EQ(FloatToDecimalText(3, 1.5), "1.500");
    EXPECT_EQ(FloatToDecimalText(11, 1.5), "");
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, "C");
}

TEST(Tools, DecimalTextToFloatIsStrict)
{
    EXPECT_DOUBLE_EQ(DecimalTextToFloat("-12.50"), -12.5);
    EXPECT_DOUBLE_EQ(DecimalTextToFloat("12kg"), 0.0);
    EXPECT_DOUBLE_EQ(DecimalTextToFloat("1.2.34"), 12.34); // a later point restarts the count
    EXPECT_DOUBLE_EQ(DecimalTextToFloat(""), 0.0);
    EXPECT_DOUBLE_EQ(DecimalTextToFloat(" 5"), 0.0);
    // More digits than 64 bits hold (a damaged log file) give a near value, not an overflow.
    EXPECT_DOUBLE_EQ(DecimalTextToFloat("123456789012345678901234"), 123456789012345678901234.0);
    EXPECT_NEAR(DecimalTextToFloat("-99999999999999999999.5"), -1e20, 1.0);
}

TEST(Tools, FixDecimalsAndDecimalsIn)
{
    EXPECT_EQ(FixDecimals("3.14159", 2), "3.14");
    EXPECT_EQ(FixDecimals(".5", 3), "0.500");
    EXPECT_EQ(FixDecimals("7", 0), "7");
    EXPECT_EQ(FixDecimals("7", 2), "7.00");
    EXPECT_EQ(FixDecimals("2.99", 0), "2");
    EXPECT_EQ(DecimalsIn("12.345kg"), 3);
    EXPECT_EQ(DecimalsIn("12kg"), 0);
    EXPECT_EQ(DecimalsIn(""), 0);
    EXPECT_EQ(DecimalsIn("12."), 0);
}

TEST(Tools, FieldsAndPadding)
{
    EXPECT_EQ(NthField("a,b,,d", 1, ','), "a");
    EXPECT_EQ(NthField("a,b,,d", 3, ','), "");
    EXPECT_EQ(NthField("a,b,,d", 4, ','), "d");
    EXPECT_EQ(NthField("a,b,,d", 5, ','), "");
    EXPECT_EQ(NthField("", 1, ','), "");
    EXPECT_EQ(PadRight("ab", 4), "ab  ");
    EXPECT_EQ(PadRight("abcdef", 4), "abcdef");
    EXPECT_EQ(HexText(0xB1, 4), "00B1");
    EXPECT_TRUE(IsDigit('0'));
    EXPECT_FALSE(IsDigit('a'));
}
