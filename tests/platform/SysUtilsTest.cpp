#include "platform/SysUtils.h"
#include "platform/Streams.h"

#include <gtest/gtest.h>

using namespace oru;

TEST(SysUtils, StrToIntAcceptsSignsAndHexOnlyWithin32Bits) {
    int32_t v = 0;
    EXPECT_TRUE(TryStrToInt("12", v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(TryStrToInt("-1", v));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(TryStrToInt("+7", v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(TryStrToInt("2147483647", v));
    EXPECT_TRUE(TryStrToInt("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_FALSE(TryStrToInt("2147483648", v));
    EXPECT_FALSE(TryStrToInt("99999999999999999999", v));
    EXPECT_TRUE(TryStrToInt("$FF", v));
    EXPECT_EQ(v, 255);
    EXPECT_TRUE(TryStrToInt("0x10", v));
    EXPECT_EQ(v, 16);
    for (const char* bad : {"", "abc", "1x", " 1", "1 ", "-", "$", "0x", "1.0"})
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
    EXPECT_THROW(StrToInt("abc"), EConvertError);
}

TEST(SysUtils, TrimCutsControlCharacters) {
    EXPECT_EQ(Trim(" \t\r\nab c\x01 "), "ab c");
    EXPECT_EQ(TrimRight("  a  "), "  a");
    EXPECT_EQ(TrimLeft("  a  "), "a  ");
    EXPECT_EQ(Trim("   "), "");
}

TEST(SysUtils, TextComparisonFoldsAsciiOnly) {
    EXPECT_TRUE(SameText("UniBrook", "UNIBROOK"));
    EXPECT_FALSE(SameText("a", "ab"));
    EXPECT_LT(CompareText("*", "01.22.01.16"), 0);
    EXPECT_GT(CompareText("01.23.00.00", "01.22.01.16"), 0);
    EXPECT_EQ(CompareText("01.22.01.16", "01.22.01.16"), 0);
    EXPECT_LT(CompareText("01.22", "01.22.01.16"), 0); // a prefix sorts first
    EXPECT_EQ(UpperCase("c:\\data\\ews files\xe9"), "C:\\DATA\\EWS FILES\xe9");
}

TEST(SysUtils, SizedTextGrowsOnceAndRefusesASecondMiss) {
    auto source = [](std::string text, int* calls) {
        return [text, calls](char* buffer, uint32_t room) -> uint32_t {
            ++*calls;
            if (text.size() + 1 > room)
                return static_cast<uint32_t>(text.size() + 1);
            text.copy(buffer, text.size());
            buffer[text.size()] = '\0';
            return static_cast<uint32_t>(text.size());
        };
    };
    int calls = 0;
    EXPECT_EQ(ReadSizedText(source("C:\\Windows", &calls), 261), "C:\\Windows");
    EXPECT_EQ(calls, 1);
    calls = 0;
    std::string longPath(300, 'x');
    EXPECT_EQ(ReadSizedText(source(longPath, &calls), 261), longPath);
    EXPECT_EQ(calls, 2);
    calls = 0;
    EXPECT_EQ(ReadSizedText(source("abc", &calls), 3), "abc"); // exactly one short
    EXPECT_EQ(calls, 2);
    // A call that fills the buffer to the last byte may have cut the text.
    int full = 0;
    auto filling = [&full](char* buffer, uint32_t room) -> uint32_t {
        if (full++ == 0)
            return room;
        std::string(room - 1, 'y').copy(buffer, room - 1);
        return room - 1;
    };
    EXPECT_EQ(ReadSizedText(filling, 10), std::string(9, 'y'));
    EXPECT_EQ(full, 2);
    // The value grew between the two calls.
    int grow = 0;
    auto growing = [&grow](char*, uint32_t) -> uint32_t { return 400 + 10 * grow++; };
    EXPECT_EQ(ReadSizedText(growing, 261), "");
    EXPECT_EQ(ReadSizedText([](char*, uint32_t) -> uint32_t { return 0; }, 261), "");
}
