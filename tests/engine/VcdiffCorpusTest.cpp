// Public RFC 3284 test vectors, and deltas damaged at random: the decoder either
// produces output or raises VcdiffError, never anything else.
#include "VcdiffTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#ifndef ORU_VCDIFF_CORPUS
#error "ORU_VCDIFF_CORPUS must name the vcdiff corpus folder"
#endif

namespace fs = std::filesystem;

namespace oru::vcdiff::test {
namespace {

struct CorpusCase {
    std::string name;
    bool positive;
    fs::path dir;
};

std::vector<CorpusCase> CorpusCases() {
    std::vector<CorpusCase> cases;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(ORU_VCDIFF_CORPUS))) {
        if (entry.path().filename() != "delta.vcdiff")
            continue;
        fs::path dir = entry.path().parent_path();
        std::string rel = fs::relative(dir, fs::path(ORU_VCDIFF_CORPUS)).generic_string();
        cases.push_back({rel, rel.rfind("targeted-negative", 0) != 0, dir});
    }
    std::sort(cases.begin(), cases.end(), [](auto& a, auto& b) { return a.name < b.name; });
    return cases;
}

TEST(VcdiffCorpus, PositivesDecodeToTheirTargetAndNegativesAreRefused) {
    std::vector<CorpusCase> cases = CorpusCases();
    ASSERT_GE(cases.size(), 79u) << "corpus missing at " << ORU_VCDIFF_CORPUS;
    for (const CorpusCase& c : cases) {
        Bytes source = ReadFileBytes((c.dir / "source").string());
        Bytes delta = ReadFileBytes((c.dir / "delta.vcdiff").string());
        if (c.positive) {
            try {
                Bytes out = DecodeBytes(source, delta);
                EXPECT_TRUE(out == ReadFileBytes((c.dir / "target").string())) << c.name;
            } catch (const VcdiffError& e) {
                ADD_FAILURE() << c.name << ": " << e.Message();
            }
        } else {
            // uninitialized_near_cache is refused too, but for its delta length: under
            // RFC 3284 an unused near slot is simply address 0 (see the decoder tests).
            EXPECT_THROW(DecodeBytes(source, delta), VcdiffError) << c.name;
        }
    }
}

// Deltas worth damaging: our own (several windows, every instruction kind) and
// xdelta3's from the corpus (checksums, the instruction mixes of another encoder).
std::vector<std::pair<Bytes, Bytes>> Victims() {
    std::vector<std::pair<Bytes, Bytes>> v;
    Bytes source = WordBytes(6000, 51);
    Bytes target = source;
    for (size_t i = 100; i < target.size(); i += 250)
        target[i] ^= 0x20;
    target.insert(target.begin() + 3000, 300, 0);
    EncodeOptions o;
    o.targetWindow = 2000;
    v.push_back({source, EncodeBytes(source, target, o)});
    v.push_back({{}, EncodeBytes({}, target, o)});
    for (const char* name : {"general-positive/1k_json_random_modify", "general-positive/1024_bytes_random_insert",
                             "targeted-positive/codetable_entries_163_234"}) {
        fs::path dir = fs::path(ORU_VCDIFF_CORPUS) / name;
        v.push_back({ReadFileBytes((dir / "source").string()), ReadFileBytes((dir / "delta.vcdiff").string())});
    }
    return v;
}

TEST(VcdiffCorpus, DamagedDeltasDecodeOrFailCleanly) {
    std::mt19937 rng(1234);
    int refused = 0, decoded = 0;
    for (const auto& [source, delta] : Victims()) {
        ASSERT_NO_THROW(DecodeBytes(source, delta));
        for (int round = 0; round < 600; ++round) {
            Bytes bad = delta;
            switch (round % 4) {
            case 0: // one byte anywhere
                bad[rng() % bad.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
                break;
            case 1: // a few bytes
                for (int k = 0; k < 4; ++k)
                    bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
                break;
            case 2: // cut short
                bad.resize(rng() % bad.size());
                break;
            default: // a byte inserted, shifting everything after it
                bad.insert(bad.begin() + static_cast<ptrdiff_t>(rng() % bad.size()), static_cast<uint8_t>(rng()));
                break;
            }
            try {
                DecodeBytes(source, bad);
                ++decoded;
            } catch (const VcdiffError&) {
                ++refused;
            }
        }
    }
    // Almost every change must be caught (checksums, lengths); a few land in ADD data
    // of windows without checksum or keep the delta valid.
    EXPECT_GT(refused, 9 * decoded) << refused << " refused, " << decoded << " decoded";
}

} // namespace
} // namespace oru::vcdiff::test
