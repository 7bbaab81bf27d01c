// The protocol message: decoding, encoding and the refusal texts.
#include "link/comms.h"

#include <gtest/gtest.h>

TEST(Comms, DecodesARefusalWithAllItsFields)
{
    Tcommsobj m;
    ASSERT_TRUE(m.Decode("C0110021:4000"));
    EXPECT_TRUE(m.HighFlag);
    EXPECT_TRUE(m.ErrorFlag);
    EXPECT_FALSE(m.RequestFlag);
    EXPECT_EQ(m.Address, 0);
    EXPECT_EQ(m.Command, 0x11);
    EXPECT_EQ(m.Register, 0x0021);
    EXPECT_EQ(m.Data, "4000");
    EXPECT_EQ(m.Status, 0x4000u);
    EXPECT_EQ(m.ErrorText(), " Unknown Error ");
    EXPECT_EQ(RegisterErrorText(m), "Error :- Register 0021:  Unknown Error ");
}

TEST(Comms, LowestListedStatusBitDecidesTheText)
{
    Tcommsobj m;
    ASSERT_TRUE(m.Decode("40110005:0208"));
    EXPECT_EQ(m.ErrorText(), " CRC Required ");
    EXPECT_TRUE(m.HasStatus(0x0200));
    EXPECT_TRUE(m.HasStatus(0x0208));
    EXPECT_FALSE(m.HasStatus(0x0201));
    m.Decode("40110005:1000");
    EXPECT_EQ(RegisterErrorText(m), "Error :- Register 0005:  Access Denied ");
    m.Decode("40110005:8025"); // bits outside the table give no text
    EXPECT_EQ(m.ErrorText(), "");
    m.Decode("40110005:C000"); // 0x8000 unlisted, 0x4000 listed
    EXPECT_EQ(m.ErrorText(), " Unknown Error ");
}

TEST(Comms, NoErrorFlagMeansNoTextAndNoStatus)
{
    Tcommsobj m;
    ASSERT_TRUE(m.Decode("00110005:1000"));
    EXPECT_EQ(m.ErrorText(), "");
    EXPECT_FALSE(m.HasStatus(0x1000));
    EXPECT_FALSE(m.HasStatus(0));
}

TEST(Comms, MalformedTextsReturnFalseAndKeepWhatTheyShould)
{
    Tcommsobj m;
    ASSERT_TRUE(m.Decode("20110021:"));
    EXPECT_FALSE(m.Decode("2011002:")); // 8 characters: nothing touched
    EXPECT_EQ(m.Register, 0x0021);

    EXPECT_FALSE(m.Decode("21110009X1234"));
    EXPECT_EQ(m.Register, 0x0009);
    EXPECT_EQ(m.Data, "1234");

    // A bad digit in one field leaves that field alone and parsing goes on.
    Tcommsobj n;
    n.Command = 0x42;
    EXPECT_FALSE(n.Decode("20G10009:AB"));
    EXPECT_EQ(n.Command, 0x42);
    EXPECT_EQ(n.Register, 0x0009);
    EXPECT_TRUE(n.RequestFlag);

    // Lower-case hex is accepted on the way in.
    EXPECT_TRUE(n.Decode("2011abcd:"));
    EXPECT_EQ(n.Register, 0xABCD);
}

TEST(Comms, EncodeWritesUpperCaseAndAlwaysTheSeparator)
{
    Tcommsobj m;
    m.RequestFlag = true;
    m.Address = 5;
    m.Command = CmdRead;
    m.Register = 0xb013;
    EXPECT_EQ(m.Encode(), "2511B013:");
    m.Data = "ab;x";
    m.ErrorFlag = true;
    m.HighFlag = true;
    EXPECT_EQ(m.Encode(), "E511B013:ab;x");

    Tcommsobj read9;
    read9.RequestFlag = true;
    read9.Address = 1;
    read9.Command = CmdRead;
    read9.Register = 9;
    EXPECT_EQ(read9.Encode(), "21110009:");

    // Decode and Encode round-trip every first byte.
    for (int first = 0; first < 256; ++first) {
        Tcommsobj a;
        a.Address = first & 0x1F;
        a.RequestFlag = first & 0x20;
        a.ErrorFlag = first & 0x40;
        a.HighFlag = first & 0x80;
        Tcommsobj b;
        ASSERT_TRUE(b.Decode(a.Encode()));
        EXPECT_EQ(b.Encode(), a.Encode());
    }
}
