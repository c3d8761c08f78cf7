#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace oru;

namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, BlanksSeparateQuotesGroupAndBackslashesNeverEscape) {
    const std::pair<const char*, Args> rows[] = {
        {"ORUUpdate.exe \"C:\\Program Files\\Parcelon\\\" -NV N -P 1",
         {"ORUUpdate.exe", "C:\\Program Files\\Parcelon\\", "-NV", "N", "-P", "1"}},
        {"  a\tb \r\n c\x01"
         "d   ",
         {"a", "b", "c", "d"}},
        {"", {}},
        {" \t ", {}},
        {"x \"\" y", {"x", "", "y"}},
        {"x a\"b c\"d", {"x", "ab cd"}},
        {"x \"\t\"", {"x", "\t"}},
        {"x \"a b", {"x", "a b"}}, // an unclosed quote runs to the end
        {"x a\\\"b c\\\" d", {"x", "a\\b c\\", "d"}},
        {"x C:\\D\xE9j\xE0\\", {"x", "C:\\D\xE9j\xE0\\"}},
    };
    for (const auto& [line, args] : rows)
        EXPECT_EQ(SplitCommandLine(line), args) << line;
}

struct CommandLineRow {
    Args params;
    bool network;
    int kind;
    bool invalid = false;
};

TEST(ReadCommandLine, EachArgumentCountsOnlyInItsPlace) {
    const CommandLineRow rows[] = {
        {{}, false, 0},
        {{"C:\\P\\", "-NV", "Y", "-P", "1"}, true, 1},
        {{"C:\\P\\", "-nv", "y", "-p", "1"}, true, 1},
        {{"d", "-NV", "Y"}, true, 0},
        {{"d", "-NV"}, false, 0},
        {{"d", "x", "-NV", "Y"}, false, 0},
        {{"d", "-NV", "Yes"}, false, 0},
        {{"d", " -NV", "Y"}, false, 0},
        {{"d", "-NV", "Y "}, false, 0},
        {{"d", "-P", "1"}, false, 0},
        {{"d", "-NV", "-P", "1"}, false, 0},
        {{"d", "x", "-NV", "Y", "-P", "1"}, false, 0},
        {{"d", "-NV", "N", "-X", "1"}, false, 0},
        {{"d", "-NV", "N", "-P", "8"}, false, 6},
        {{"d", "-NV", "N", "-P", "2", "-P", "3", "extra"}, false, 2},
        // Numbers outside the catalogue select nothing, silently.
        {{"d", "-NV", "N", "-P", "12"}, false, 0},
        {{"d", "-NV", "N", "-P", "0"}, false, 0},
        {{"d", "-NV", "N", "-P", "-1"}, false, 0},
        {{"d", "-NV", "N", "-P", ""}, false, 0},
        {{"d", "-NV", "N", "-P", "257"}, false, 1},
        {{"d", "-NV", "N", "-P", "2147483647"}, false, 0},
        // What is no integer is reported as given.
        {{"d", "-NV", "N", "-P", "abc"}, false, 0, true},
        {{"d", "-NV", "N", "-P", "1x"}, false, 0, true},
        {{"d", "-NV", "N", "-P", " 1"}, false, 0, true},
        {{"d", "-NV", "N", "-P", "2147483648"}, false, 0, true},
        {{"d", "-NV", "N", "-P", "-2147483649"}, false, 0, true},
    };
    for (const CommandLineRow& row : rows) {
        const std::string line = ::testing::PrintToString(row.params);
        const auto a = ReadCommandLine(row.params);
        EXPECT_EQ(a.InstallDir, row.params.empty() ? "" : row.params[0]) << line;
        EXPECT_EQ(a.NetworkInstall, row.network) << line;
        EXPECT_EQ(a.ProductKind, row.kind) << line;
        EXPECT_EQ(a.ProductNumberInvalid, row.invalid) << line;
        if (row.invalid) {
            EXPECT_EQ(a.ProductArgument, row.params[4]);
        }
    }
}

TEST(ReadCommandLine, TheInvalidNumberIsDataNeverAFormat) {
    EXPECT_EQ(InvalidProductNumberMessage("%s%n"),
              "An invalid Oru Software product type [%s%n] was passed to the update.");
}

} // namespace
