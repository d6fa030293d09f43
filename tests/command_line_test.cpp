#include "grayframe/command_line.h"

#include <gtest/gtest.h>

namespace {

std::optional<RunOptions> parse(std::vector<const char*> args) {
    args.insert(args.begin(), "grayframe");
    return parseCommandLine(static_cast<int>(args.size()), args.data());
}

using Inputs = std::vector<std::string>;

TEST(ParseCommandLine, DefaultsAndEmptyLines) {
    const auto none = parse({});
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->show);
    EXPECT_FALSE(none->printData);
    EXPECT_EQ(none->mode, FitIn);
    EXPECT_TRUE(none->inputs.empty());

    const auto flags = parse({"-show", "-printdata"});
    ASSERT_TRUE(flags);
    EXPECT_TRUE(flags->show);
    EXPECT_TRUE(flags->printData);
    EXPECT_TRUE(flags->inputs.empty());
}

TEST(ParseCommandLine, MatchesBySubstringInOrder) {
    const auto line = parse({"x-show", "-input", "a.png", "my-image.png", "-show",
                             "--printdata", "-i", "-resizemode"});
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->show);
    EXPECT_TRUE(line->printData);
    EXPECT_EQ(line->inputs, (Inputs{"a.png", "-show", "-resizemode"}));

    // "-i" is tested before "-resizemode" and "-printdata".
    const auto early = parse({"-resizemode-i", "fitout", "-printdata-i", "b"});
    ASSERT_TRUE(early);
    EXPECT_EQ(early->mode, FitIn);
    EXPECT_FALSE(early->printData);
    EXPECT_EQ(early->inputs, (Inputs{"fitout", "b"}));
}

TEST(ParseCommandLine, ModeWordsAndRepeats) {
    const auto line = parse({"-i", "a.png", "-resizemode", "stretch", "-i", "b.png",
                             "-resizemode", "fitout", "-i", "a.png"});
    ASSERT_TRUE(line);
    EXPECT_EQ(line->mode, FitOut);
    EXPECT_EQ(line->inputs, (Inputs{"a.png", "b.png", "a.png"}));

    EXPECT_EQ(parse({"-resizemode", "fitinside"})->mode, FitIn);
    EXPECT_EQ(parse({"-resizemode", "xfitoutx"})->mode, FitOut);
    EXPECT_EQ(parse({"-resizemode", "fitin-fitout"})->mode, FitIn);
    EXPECT_EQ(parse({"-resizemode", "-stretch"})->mode, Stretch);
}

TEST(ParseCommandLine, RefusesWholeLine) {
    EXPECT_FALSE(parse({"photo.png"}));
    EXPECT_FALSE(parse({"-i", "a.png", "-bogus"}));
    EXPECT_FALSE(parse({"-i"}));
    EXPECT_FALSE(parse({"-i", "a.png", "my-image.png"}));
    EXPECT_FALSE(parse({"-resizemode"}));
    EXPECT_FALSE(parse({"-resizemode", "STRETCH"}));
    EXPECT_FALSE(parse({"-resizemode", "fit-in"}));
    EXPECT_FALSE(parse({""}));
    EXPECT_FALSE(parse({"-SHOW"}));
}

}  // namespace
