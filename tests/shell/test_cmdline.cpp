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
    EXPECT_EQ(ParseCommandLine({"-m", "x"}).MaxStoreFileSize, 0u);
    // The argument after "-m" is its value, even when it looks like a switch.
    const TStartOptions skipped = ParseCommandLine({"-m", "-d"});
    EXPECT_FALSE(skipped.DebugMode);
    // As the last argument it changes nothing.
    EXPECT_EQ(ParseCommandLine({"-d", "-m"}).MaxStoreFileSize, 500000000u);
    EXPECT_EQ(ParseCommandLine({"-m", "99999999999"}).MaxStoreFileSize, 0xFFFFFFFFu);
}

} // namespace
