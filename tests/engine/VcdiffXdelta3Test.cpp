// Cross-checks with an independent VCDIFF implementation, xdelta3, run at test
// time: what we write it must apply, and what it writes we must apply.
#include "VcdiffTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

#ifndef ORU_XDELTA3
#error "ORU_XDELTA3 must name the xdelta3 program"
#endif

namespace fs = std::filesystem;

namespace oru::vcdiff::test {
namespace {

class VcdiffXdelta3 : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(ORU_XDELTA3))
            GTEST_SKIP() << "xdelta3 not installed";
        dir_ = fs::temp_directory_path() / ("oru-vcdiff-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string File(const char* name) const { return (dir_ / name).string(); }

    int Xdelta3(const std::string& args) const {
        std::string cmd = std::string(ORU_XDELTA3) + " -f -q " + args + " 2>" + File("stderr");
        return std::system(cmd.c_str());
    }

    // xdelta3 applies our delta.
    void TheyApplyOurs(const Bytes& source, const Bytes& target, const EncodeOptions& o, const char* what) {
        WriteFileBytes(File("old"), source);
        WriteFileBytes(File("delta"), EncodeBytes(source, target, o));
        ASSERT_EQ(0, Xdelta3("-d -s " + File("old") + " " + File("delta") + " " + File("out")))
            << what << ": " << ReadText("stderr");
        EXPECT_TRUE(ReadFileBytes(File("out")) == target) << what;
    }

    // We apply xdelta3's delta, written with the given encoder switches.
    void WeApplyTheirs(const Bytes& source, const Bytes& target, const std::string& switches, const char* what) {
        WriteFileBytes(File("old"), source);
        WriteFileBytes(File("new"), target);
        ASSERT_EQ(0, Xdelta3("-e " + switches + " -s " + File("old") + " " + File("new") + " " + File("delta")))
            << what << ": " << ReadText("stderr");
        try {
            EXPECT_TRUE(DecodeBytes(source, ReadFileBytes(File("delta"))) == target) << what << " " << switches;
        } catch (const VcdiffError& e) {
            ADD_FAILURE() << what << " " << switches << ": " << e.Message();
        }
    }

    std::string ReadText(const char* name) const {
        Bytes b = ReadFileBytes(File(name));
        return std::string(b.begin(), b.end());
    }

    fs::path dir_;
};

struct Case {
    const char* name;
    Bytes source, target;
};

std::vector<Case> Cases() {
    Bytes text = WordBytes(120000, 61);
    Bytes edited = text;
    std::mt19937 rng(62);
    for (int k = 0; k < 300; ++k)
        edited[rng() % edited.size()] = static_cast<uint8_t>(rng());
    Bytes moved(text.begin() + 60000, text.end());
    moved.insert(moved.end(), text.begin(), text.begin() + 60000);
    Bytes binary = RandomBytes(70000, 63);
    Bytes binaryEdited = binary;
    for (size_t i = 17; i < binaryEdited.size(); i += 97)
        binaryEdited[i] = 0;
    std::vector<Case> v;
    v.push_back({"edited text", text, edited});
    v.push_back({"halves swapped", text, moved});
    v.push_back({"binary edits", binary, binaryEdited});
    v.push_back({"from nothing", {}, text});
    v.push_back({"to nothing", text, {}});
    v.push_back({"runs", {}, Concat({Bytes(5000, 0), binary, Bytes(300, 0xFF)})});
    return v;
}

TEST_F(VcdiffXdelta3, AppliesOurDeltas) {
    EncodeOptions small;
    small.targetWindow = 20000;
    small.sourceWindow = 50000;
    EncodeOptions plain;
    plain.checksum = false;
    plain.level = 2;
    for (const Case& c : Cases()) {
        TheyApplyOurs(c.source, c.target, {}, c.name);
        TheyApplyOurs(c.source, c.target, small, c.name);
        TheyApplyOurs(c.source, c.target, plain, c.name);
    }
}

TEST_F(VcdiffXdelta3, WeApplyTheirDeltas) {
    for (const Case& c : Cases()) {
        WeApplyTheirs(c.source, c.target, "-A -S none -n", c.name);   // plain RFC 3284
        WeApplyTheirs(c.source, c.target, "-A -S none", c.name);      // with window checksums
        WeApplyTheirs(c.source, c.target, "-S none", c.name);         // with an application header
        WeApplyTheirs(c.source, c.target, "-A -S none -W 16384", c.name); // many windows
        WeApplyTheirs(c.source, c.target, "-0 -A -S none", c.name);
        WeApplyTheirs(c.source, c.target, "-9 -A -S none -W 16384", c.name);
    }
}

TEST_F(VcdiffXdelta3, SecondaryCompressionIsRefusedByName) {
    Bytes source = WordBytes(50000, 71), target = WordBytes(50000, 72);
    WriteFileBytes(File("old"), source);
    WriteFileBytes(File("new"), target);
    ASSERT_EQ(0, Xdelta3("-e -9 -s " + File("old") + " " + File("new") + " " + File("delta")));
    try {
        DecodeBytes(source, ReadFileBytes(File("delta")));
        FAIL() << "secondary compression accepted";
    } catch (const VcdiffError& e) {
        EXPECT_NE(std::string::npos, e.Message().find("secondary compression")) << e.Message();
    }
}

} // namespace
} // namespace oru::vcdiff::test
