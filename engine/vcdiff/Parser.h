// Chooses the instructions of one target window: a shortest-path parse over
// literal bytes, runs and COPY candidates (source segment and earlier target),
// priced by an estimate of what each costs once the delta has been deflated.
#pragma once

#include "AddressCache.h"
#include "MatchIndex.h"

#include <array>
#include <cstdint>
#include <vector>

namespace oru::vcdiff {

struct ParseParams {
    int sourceDepth = 1;        // source chain entries tried per position
    int targetDepth = 16;       // target chain entries tried per position
    size_t niceLength = 32;     // a match this long is taken without weighing others
    size_t blockLength = 4096;  // positions weighed together before committing
    int sourceHashLength = 6;
    int targetHashLength = 4;
};

// Estimated bits of each element once the delta is deflated, fitted on pairs of
// real executables (deflate finds much of the instruction stream again, and
// literals cost less than their 8 bits).
struct CostModel {
    std::array<float, 256> literal;
    float addOp = 4.5f;
    float copyOp = 8;
    float mergedOp = 3;   // a COPY that shares the preceding ADD's opcode
    float runOp = 6;
    float sizeByte = 5.5f;
    // By the number of address bytes: short addresses (near and same modes, nearby
    // target copies) repeat far more than long ones and cost less per byte.
    std::array<float, 11> address;

    CostModel() {
        literal.fill(5);
        SetAddressCost(7.5f, 10);
    }
    void SetAddressCost(float first, float more) {
        for (size_t n = 0; n < address.size(); ++n)
            address[n] = n == 0 ? 0 : first + more * static_cast<float>(n - 1);
    }
};

struct Op {
    enum Kind : uint8_t { Add, Run, Copy };
    Kind kind = Add;
    bool fromSource = false; // Copy: from the segment, else from earlier target
    uint32_t pos = 0;        // target offset of the first byte produced
    uint32_t len = 0;
    uint64_t from = 0;       // Copy: segment offset or target offset
};

class Parser {
public:
    explicit Parser(const ParseParams& params);

    // src: the segment bytes (srcLen), starting at file offset segAbs; tgt: the window
    // (n bytes) starting at target offset targetAbs. Both carry kReadPadding bytes.
    void Parse(const uint8_t* src, size_t srcLen, const SourceIndex* index, int64_t segAbs,
               const uint8_t* tgt, size_t n, int64_t targetAbs, std::vector<Op>& ops);

    // Source offset minus target offset of the latest COPY from the source.
    int64_t LastSourceDiagonal() const { return recentSource_[0]; }

private:
    struct Node {
        float cost;
        int32_t from;
        uint32_t len;
        uint8_t kind; // Op::Kind
        uint8_t nearSlot;
        uint16_t litRun;
        uint64_t addr;
        uint64_t nearCache[kNearSize];
    };
    // Matches already weighed in this block, by diagonal: a later position on the
    // same diagonal inside one of them adds nothing. Lossy: a collision only costs
    // a second look.
    struct Active {
        int64_t key = 0;
        size_t end = 0;
        uint64_t block = 0; // entries of earlier blocks are stale
    };
    struct LongOp {
        bool valid = false;
        Op::Kind kind = Op::Copy;
        bool fromSource = false;
        size_t start = 0;
        size_t len = 0;
        uint64_t from = 0;
    };

    struct Candidate {
        bool fromSource;
        uint64_t from; // where the match starts, after extending it backwards
        size_t start;  // target offset it starts at
        size_t len;
        int addrBytes;
        bool same;
    };

    size_t ParseBlock(size_t start);
    void Candidates(size_t i, size_t start, size_t end, LongOp& longOp);
    void Consider(bool fromSource, uint64_t from, size_t i, size_t start, LongOp& longOp);
    void RelaxCandidates(size_t i, size_t start, size_t end);
    // Nodes beyond the furthest one reached so far are unvisited (infinite cost).
    Node& Reach(size_t k) {
        while (reach_ < k)
            nodes_[++reach_].cost = kUnreached;
        return nodes_[k];
    }
    static constexpr float kUnreached = 1e30f;
    void RelaxLiteral(size_t k, size_t start);
    void RelaxCopy(size_t k, size_t start, uint64_t addr, int addrBytes, bool same, size_t minLen,
                   size_t maxLen);
    void RelaxRun(size_t k, size_t start, size_t maxLen);
    int AddressBytes(const Node& node, uint64_t addr, uint64_t here, bool& same) const;
    void Commit(size_t start, size_t k);
    void Emit(const Op& op);
    void FlushLiterals();
    void InsertUpTo(size_t end);
    void NoteSource(int64_t diag);
    void NoteTarget(uint64_t dist);

    ParseParams p_;
    CostModel costs_;
    std::vector<Node> nodes_;
    std::vector<size_t> path_;
    std::vector<Candidate> cands_;
    TargetChain chain_;
    AddressCache cache_;
    std::array<int64_t, 12> recentSource_{}; // absolute diagonals, most recent first
    std::array<uint64_t, 4> recentTarget_{}; // distances, most recent first
    std::array<Active, 512> active_{};
    size_t runEnd_ = 0;
    size_t reach_ = 0;
    uint64_t block_ = 0;

    const uint8_t* src_ = nullptr;
    size_t srcLen_ = 0;
    const SourceIndex* index_ = nullptr;
    int64_t diagShift_ = 0; // window diagonal = absolute diagonal - diagShift_
    const uint8_t* tgt_ = nullptr;
    size_t n_ = 0;
    size_t inserted_ = 0;
    size_t litStart_ = 0;
    size_t litCount_ = 0;
    std::vector<Op>* ops_ = nullptr;
};

} // namespace oru::vcdiff
