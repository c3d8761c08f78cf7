// Cross-checks with an independent VCDIFF implementation, xdelta3, run at test
// time: what we write it must apply, and what it writes we must apply.
#include "EngineTestSupport.h"

#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

namespace oru::test {
namespace {

using namespace oru::vcdiff;

class VcdiffXdelta3 : public ::testing::Test {
  protected:
    oru::test::TScratch dir{"xdelta3"};
    const std::string old = dir.File("old"), neu = dir.File("new"), delta = dir.File("delta");

    void Xdelta3(const std::string& args, const Bytes& source, const Bytes& second) {
        WriteWholeFile(old, source);
        WriteWholeFile(args.rfind("-d", 0) == 0 ? delta : neu, second);
        const std::string cmd =
            std::string(ORU_XDELTA3) + " -f -q " + args + " 2>" + dir.File("stderr");
        ASSERT_EQ(0, std::system(cmd.c_str())) << args << ": " << dir.Read("stderr");
    }
};

struct Case {
    const char* name;
    Bytes source, target;
};

std::vector<Case> Cases() {
    Bytes text = WordBytes(120000, 61), edited = text;
    std::mt19937 rng(62);
    for (int k = 0; k < 300; ++k)
        edited[rng() % edited.size()] = static_cast<uint8_t>(rng());
    Bytes moved(text.begin() + 60000, text.end());
    moved.insert(moved.end(), text.begin(), text.begin() + 60000);
    Bytes binary = RandomBytes(70000, 63), binaryEdited = binary;
    for (size_t i = 17; i < binaryEdited.size(); i += 97)
        binaryEdited[i] = 0;
    return {{"edited text", text, edited},
            {"halves swapped", text, moved},
            {"binary edits", binary, binaryEdited},
            {"from nothing", {}, text},
            {"to nothing", text, {}},
            {"runs", {}, Concat({Bytes(5000, 0), binary, Bytes(300, 0xFF)})}};
}

TEST_F(VcdiffXdelta3, AppliesOurDeltas) {
    for (const Case& c : Cases())
        for (const EncodeOptions& o : {EncodeOptions{}, EncodeOptions{20000, 50000},
                                       EncodeOptions{8 << 20, 32 << 20, 2, false}}) {
            const Bytes ours = EncodeBytes(c.source, c.target, o);
            Xdelta3("-d -s " + old + " " + delta + " " + neu, c.source, ours);
            EXPECT_TRUE(ReadWholeBytes(neu) == c.target) << c.name;
        }
}

TEST_F(VcdiffXdelta3, WeApplyTheirDeltas) {
    for (const Case& c : Cases())
        for (const char* switches : {"-A -S none -n",            // plain RFC 3284
                                     "-A -S none",               // with window checksums
                                     "-S none",                  // with an application header
                                     "-A -S none -W 16384",      // many windows
                                     "-0 -A -S none", "-9 -A -S none -W 16384"}) {
            Xdelta3(std::string("-e ") + switches + " -s " + old + " " + neu + " " + delta,
                    c.source, c.target);
            EXPECT_NO_THROW(EXPECT_TRUE(DecodeBytes(c.source, ReadWholeBytes(delta)) == c.target))
                << c.name << " " << switches;
        }
}

} // namespace
} // namespace oru::test
