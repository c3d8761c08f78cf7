// SA-IS (Nong, Zhang and Chan): suffixes are typed S or L by comparing each with
// the next; sorting the leftmost-S ones (recursively, on their names) lets two
// induction passes place every other suffix. Works on integer strings that end in
// a unique smallest symbol 0.
#include "engine/SuffixSort.h"

#include <algorithm>

namespace oru::patch {

namespace {

class TSais {
  public:
    TSais(const int32_t* s, int32_t* sa, int32_t n, int32_t k) : s_(s), sa_(sa), n_(n), k_(k) {}

    void Run() {
        if (n_ == 1) {
            sa_[0] = 0;
            return;
        }
        Classify();
        // Step 1: leftmost-S positions at their buckets' ends, in text order; the
        // induction sorts them by their substrings up to the next such position.
        std::fill(sa_, sa_ + n_, -1);
        std::vector<int32_t> bucket(k_);
        Ends(bucket);
        for (int32_t i = 1; i < n_; ++i)
            if (IsLms(i))
                sa_[--bucket[s_[i]]] = i;
        Induce(bucket);

        // Step 2: name the sorted substrings; equal substrings share a name.
        int32_t n1 = 0;
        for (int32_t i = 0; i < n_; ++i)
            if (IsLms(sa_[i]))
                sa_[n1++] = sa_[i];
        std::fill(sa_ + n1, sa_ + n_, -1);
        int32_t names = 0, previous = -1;
        for (int32_t i = 0; i < n1; ++i) {
            int32_t pos = sa_[i];
            if (previous < 0 || !SameLms(previous, pos))
                ++names;
            previous = pos;
            sa_[n1 + pos / 2] = names - 1;
        }
        for (int32_t i = n_ - 1, j = n_ - 1; i >= n1; --i)
            if (sa_[i] >= 0)
                sa_[j--] = sa_[i];

        // Step 3: sort the reduced string, recursively when names repeat.
        int32_t* s1 = sa_ + n_ - n1;
        if (names < n1)
            TSais(s1, sa_, n1, names).Run();
        else
            for (int32_t i = 0; i < n1; ++i)
                sa_[s1[i]] = i;

        // Step 4: the sorted leftmost-S suffixes seed the final induction.
        for (int32_t i = 1, j = 0; i < n_; ++i)
            if (IsLms(i))
                s1[j++] = i;
        for (int32_t i = 0; i < n1; ++i)
            sa_[i] = s1[sa_[i]];
        std::fill(sa_ + n1, sa_ + n_, -1);
        Ends(bucket);
        for (int32_t i = n1 - 1; i >= 0; --i) {
            int32_t j = sa_[i];
            sa_[i] = -1;
            sa_[--bucket[s_[j]]] = j;
        }
        Induce(bucket);
    }

  private:
    void Classify() {
        type_.assign(static_cast<size_t>(n_), false);
        type_[n_ - 1] = true; // the sentinel is S
        for (int32_t i = n_ - 2; i >= 0; --i)
            type_[i] = s_[i] < s_[i + 1] || (s_[i] == s_[i + 1] && type_[i + 1]);
        count_.assign(static_cast<size_t>(k_), 0);
        for (int32_t i = 0; i < n_; ++i)
            ++count_[s_[i]];
    }
    bool IsLms(int32_t i) const { return i > 0 && type_[i] && !type_[i - 1]; }

    void Starts(std::vector<int32_t>& b) const {
        int32_t sum = 0;
        for (int32_t c = 0; c < k_; ++c) {
            b[c] = sum;
            sum += count_[c];
        }
    }
    void Ends(std::vector<int32_t>& b) const {
        int32_t sum = 0;
        for (int32_t c = 0; c < k_; ++c) {
            sum += count_[c];
            b[c] = sum;
        }
    }

    void Induce(std::vector<int32_t>& b) {
        Starts(b);
        for (int32_t i = 0; i < n_; ++i) {
            int32_t j = sa_[i] - 1;
            if (sa_[i] > 0 && !type_[j])
                sa_[b[s_[j]]++] = j;
        }
        Ends(b);
        for (int32_t i = n_ - 1; i >= 0; --i) {
            int32_t j = sa_[i] - 1;
            if (sa_[i] > 0 && type_[j])
                sa_[--b[s_[j]]] = j;
        }
    }

    // Equal leftmost-S substrings: same symbols and types up to and including the
    // next leftmost-S position.
    bool SameLms(int32_t a, int32_t b) const {
        for (int32_t d = 0;; ++d) {
            if (a + d == n_ || b + d == n_ || s_[a + d] != s_[b + d] ||
                type_[a + d] != type_[b + d])
                return false;
            if (d > 0 && (IsLms(a + d) || IsLms(b + d)))
                return IsLms(a + d) && IsLms(b + d);
        }
    }

    const int32_t* s_;
    int32_t* sa_;
    int32_t n_, k_;
    std::vector<bool> type_;
    std::vector<int32_t> count_;
};

} // namespace

std::vector<int32_t> OwnSuffixArray(const uint8_t* data, size_t size) {
    // Bytes shifted up by one, so that 0 can end the string.
    std::vector<int32_t> s(size + 1), sa(size + 1);
    for (size_t i = 0; i < size; ++i)
        s[i] = data[i] + 1;
    s[size] = 0;
    TSais(s.data(), sa.data(), static_cast<int32_t>(size + 1), 257).Run();
    sa.erase(sa.begin()); // the sentinel's own suffix comes first
    return sa;
}

} // namespace oru::patch
