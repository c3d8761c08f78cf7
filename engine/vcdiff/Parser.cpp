#include "Parser.h"

#include "VarInt.h"

#include <algorithm>
#include <cstring>

namespace oru::vcdiff {

namespace {

constexpr size_t kMinMatch = 4;
// Candidates at least this long become the first diagonals tried at later positions.
constexpr size_t kRememberLength = 12;

} // namespace

Parser::Parser(const ParseParams& params) : p_(params) {
    nodes_.resize(p_.blockLength + 1);
}

void Parser::Parse(const uint8_t* src, size_t srcLen, const SourceIndex* index, int64_t segAbs,
                   const uint8_t* tgt, size_t n, int64_t targetAbs, std::vector<Op>& ops) {
    src_ = src;
    srcLen_ = srcLen;
    index_ = (index && !index->Empty()) ? index : nullptr;
    diagShift_ = segAbs - targetAbs;
    tgt_ = tgt;
    n_ = n;
    ops_ = &ops;
    ops.clear();
    cache_.Reset();
    chain_.Reset(n, p_.targetHashLength);
    recentTarget_.fill(0);
    inserted_ = 0;
    litStart_ = 0;
    litCount_ = 0;
    size_t pos = 0;
    while (pos < n)
        pos = ParseBlock(pos);
    FlushLiterals();
}

size_t Parser::ParseBlock(size_t start) {
    size_t end = std::min(n_, start + p_.blockLength);
    size_t K = end - start;
    Node& first = nodes_[0];
    first.cost = 0;
    first.from = -1;
    first.len = 0;
    first.kind = litCount_ ? Op::Add : Op::Copy;
    first.litRun = static_cast<uint16_t>(std::min<size_t>(litCount_, 0xFFFF));
    first.nearSlot = static_cast<uint8_t>(cache_.NextSlot());
    for (int s = 0; s < kNearSize; ++s)
        first.nearCache[s] = cache_.Near(s);
    reach_ = 0; // nodes beyond are set up when an edge first reaches them
    ++block_;
    runEnd_ = 0;

    LongOp longOp;
    for (size_t i = start; i < end; ++i) {
        // The index tables are far larger than the caches: ask for the heads early.
        constexpr size_t kAhead = 4;
        if (i + kAhead + 8 <= n_) {
            if (index_)
                index_->Prefetch(index_->Hash(tgt_ + i + kAhead));
            chain_.Prefetch(chain_.Hash(tgt_ + i + kAhead));
        }
        RelaxLiteral(i - start, start);
        if (i + kMinMatch <= n_)
            Candidates(i, start, end, longOp);
        InsertUpTo(i + 1);
        if (longOp.valid)
            break;
    }
    if (!longOp.valid) {
        Commit(start, K);
        return end;
    }
    Commit(start, longOp.start - start);
    Op op;
    op.kind = longOp.kind;
    op.fromSource = longOp.fromSource;
    op.pos = static_cast<uint32_t>(longOp.start);
    op.len = static_cast<uint32_t>(longOp.len);
    op.from = longOp.from;
    FlushLiterals();
    Emit(op);
    size_t next = longOp.start + longOp.len;
    InsertUpTo(next);
    return next;
}

void Parser::Candidates(size_t i, size_t start, size_t end, LongOp& longOp) {
    const uint8_t* t = tgt_ + i;
    cands_.clear();
    // A run of one byte value.
    if (i >= runEnd_ && t[0] == t[1] && t[1] == t[2] && t[2] == t[3]) {
        size_t r = 4;
        while (i + r < n_ && t[r] == t[0])
            ++r;
        runEnd_ = i + r;
        if (r >= p_.niceLength) {
            if (!longOp.valid || r > longOp.len) {
                longOp = LongOp{true, Op::Run, false, i, r, 0};
            }
        } else {
            RelaxRun(i - start, start, std::min(r, end - i));
        }
    }
    for (int64_t absDiag : recentSource_) {
        int64_t a = static_cast<int64_t>(i) + absDiag - diagShift_;
        if (a < 0 || a >= static_cast<int64_t>(srcLen_) || src_[a] != t[0])
            continue;
        Consider(true, static_cast<uint64_t>(a), i, start, longOp);
    }
    for (uint64_t dist : recentTarget_) {
        if (dist == 0 || dist > i || tgt_[i - dist] != t[0])
            continue;
        Consider(false, i - dist, i, start, longOp);
    }
    if (index_ && i + static_cast<size_t>(index_->HashLen()) <= n_) {
        int depth = p_.sourceDepth;
        uint32_t h = index_->Hash(t);
        uint32_t head;
        std::memcpy(&head, t, 4);
        for (int64_t pos = index_->First(h); pos >= 0 && depth-- > 0; pos = index_->Next(pos)) {
            uint32_t other;
            std::memcpy(&other, src_ + pos, 4);
            if (other == head)
                Consider(true, static_cast<uint64_t>(pos), i, start, longOp);
        }
    }
    if (i + static_cast<size_t>(chain_.HashLen()) <= n_) {
        int depth = p_.targetDepth;
        size_t best = kMinMatch - 1;
        for (int32_t j = chain_.First(chain_.Hash(t), i); j >= 0 && depth-- > 0; j = chain_.Next(j, i)) {
            // Nearer candidates have cheaper addresses: a farther one must be longer.
            const uint8_t* o = tgt_ + j;
            if (o[best] != t[best] || std::memcmp(o, t, 4) != 0)
                continue;
            size_t len = MatchLength(t, o, n_ - i);
            if (len > best) {
                best = len;
                Consider(false, static_cast<uint64_t>(j), i, start, longOp);
            }
        }
    }
    if (!longOp.valid)
        RelaxCandidates(i, start, end);
}

void Parser::Consider(bool fromSource, uint64_t from, size_t i, size_t start, LongOp& longOp) {
    const uint8_t* base = fromSource ? src_ : tgt_;
    bool continues = i > start && from > 0 && base[from - 1] == tgt_[i - 1];
    int64_t diag = fromSource ? static_cast<int64_t>(from) - static_cast<int64_t>(i)
                              : static_cast<int64_t>(i - from);
    // Source diagonals are even, target distances odd, so the two never collide.
    int64_t key = fromSource ? diag * 2 : diag * 2 + 1;
    Active& slot = active_[(static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull) >> 55];
    if (continues && slot.block == block_ && slot.key == key && i < slot.end)
        return; // weighed from where it starts
    size_t max = fromSource ? std::min<size_t>(static_cast<size_t>(srcLen_ - from), n_ - i) : n_ - i;
    size_t len = MatchLength(tgt_ + i, base + from, max);
    if (len < kMinMatch)
        return;
    // Seen only now (a chain too deep at its start, a sparse index): extend backwards.
    size_t back = 0;
    if (continues)
        while (i - back > start && from > back && base[from - back - 1] == tgt_[i - back - 1])
            ++back;
    slot = Active{key, i + len, block_};
    size_t j = i - back;
    len += back;
    from -= back;
    if (len >= kRememberLength) {
        if (fromSource)
            NoteSource(diag + diagShift_);
        else
            NoteTarget(static_cast<uint64_t>(diag));
    }
    if (len >= p_.niceLength) {
        if (!longOp.valid || j + len > longOp.start + longOp.len)
            longOp = LongOp{true, Op::Copy, fromSource, j, len, from};
        return;
    }
    for (const Candidate& c : cands_)
        if (c.fromSource == fromSource && c.from == from && c.start == j)
            return; // found twice (recent diagonal and hash chain)
    cands_.push_back(Candidate{fromSource, from, j, len, 0, false});
}

// Each length is weighed with the cheapest address that reaches it.
void Parser::RelaxCandidates(size_t i, size_t start, size_t end) {
    for (Candidate& c : cands_) {
        uint64_t addr = c.fromSource ? c.from : srcLen_ + c.from;
        c.addrBytes = AddressBytes(nodes_[c.start - start], addr, srcLen_ + c.start, c.same);
        c.len = std::min(c.len, end - c.start);
    }
    std::sort(cands_.begin(), cands_.end(), [](const Candidate& a, const Candidate& b) {
        return a.addrBytes != b.addrBytes ? a.addrBytes < b.addrBytes : a.len > b.len;
    });
    size_t covered = kMinMatch - 1;
    for (const Candidate& c : cands_) {
        uint64_t addr = c.fromSource ? c.from : srcLen_ + c.from;
        if (c.start < i) {
            RelaxCopy(c.start - start, start, addr, c.addrBytes, c.same, kMinMatch, c.len);
        } else if (c.len > covered) {
            RelaxCopy(i - start, start, addr, c.addrBytes, c.same, covered + 1, c.len);
            covered = c.len;
        }
    }
}

void Parser::RelaxLiteral(size_t k, size_t start) {
    const Node& f = nodes_[k];
    uint32_t run = f.kind == Op::Add ? f.litRun + 1u : 1u;
    float c = f.cost + costs_.literal[tgt_[start + k]];
    if (f.kind != Op::Add)
        c += costs_.addOp;
    else if (run == 18 || run == 128)
        c += costs_.sizeByte; // the size no longer fits the opcode, or needs another byte
    Node& t = Reach(k + 1);
    if (c < t.cost) {
        t.cost = c;
        t.from = static_cast<int32_t>(k);
        t.len = 1;
        t.kind = Op::Add;
        t.litRun = static_cast<uint16_t>(std::min<uint32_t>(run, 0xFFFF));
        t.nearSlot = f.nearSlot;
        std::memcpy(t.nearCache, f.nearCache, sizeof t.nearCache);
    }
}

int Parser::AddressBytes(const Node& node, uint64_t addr, uint64_t here, bool& same) const {
    same = cache_.SameAt(addr) == addr;
    if (same)
        return 1;
    int best = std::min(VarintLength(addr), VarintLength(here - addr));
    for (uint64_t n : node.nearCache)
        if (addr >= n)
            best = std::min(best, VarintLength(addr - n));
    return best;
}

void Parser::RelaxCopy(size_t k, size_t start, uint64_t addr, int addrBytes, bool same,
                       size_t minLen, size_t maxLen) {
    const Node& f = nodes_[k];
    float base = f.cost + costs_.address[addrBytes];
    bool mergeable = f.kind == Op::Add && f.litRun >= 1 && f.litRun <= 4;
    size_t mergeMax = mergeable ? (same ? 4 : 6) : 0;
    for (size_t l = minLen; l <= maxLen; ++l) {
        float c = base + (l <= mergeMax ? costs_.mergedOp : costs_.copyOp);
        if (l > 18)
            c += costs_.sizeByte * static_cast<float>(VarintLength(l));
        Node& t = Reach(k + l);
        if (c < t.cost) {
            t.cost = c;
            t.from = static_cast<int32_t>(k);
            t.len = static_cast<uint32_t>(l);
            t.kind = Op::Copy;
            t.litRun = 0;
            t.addr = addr;
            std::memcpy(t.nearCache, f.nearCache, sizeof t.nearCache);
            t.nearCache[f.nearSlot] = addr;
            t.nearSlot = static_cast<uint8_t>((f.nearSlot + 1) % kNearSize);
        }
    }
}

void Parser::RelaxRun(size_t k, size_t start, size_t maxLen) {
    const Node& f = nodes_[k];
    float base = f.cost + costs_.runOp + costs_.literal[tgt_[start + k]];
    for (size_t l = kMinMatch; l <= maxLen; ++l) {
        float c = base + costs_.sizeByte * static_cast<float>(VarintLength(l));
        Node& t = Reach(k + l);
        if (c < t.cost) {
            t.cost = c;
            t.from = static_cast<int32_t>(k);
            t.len = static_cast<uint32_t>(l);
            t.kind = Op::Run;
            t.litRun = 0;
            t.nearSlot = f.nearSlot;
            std::memcpy(t.nearCache, f.nearCache, sizeof t.nearCache);
        }
    }
}

void Parser::Commit(size_t start, size_t k) {
    // Walk back from node k, then replay forwards.
    std::vector<size_t>& path = path_;
    path.clear();
    while (k > 0) {
        path.push_back(k);
        k = static_cast<size_t>(nodes_[k].from);
    }
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        const Node& nd = nodes_[*it];
        size_t pos = start + static_cast<size_t>(nd.from);
        if (nd.kind == Op::Add) {
            if (litCount_ == 0)
                litStart_ = pos;
            ++litCount_;
            continue;
        }
        FlushLiterals();
        Op op;
        op.kind = static_cast<Op::Kind>(nd.kind);
        op.pos = static_cast<uint32_t>(pos);
        op.len = nd.len;
        if (nd.kind == Op::Copy) {
            op.fromSource = nd.addr < srcLen_;
            op.from = op.fromSource ? nd.addr : nd.addr - srcLen_;
        }
        Emit(op);
    }
}

