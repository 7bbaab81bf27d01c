// The desktop program's switches: exact comparison, and "-m" taking the next argument.
#include "shell/cmdline.h"

#include <gtest/gtest.h>

namespace
{

TEST(ParseCommandLineTest, SwitchesAreComparedExactly)
{
    const TStartOptions none = ParseCommandLine({"-D", "-Z", "--d", "-debug", "file.wsd", "--DEMO"});
    EXPECT_FALSE(none.DebugMode);
    EXPECT_TRUE(none.ScrambleLines);
    EXPECT_FALSE(none.Demo);
    EXPECT_EQ(none.MaxStoreFileSize, 500000000u);

    const TStartOptions all = ParseCommandLine({"-z", "-d", "--demo"});
    EXPECT_TRUE(all.DebugMode);
    EXPECT_FALSE(all.ScrambleLines);
    EXPECT_TRUE(all.Demo);
}

TEST(ParseCommandLineTest, TheStoreSizeIsTheLeadingNumberOfTheNextArgument)
{
    EXPECT_EQ(ParseCommandLine({"-m", "1234abc"}).MaxStoreFileSize, 1234u);
    EXPECT_EQ(ParseCommandLine({"-m", " \t77"}).MaxStoreFileSize, 77u);
    EXPECT_TRUE(ParseCommandLine({"-m", "1234abc"}).Problems.isEmpty());
    // Only blanks may come before the number: anything else is said and the default kept.
    for (const char *bad : {"x100", "x", "", " ", "-5", "+5"}) {
        const TStartOptions o = ParseCommandLine({"-m", bad, "-d"});
        EXPECT_EQ(o.MaxStoreFileSize, 500000000u) << bad;
        ASSERT_EQ(o.Problems.size(), 1) << bad;
        EXPECT_TRUE(o.Problems[0].contains(QStringLiteral("\"%1\"").arg(bad))) << o.Problems[0].toStdString();
        EXPECT_TRUE(o.DebugMode) << bad; // the switches after it still count
    }
    // The argument after "-m" is its value, even when it looks like a switch.
    const TStartOptions skipped = ParseCommandLine({"-m", "-d"});
    EXPECT_FALSE(skipped.DebugMode);
    // As the last argument it changes nothing.
    EXPECT_EQ(ParseCommandLine({"-d", "-m"}).MaxStoreFileSize, 500000000u);
    EXPECT_EQ(ParseCommandLine({"-m", "99999999999"}).MaxStoreFileSize, 0xFFFFFFFFu);
}

} // namespace
