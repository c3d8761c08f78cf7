#include "platform/SysUtils.h"

#include <gtest/gtest.h>

using namespace oru;

TEST(SysUtils, StrToIntAcceptsSignsAndHexOnlyWithin32Bits) {
    const std::pair<const char*, int32_t> good[] = {
        {"12", 12}, {"-1", -1}, {"+7", 7}, {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
        {"$FF", 255}, {"0x10", 16},
    };
    for (const auto& [text, value] : good) {
        int32_t v = 0;
        EXPECT_TRUE(TryStrToInt(text, v)) << text;
        EXPECT_EQ(v, value) << text;
    }
    int32_t v = 0;
    for (const char* bad : {"", "abc", "1x", " 1", "1 ", "-", "$", "0x", "1.0", "2147483648",
                            "99999999999999999999"})
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
    EXPECT_THROW(StrToInt("abc"), EConvertError);
}

TEST(SysUtils, TrimCutsControlCharactersAndComparisonFoldsAsciiOnly) {
    EXPECT_EQ(Trim(" \t\r\nab c\x01 "), "ab c");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_TRUE(SameText("UniBrook", "UNIBROOK"));
    EXPECT_FALSE(SameText("a", "ab"));
    EXPECT_LT(CompareText("*", "01.22.01.16"), 0);
    EXPECT_GT(CompareText("01.23.00.00", "01.22.01.16"), 0);
    EXPECT_EQ(CompareText("01.22.01.16", "01.22.01.16"), 0);
    EXPECT_LT(CompareText("01.22", "01.22.01.16"), 0); // a prefix sorts first
    EXPECT_EQ(UpperCase("c:\\data\\ews files\xe9"), "C:\\DATA\\EWS FILES\xe9");
}

// The source answers as the system calls do: the length copied, or the room it
// needs when the buffer is too small.
TEST(SysUtils, SizedTextGrowsOnceAndRefusesASecondMiss) {
    int calls = 0;
    auto source = [&calls](std::string text) {
        return [text, &calls](char* buffer, uint32_t room) -> uint32_t {
            ++calls;
            if (text.size() + 1 > room)
                return static_cast<uint32_t>(text.size() + 1);
            text.copy(buffer, text.size());
            buffer[text.size()] = '\0';
            return static_cast<uint32_t>(text.size());
        };
    };
    const std::string longPath(300, 'x');
    const std::tuple<std::string, uint32_t, int> rows[] = {
        {"C:\\Windows", 261, 1}, {longPath, 261, 2}, {"abc", 3, 2}, // exactly one short
    };
    for (const auto& [text, room, expectedCalls] : rows) {
        calls = 0;
        EXPECT_EQ(ReadSizedText(source(text), room), text);
        EXPECT_EQ(calls, expectedCalls) << text;
    }
    // A call that fills the buffer to the last byte may have cut the text.
    auto filling = [&calls](char* buffer, uint32_t room) -> uint32_t {
        if (calls++ == 0)
            return room;
        std::string(room - 1, 'y').copy(buffer, room - 1);
        return room - 1;
    };
    calls = 0;
    EXPECT_EQ(ReadSizedText(filling, 10), std::string(9, 'y'));
    // The value grew between the two calls, or the call failed.
    EXPECT_EQ(ReadSizedText([&calls](char*, uint32_t) -> uint32_t { return 400 + 10 * calls++; }, 261), "");
    EXPECT_EQ(ReadSizedText([](char*, uint32_t) -> uint32_t { return 0; }, 261), "");
}