void Parser::Emit(const Op& op) {
    ops_->push_back(op);
    if (op.kind != Op::Copy)
        return;
    if (op.fromSource) {
        cache_.Update(op.from);
        NoteSource(static_cast<int64_t>(op.from) - static_cast<int64_t>(op.pos) + diagShift_);
    } else {
        cache_.Update(srcLen_ + op.from);
        NoteTarget(op.pos - op.from);
    }
}

void Parser::FlushLiterals() {
    if (litCount_ == 0)
        return;
    Op op;
    op.kind = Op::Add;
    op.pos = static_cast<uint32_t>(litStart_);
    op.len = static_cast<uint32_t>(litCount_);
    ops_->push_back(op);
    litCount_ = 0;
}

void Parser::InsertUpTo(size_t end) {
    size_t limit = n_ >= static_cast<size_t>(chain_.HashLen()) ? n_ - chain_.HashLen() + 1 : 0;
    end = std::min(end, limit);
    for (; inserted_ < end; ++inserted_)
        chain_.Insert(tgt_, inserted_);
}

void Parser::NoteSource(int64_t diag) {
    auto it = std::find(recentSource_.begin(), recentSource_.end(), diag);
    if (it == recentSource_.end())
        it = recentSource_.end() - 1;
    std::rotate(recentSource_.begin(), it, it + 1);
    recentSource_[0] = diag;
}

void Parser::NoteTarget(uint64_t dist) {
    auto it = std::find(recentTarget_.begin(), recentTarget_.end(), dist);
    if (it == recentTarget_.end())
        it = recentTarget_.end() - 1;
    std::rotate(recentTarget_.begin(), it, it + 1);
    recentTarget_[0] = dist;
}

} // namespace oru::vcdiff
