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
        {" \t ", {}},
        {"x \"\" y", {"x", "", "y"}},
        {"x a\"b c\"d", {"x", "ab cd"}},
        {"x \"a b", {"x", "a b"}}, // an unclosed quote runs to the end
        {"x a\\\"b c\\\" d", {"x", "a\\b c\\", "d"}},
        {"x C:\\D\xE9j\xE0\\", {"x", "C:\\D\xE9j\xE0\\"}},
    };
    for (const auto& [line, args] : rows)
        EXPECT_EQ(SplitCommandLine(line), args) << line;
}

TEST(ReadCommandLine, EachArgumentCountsOnlyInItsPlace) {
    struct Row {
        Args params;
        bool network;
        int kind;
        bool invalid = false;
    };
    const Row rows[] = {
        {{}, false, 0},
        {{"C:\\P\\", "-nv", "y", "-p", "8"}, true, 6},
        {{"d", "-NV", "Y"}, true, 0},
        {{"d", "-NV"}, false, 0},
        {{"d", "x", "-NV", "Y"}, false, 0},
        {{"d", "-NV", "Yes"}, false, 0},
        {{"d", "-NV", "N", "-P"}, false, 0},
        {{"d", "x", "-NV", "Y", "-P", "1"}, false, 0},
        {{"d", "-NV", "N", "-X", "1"}, false, 0},
        {{"d", "-NV", "N", "-P", "2", "-P", "3", "extra"}, false, 2},
        {{"d", "-NV", "N", "-P", ""}, false, 0}, // no number given: silently nothing
        {{"d", "-NV", "N", "-P", "1x"}, false, 0, true},
        {{"d", "-NV", "N", "-P", "2147483648"}, false, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.params));
        const auto a = ReadCommandLine(row.params);
        EXPECT_EQ(a.InstallDir, row.params.empty() ? "" : row.params[0]);
        EXPECT_EQ(a.NetworkInstall, row.network);
        EXPECT_EQ(a.ProductKind, row.kind);
        EXPECT_EQ(a.ProductNumberInvalid, row.invalid);
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
