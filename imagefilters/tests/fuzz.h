// Mutation fuzzing of readers, kept in the project: seeds are real files,
// each mutated input (bit flips, truncations, inflated sizes and counts) goes
// through the reader with guard bytes behind every buffer, from fixed seeds
// so that a failure is reproducible.  FERRIX_FUZZ_ROUNDS raises the number of
// inputs per seed (CI runs the default).
#pragma once
#include <cstdlib>
#include <vector>

#include "fmt_helpers.h"

namespace fuzz {

using fmt_test::Bytes;

struct Rng {
    uint32_t s;
    explicit Rng(uint32_t seed) : s(seed ? seed : 1) {}
    uint32_t Next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
};

inline int Rounds(int ci)
{
    const char* v = std::getenv("FERRIX_FUZZ_ROUNDS");
    int n = v ? std::atoi(v) : 0;
    return n > 0 ? n : ci;
}

// One mutated copy of `seed`.
inline Bytes Mutate(const Bytes& seed, Rng& r)
{
    Bytes b = seed;
    if (b.empty()) return b;
    const int kinds = 1 + int(r.Below(3));
    for (int k = 0; k < kinds; ++k) {
        switch (r.Below(5)) {
        case 0:  // bit flips
            for (uint32_t i = 0, n = 1 + r.Below(8); i < n; ++i) b[r.Below(uint32_t(b.size()))] ^= uint8_t(1u << r.Below(8));
            break;
        case 1:  // truncation
            b.resize(r.Below(uint32_t(b.size())));
            if (b.empty()) return b;
            break;
        case 2: {  // an inflated 16- or 32-bit size or count, early in the file where headers live
            const uint32_t big[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFu, 0x8000u, 0x10000u, 65535u * 2};
            uint32_t limit = uint32_t(b.size() < 256 ? b.size() : 256);
            uint32_t at = r.Below(limit);
            uint32_t v = big[r.Below(7)];
            int width = r.Below(2) ? 4 : 2;
            for (int i = 0; i < width && at + i < b.size(); ++i) b[at + i] = uint8_t(v >> (8 * i));
            break;
        }
        case 3: {  // a byte anywhere set to an extreme
            b[r.Below(uint32_t(b.size()))] = r.Below(2) ? 0xFF : 0x00;
            break;
        }
        default: {  // a stretch copied over another (repeated structures)
            uint32_t n = 1 + r.Below(16), from = r.Below(uint32_t(b.size())), to = r.Below(uint32_t(b.size()));
            for (uint32_t i = 0; i < n && from + i < b.size() && to + i < b.size(); ++i) b[to + i] = b[from + i];
            break;
        }
        }
    }
    return b;
}

// Runs `rounds` mutations of every seed through the reader; returns how
// many inputs wrote past a buffer (must be 0).  Results are free: refusals
// and decodes alike, as long as nothing crashes, hangs or overruns.
inline int Run(FxReaderOpen open, const std::vector<Bytes>& seeds, int rounds, uint32_t seed)
{
    Rng r(seed);
    int overruns = 0;
    for (const Bytes& s : seeds)
        for (int i = 0; i < rounds; ++i) {
            fmt_test::Decoded d = fmt_test::Decode(open, Mutate(s, r), 1u << 20);
            if (d.overrun) ++overruns;
        }
    return overruns;
}

}  // namespace fuzz
