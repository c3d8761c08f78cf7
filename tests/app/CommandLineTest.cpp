#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace oru;

namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, QuotedFolderKeepsItsTrailingBackslash) {
    EXPECT_EQ(SplitCommandLine("ORUUpdate.exe \"C:\\Program Files\\Parcelon\\\" -NV N -P 1"),
              (Args{"ORUUpdate.exe", "C:\\Program Files\\Parcelon\\", "-NV", "N", "-P", "1"}));
}

TEST(SplitCommandLine, BlanksTabsAndControlCharactersSeparate) {
    EXPECT_EQ(SplitCommandLine("  a\tb \r\n c\x01"
                               "d   "),
              (Args{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitCommandLine(""), Args{});
    EXPECT_EQ(SplitCommandLine(" \t "), Args{});
}

TEST(SplitCommandLine, QuotesGroupAndAreDropped) {
    EXPECT_EQ(SplitCommandLine("x \"\" y"), (Args{"x", "", "y"}));
    EXPECT_EQ(SplitCommandLine("x a\"b c\"d"), (Args{"x", "ab cd"}));
    EXPECT_EQ(SplitCommandLine("x \"\t\""), (Args{"x", "\t"}));
    // An unclosed quote runs to the end.
    EXPECT_EQ(SplitCommandLine("x \"a b"), (Args{"x", "a b"}));
    // A backslash never escapes.
    EXPECT_EQ(SplitCommandLine("x a\\\"b c\\\" d"), (Args{"x", "a\\b c\\", "d"}));
}

TEST(SplitCommandLine, CharactersAboveAsciiAreOrdinary) {
    EXPECT_EQ(SplitCommandLine("x C:\\D\xE9j\xE0\\"), (Args{"x", "C:\\D\xE9j\xE0\\"}));
}

class ReadCommandLineTest : public ::testing::Test {};

TEST_F(ReadCommandLineTest, NoArgumentsSelectNothing) {
    const auto a = ReadCommandLine({});
    EXPECT_EQ(a.InstallDir, "");
    EXPECT_FALSE(a.NetworkInstall);
    EXPECT_EQ(a.ProductKind, 0);
    EXPECT_FALSE(a.ProductNumberInvalid);
}

TEST_F(ReadCommandLineTest, FullLineInEitherCase) {
    for (const Args& args :
         {Args{"C:\\P\\", "-NV", "Y", "-P", "1"}, Args{"C:\\P\\", "-nv", "y", "-p", "1"}}) {
        const auto a = ReadCommandLine(args);
        EXPECT_EQ(a.InstallDir, "C:\\P\\");
        EXPECT_TRUE(a.NetworkInstall);
        EXPECT_EQ(a.ProductKind, 1);
    }
}

TEST_F(ReadCommandLineTest, NetworkFlagNeedsTheExactPairInPlace) {
    EXPECT_TRUE(ReadCommandLine({"d", "-NV", "Y"}).NetworkInstall);
    EXPECT_EQ(ReadCommandLine({"d", "-NV", "Y"}).ProductKind, 0);
    EXPECT_FALSE(ReadCommandLine({"d", "-NV"}).NetworkInstall);
    EXPECT_FALSE(ReadCommandLine({"d", "-NV", "N", "-P", "1"}).NetworkInstall);
    EXPECT_FALSE(ReadCommandLine({"d", "x", "-NV", "Y"}).NetworkInstall);
    EXPECT_FALSE(ReadCommandLine({"d", "-NV", "Yes"}).NetworkInstall);
    EXPECT_FALSE(ReadCommandLine({"d", " -NV", "Y"}).NetworkInstall);
    EXPECT_FALSE(ReadCommandLine({"d", "-NV", "Y "}).NetworkInstall);
}

TEST_F(ReadCommandLineTest, ProductNumberOnlyAtPositionFive) {
    EXPECT_EQ(ReadCommandLine({"d", "-P", "1"}).ProductKind, 0);
    EXPECT_EQ(ReadCommandLine({"d", "-NV", "-P", "1"}).ProductKind, 0);
    EXPECT_EQ(ReadCommandLine({"d", "x", "-NV", "Y", "-P", "1"}).ProductKind, 0);
    EXPECT_EQ(ReadCommandLine({"d", "-NV", "N", "-X", "1"}).ProductKind, 0);
    EXPECT_EQ(ReadCommandLine({"d", "-NV", "N", "-P", "8"}).ProductKind, 6);
    EXPECT_EQ(ReadCommandLine({"d", "-NV", "N", "-P", "2", "-P", "3", "extra"}).ProductKind, 2);
}

TEST_F(ReadCommandLineTest, NumbersOutsideTheCatalogueSelectNothingSilently) {
    for (const char* number : {"12", "0", "-1", "256", ""}) {
        const auto a = ReadCommandLine({"d", "-NV", "N", "-P", number});
        EXPECT_EQ(a.ProductKind, 0) << number;
        EXPECT_FALSE(a.ProductNumberInvalid) << number;
    }
    EXPECT_EQ(ReadCommandLine({"d", "-NV", "N", "-P", "257"}).ProductKind, 1);
    EXPECT_EQ(ReadCommandLine({"d", "-NV", "N", "-P", "2147483647"}).ProductKind, 0);
}

TEST_F(ReadCommandLineTest, NonIntegerNumberIsReportedAsGiven) {
    for (const char* number : {"abc", "1x", " 1", "2147483648", "-2147483649", "99999999999"}) {
        const auto a = ReadCommandLine({"d", "-NV", "N", "-P", number});
        EXPECT_TRUE(a.ProductNumberInvalid) << number;
        EXPECT_EQ(a.ProductArgument, number);
        EXPECT_EQ(a.ProductKind, 0);
    }
    EXPECT_EQ(InvalidProductNumberMessage("abc"),
              "An invalid Oru Software product type [abc] was passed to the update.");
    // The argument is data, never a format.
    EXPECT_EQ(InvalidProductNumberMessage("%s%n"),
              "An invalid Oru Software product type [%s%n] was passed to the update.");
}

} // namespace
