// Fuzz driver of the block-transform codec's decoders: strip streams and
// both container forms, made by the encoder from real pictures, mutated
// from fixed seeds (bit flips, truncations, inflated sizes and counts).  The
// decoders draw into layers over memory followed by guard bytes; nothing may
// be written past them.  PIXMOOR_FUZZ_ROUNDS runs more inputs.
#include <catch2/catch.hpp>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "codec.h"
#include "image_fixture.h"

namespace {

using Bytes = std::vector<BYTE>;

struct Rng {
    uint32_t s;
    explicit Rng(uint32_t seed) : s(seed) {}
    uint32_t next() { s ^= s << 13; s ^= s >> 17; s ^= s << 5; return s; }
    uint32_t below(uint32_t n) { return n ? next() % n : 0; }
};

int rounds(int ci)
{
    const char *v = std::getenv("PIXMOOR_FUZZ_ROUNDS");
    int n = v ? std::atoi(v) : 0;
    return n > 0 ? n : ci;
}

// Keeps the container's two header words in agreement after a mutation now
// and then, so that inputs reach the directory and items.
Bytes mutate(const Bytes &seed, Rng &r, bool container)
{
    Bytes b = seed;
    for (int k = 0, n = 1 + int(r.below(3)); k < n && !b.empty(); ++k) {
        switch (r.below(4)) {
        case 0: b[r.below(DWORD(b.size()))] ^= BYTE(1u << r.below(8)); break;
        case 1: b.resize(r.below(DWORD(b.size()))); break;
        case 2: {
            const DWORD big[] = { 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x3FFu, 0xFFFFu, 0x8000000u };
            DWORD at = r.below(DWORD(b.size() < 4 ? 1 : b.size() - 3)) & ~3u, v = big[r.below(6)];
            for (int i = 0; i < 4 && at + i < b.size(); ++i) b[at + i] = BYTE(v >> (8 * i));
            break;
        }
        default: b[r.below(DWORD(b.size()))] = r.below(2) ? 0xFF : 0; break;
        }
    }
    if (container && b.size() >= 8 && r.below(2)) {
        DWORD size = DWORD(b.size() - 8), check = ~size;
        memcpy(b.data(), &size, 4);
        memcpy(b.data() + 4, &check, 4);
    }
    return b;
}

// A layer over memory with guard bytes behind its last row.
struct Guarded {
    std::vector<BYTE> mem;
    Layer *layer;
    LONG w, h;
    Guarded(LONG w_, LONG h_) : mem(size_t(w_) * h_ * 4 + 64, 0xA5), w(w_), h(h_)
    {
        layer = CreateCompatibleLayer(mem.data(), w, h, w * 4);
    }
    ~Guarded() { DeleteLayer(layer); }
    bool intact() const
    {
        for (size_t i = size_t(w) * h * 4; i < mem.size(); ++i)
            if (mem[i] != 0xA5) return false;
        return true;
    }
};

Layer *picture(LONG w, LONG h, DWORD seed)
{
    Layer *l = CreateLayer(w, h, 1);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x)
            SetPelInLayer(l, x, y, ((x / 5 + y / 3) % 4 ? 0xFF000000u : 0x40000000u) | ((x * 29 + y * 7 + seed) & 0xFFFFFF));
    return l;
}

}  // namespace

TEST_CASE("fuzzing the codec's strip and container decoders", "[codec][fuzz]")
{
    fixture::ensure_started();
    const int n = rounds(300);
    Layer *a = picture(70, 35, 1), *b = picture(70, 35, 99);
    std::vector<Bytes> containers;
    for (LONG kind = 1; kind <= 5; ++kind) {
        BYTE *c = EncodeVexaLayer(a, nullptr, 0, kind, b);
        REQUIRE(c);
        DWORD size;
        memcpy(&size, c, 4);
        containers.emplace_back(c, c + 8 + size);
        M32_free(c);
    }
    // Strip streams of the HKF scanlines' codec.
    std::vector<Bytes> strips;
    {
        std::vector<DWORD> rows(70 * 16);
        for (size_t i = 0; i < rows.size(); ++i) rows[i] = 0xFF000000u | DWORD(i * 2654435761u >> 8);
        Bytes out(CODEC_STRIP_LIMIT);
        size_t len = codec_encode_strip(rows.data(), 70, 70, 16, out.data(), out.size());
        REQUIRE(len > 0);
        strips.emplace_back(out.begin(), out.begin() + len);
    }
    Rng r(7);
    int overruns = 0;
    for (int i = 0; i < n; ++i) {
        for (size_t k = 0; k < containers.size(); ++k) {
            Bytes m = mutate(containers[k], r, true);
            Guarded g(70, 35);
            if (k < 3) vexa_decode(g.layer, m.data(), m.size(), LONG(r.below(3)) - 1);
            else vexa_decode_records(g.layer, m.data(), m.size(), LONG(r.below(2)));
            if (!g.intact()) ++overruns;
        }
        Bytes s = mutate(strips[0], r, false);
        std::vector<DWORD> lines(70 * 16 + 16, 0xA5A5A5A5u);
        codec_decode_strip(s.data(), s.size(), 70, lines.data(), 70);
        for (size_t q = 70 * 16; q < lines.size(); ++q)
            if (lines[q] != 0xA5A5A5A5u) { ++overruns; break; }
    }
    CHECK(overruns == 0);
    DeleteLayer(a);
    DeleteLayer(b);
}
